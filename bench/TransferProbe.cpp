// vantor_transfer_probe LIBRARY COUNT: opens the programmer through LIBRARY
// with the application's transport, starts a read stream and times COUNT
// 4 KiB reads; prints the host time per transfer in microseconds. The
// real-stack figure runs it under the harness with the system's libusb,
// the direct figure with the emulator as the library.
#include "link/Protocol.h"
#include "link/UsbTransport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    using namespace vantor;
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantor_transfer_probe LIBRARY COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    UsbTransport link(argv[1]);
    link.setReplyWait(std::chrono::microseconds(0));
    if (link.prog_open(kProgrammerVendorId, kProgrammerProductId) != 1) {
        std::fprintf(stderr, "vantor_transfer_probe: no programmer\n");
        return 1;
    }
    CommandBlock start = BuildSetAddress(0, link.bigEndian());
    link.USB_bulk_cmd(start.data(), int(kCommandBlockSize), 1);
    constexpr int kChunk = 4096;
    std::vector<unsigned char> chunk(kChunk);
    const auto begin = std::chrono::steady_clock::now();
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        failed += link.USB_bulk_read(chunk.data(), kChunk) != kChunk ? 1 : 0;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    CommandBlock finish = BuildFinish();
    link.USB_bulk_cmd(finish.data(), int(kCommandBlockSize), 0);
    link.USB_bulk_close();
    if (failed != 0) {
        std::fprintf(stderr, "vantor_transfer_probe: %d transfers failed\n", failed);
        return 1;
    }
    std::printf("%.3f\n", seconds * 1e6 / count);
    return 0;
}
