#include "chipdb/GbkText.h"

#include <cerrno>
#include <iconv.h>

namespace vantor {
namespace {

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

// One conversion descriptor per call: conversions are rare (database load,
// editor save) and this keeps them free of shared state.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; returns the errno that stopped it (0 when
    // the whole input was converted). `in` and `inLeft` advance.
    int run(char*& in, size_t& inLeft, std::string& out) {
        char buffer[256];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = iconv(cd_, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r == static_cast<size_t>(-1) && errno != E2BIG)
                return errno;
        }
        return 0;
    }

private:
    iconv_t cd_;
};

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk))
        return std::string(gbk);
    std::string out;
    Converter conv("UTF-8", "GBK");
    std::string input(gbk);
    char* in = input.data();
    size_t left = input.size();
    while (left > 0) {
        if (!conv.ok() || conv.run(in, left, out) != 0) {
            // Not a GBK character here (or no converter at all): mark the
            // byte and go on with the next one.
            out += "\xEF\xBF\xBD";
            ++in;
            --left;
        }
    }
    return out;
}

bool Utf8ToGbk(std::string_view utf8, std::string* out) {
    out->clear();
    if (IsAscii(utf8)) {
        out->assign(utf8);
        return true;
    }
    Converter conv("GBK", "UTF-8");
    if (!conv.ok())
        return false;
    std::string input(utf8);
    char* in = input.data();
    size_t left = input.size();
    return conv.run(in, left, *out) == 0 && left == 0;
}

} // namespace vantor
