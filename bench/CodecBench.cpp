// Intel HEX and S-record codecs on a 64 MiB image, side by side with a plain
// streaming C loop, objcopy and srec_cat (skipped when not installed).
//
// For each format, direction and image ("random": random bytes; "halfff":
// the first half random, the second half 0xFF, so half the records are left
// out) the figures are:
//   <fmt>_<dir>_<image>            our codec, seconds
//   <fmt>_<dir>_<image>_plain      the plain loop, seconds
//   <fmt>_<dir>_<image>_objcopy    objcopy, seconds
//   <fmt>_<dir>_<image>_srec_cat   srec_cat, seconds
//   <fmt>_<dir>_<image>_vs_objcopy, _vs_srec_cat   how many times faster we are
//   <fmt>_<dir>_<image>_per_plain  our time over the plain loop's
// "write" is image to text file, "read" is text file to image. Our write
// includes flushing the file to disk and renaming it into place.
#include "bench/BenchRegistry.h"
#include "buffer/IntelHexFile.h"
#include "buffer/SRecordFile.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

using vantor::bench::BenchContext;

constexpr uint32_t kImageSize = 0x4000000;

std::vector<uint8_t> MakeImage(bool halfErased) {
    std::vector<uint8_t> image(kImageSize);
    std::mt19937_64 gen(12345);
    for (size_t i = 0; i < image.size(); i += 8) {
        uint64_t v = gen();
        std::memcpy(&image[i], &v, 8);
    }
    if (halfErased)
        std::memset(image.data() + kImageSize / 2, 0xFF, kImageSize / 2);
    return image;
}

void WriteBinary(const std::string& path, const std::vector<uint8_t>& image) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
}

// ---- The plain streaming loops: stdio, one record per iteration. ----------

const char kDigits[] = "0123456789ABCDEF";

int Nibble(int c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

bool AllFF(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0xFF)
            return false;
    return true;
}

void PlainIhexWrite(const char* in, const char* out) {
    FILE* fi = std::fopen(in, "rb");
    FILE* fo = std::fopen(out, "wb");
    unsigned char buf[32];
    char line[96];
    unsigned long address = 0, window = 0;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fi)) > 0) {
        if ((address >> 16) != window) {
            window = address >> 16;
            unsigned sum = 2 + 4 + (window >> 8) + (window & 0xFF);
            std::fprintf(fo, ":02000004%04lX%02X\r\n", window, (0x100 - (sum & 0xFF)) & 0xFF);
        }
        if (!AllFF(buf, n)) {
            unsigned offset = address & 0xFFFF;
            unsigned sum = static_cast<unsigned>(n) + (offset >> 8) + (offset & 0xFF);
            char* p = line;
            *p++ = ':';
            unsigned head[4] = {static_cast<unsigned>(n), offset >> 8, offset & 0xFF, 0};
            for (unsigned h : head) {
                *p++ = kDigits[h >> 4];
                *p++ = kDigits[h & 15];
            }
            for (size_t i = 0; i < n; ++i) {
                *p++ = kDigits[buf[i] >> 4];
                *p++ = kDigits[buf[i] & 15];
                sum += buf[i];
            }
            unsigned cs = (0x100 - (sum & 0xFF)) & 0xFF;
            *p++ = kDigits[cs >> 4];
            *p++ = kDigits[cs & 15];
            *p++ = '\r';
            *p++ = '\n';
            std::fwrite(line, 1, static_cast<size_t>(p - line), fo);
        }
        address += n;
    }
    std::fputs(":00000001FF\r\n", fo);
    std::fclose(fi);
    std::fclose(fo);
}

void PlainIhexRead(const char* in, unsigned char* image) {
    FILE* fi = std::fopen(in, "rb");
    char line[600];
    unsigned long base = 0;
    while (std::fgets(line, sizeof line, fi)) {
        int n = Nibble(line[1]) << 4 | Nibble(line[2]);
        unsigned offset = static_cast<unsigned>(Nibble(line[3]) << 12 | Nibble(line[4]) << 8 |
                                                Nibble(line[5]) << 4 | Nibble(line[6]));
        int type = Nibble(line[7]) << 4 | Nibble(line[8]);
        if (type == 1)
            break;
        if (type == 4) {
            base = static_cast<unsigned long>(Nibble(line[9]) << 12 | Nibble(line[10]) << 8 |
                                              Nibble(line[11]) << 4 | Nibble(line[12]))
                   << 16;
            continue;
        }
        unsigned char* dst = image + base + offset;
        unsigned sum = 0;
        for (int i = 0; i < n; ++i) {
            dst[i] =
                static_cast<unsigned char>(Nibble(line[9 + 2 * i]) << 4 | Nibble(line[10 + 2 * i]));
            sum += dst[i];
        }
        if (sum == 0x12345678) // keep the sum alive
            std::fputs("", stderr);
    }
    std::fclose(fi);
}

void PlainSrecWrite(const char* in, const char* out) {
    FILE* fi = std::fopen(in, "rb");
    FILE* fo = std::fopen(out, "wb");
    unsigned char buf[16];
    char line[64];
    unsigned long address = 0;
    size_t n;
    std::fputs("S00600004844521B\r\n", fo);
    while ((n = std::fread(buf, 1, sizeof buf, fi)) > 0) {
        if (!AllFF(buf, n)) {
            unsigned cc = static_cast<unsigned>(n) + 5;
            unsigned sum = cc;
            char* p = line;
            *p++ = 'S';
            *p++ = '3';
            *p++ = kDigits[cc >> 4];
            *p++ = kDigits[cc & 15];
            for (int shift = 24; shift >= 0; shift -= 8) {
                unsigned b = (address >> shift) & 0xFF;
                *p++ = kDigits[b >> 4];
                *p++ = kDigits[b & 15];
                sum += b;
            }
            for (size_t i = 0; i < n; ++i) {
                *p++ = kDigits[buf[i] >> 4];
                *p++ = kDigits[buf[i] & 15];
                sum += buf[i];
            }
            unsigned cs = 0xFF - (sum & 0xFF);
            *p++ = kDigits[cs >> 4];
            *p++ = kDigits[cs & 15];
            *p++ = '\r';
            *p++ = '\n';
            std::fwrite(line, 1, static_cast<size_t>(p - line), fo);
        }
        address += n;
    }
    std::fputs("S70500000000FA\r\n", fo);
    std::fclose(fi);
    std::fclose(fo);
}

void PlainSrecRead(const char* in, unsigned char* image) {
    FILE* fi = std::fopen(in, "rb");
    char line[128];
    while (std::fgets(line, sizeof line, fi)) {
        if (line[1] >= '7' && line[1] <= '9')
            break;
        if (line[1] != '3')
            continue;
        int cc = Nibble(line[2]) << 4 | Nibble(line[3]);
        unsigned long address = 0;
        for (int i = 0; i < 8; ++i)
            address = address << 4 | static_cast<unsigned long>(Nibble(line[4 + i]));
        unsigned char* dst = image + address;
        unsigned sum = 0;
        for (int i = 0; i < cc - 5; ++i) {
            dst[i] = static_cast<unsigned char>(Nibble(line[12 + 2 * i]) << 4 |
                                                Nibble(line[13 + 2 * i]));
            sum += dst[i];
        }
        if (sum == 0x12345678)
            std::fputs("", stderr);
    }
    std::fclose(fi);
}

// ---- The figures. -----------------------------------------------------------

struct Format {
    const char* name;      // figure prefix
    const char* extension; // of the text file
    const char* objcopy;   // objcopy's name for it
    const char* srecCat;   // srec_cat's name for it
    bool (*write)(const std::string&, const std::vector<uint8_t>&);
    int32_t (*read)(const std::string&, std::vector<uint8_t>&);
    void (*plainWrite)(const char*, const char*);
    void (*plainRead)(const char*, unsigned char*);
};

void Compare(BenchContext& bench, const std::string& figure, double ours, double plain,
             double objcopy, double srecCat) {
    bench.report(figure, ours, "s");
    bench.report(figure + "_plain", plain, "s");
    if (objcopy > 0)
        bench.report(figure + "_objcopy", objcopy, "s");
    if (srecCat > 0)
        bench.report(figure + "_srec_cat", srecCat, "s");
    if (objcopy > 0)
        bench.report(figure + "_vs_objcopy", objcopy / ours, "x");
    if (srecCat > 0)
        bench.report(figure + "_vs_srec_cat", srecCat / ours, "x");
    bench.report(figure + "_per_plain", ours / plain, "x");
}

void RunFormat(BenchContext& bench, const Format& format) {
    const bool haveObjcopy = BenchContext::haveTool("objcopy");
    const bool haveSrecCat = BenchContext::haveTool("srec_cat");
    if (!haveObjcopy)
        bench.note("objcopy not installed: its figures are skipped");
    if (!haveSrecCat)
        bench.note("srec_cat not installed: its figures are skipped");
    std::vector<uint8_t> back(kImageSize);
    for (bool halfErased : {false, true}) {
        const std::string image = halfErased ? "halfff" : "random";
        const std::vector<uint8_t> data = MakeImage(halfErased);
        const std::string bin = bench.file(image + ".bin");
        const std::string ours = bench.file(image + "-ours" + format.extension);
        const std::string text = bench.file(image + "-tool" + format.extension);
        const std::string toolBin = bench.file(image + "-tool.bin");
        WriteBinary(bin, data);

        // Image to text.
        double write = bench.bestSeconds([&] { format.write(ours, data); });
        double plainWrite =
            bench.bestSeconds([&] { format.plainWrite(bin.c_str(), text.c_str()); });
        double objcopyWrite = -1, srecCatWrite = -1;
        if (haveObjcopy)
            objcopyWrite = bench.bestCommandSeconds(
                "objcopy -I binary -O " + std::string(format.objcopy) + " " + bin + " " + text);
        if (haveSrecCat)
            srecCatWrite = bench.bestCommandSeconds("srec_cat " + bin + " -binary -o " + text +
                                                    " -" + format.srecCat);
        Compare(bench, std::string(format.name) + "_write_" + image, write, plainWrite,
                objcopyWrite, srecCatWrite);

        // Text to image, every reader on our file.
        int32_t extent = 0;
        double read = bench.bestSeconds([&] { extent = format.read(ours, back); });
        if (extent <= 0 || std::memcmp(back.data(), data.data(), static_cast<size_t>(extent)) != 0)
            bench.note(std::string(format.name) + " " + image + ": read back differs");
        double plainRead = bench.bestSeconds([&] { format.plainRead(ours.c_str(), back.data()); });
        double objcopyRead = -1, srecCatRead = -1;
        if (haveObjcopy)
            objcopyRead = bench.bestCommandSeconds("objcopy -I " + std::string(format.objcopy) +
                                                   " -O binary " + ours + " " + toolBin);
        if (haveSrecCat)
            srecCatRead = bench.bestCommandSeconds("srec_cat " + ours + " -" + format.srecCat +
                                                   " -o " + toolBin + " -binary");
        Compare(bench, std::string(format.name) + "_read_" + image, read, plainRead, objcopyRead,
                srecCatRead);
        std::remove(ours.c_str());
        std::remove(text.c_str());
        std::remove(toolBin.c_str());
        std::remove(bin.c_str());
    }
}

} // namespace

VANTOR_BENCH(codec_ihex) {
    RunFormat(bench, Format{"ihex", ".hex", "ihex", "intel",
                            [](const std::string& path, const std::vector<uint8_t>& image) {
                                return vantor::IntelHexFile().Write(path, image.data(), kImageSize);
                            },
                            [](const std::string& path, std::vector<uint8_t>& image) {
                                return vantor::IntelHexFile().Read(path, image.data(), kImageSize);
                            },
                            PlainIhexWrite, PlainIhexRead});
}

VANTOR_BENCH(codec_srec) {
    RunFormat(bench, Format{"srec", ".src", "srec", "motorola",
                            [](const std::string& path, const std::vector<uint8_t>& image) {
                                return vantor::SRecordFile().Write(path, image.data(), kImageSize);
                            },
                            [](const std::string& path, std::vector<uint8_t>& image) {
                                return vantor::SRecordFile().Read(path, image.data(), kImageSize);
                            },
                            PlainSrecWrite, PlainSrecRead});
}
