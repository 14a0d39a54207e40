#pragma once
// Reaches the emulator's control functions from a test: loads the emulator
// library (the same file the transport under test loads, so both see one
// emulator) and binds every vantor_emu_* function with dlsym.
//
// Link the target `vantor_emulator_client`: it builds the emulator first and
// defines VANTOR_EMULATOR_PATH, the path of the built library.
#include "emulator/EmulatorControl.h"
#include "link/Protocol.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <dlfcn.h>

namespace vantor {

class EmulatorClient {
public:
#ifdef VANTOR_EMULATOR_PATH
    static constexpr const char* kDefaultPath = VANTOR_EMULATOR_PATH;
#else
    static constexpr const char* kDefaultPath = "libusb-0.1.so.4";
#endif

    // Throws std::runtime_error when the library or a function is missing.
    explicit EmulatorClient(std::string path = kDefaultPath) : Path(std::move(path)) {
        Handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (Handle == nullptr) {
            const char* why = dlerror();
            throw std::runtime_error("cannot load emulator " + Path + ": " +
                                     (why != nullptr ? why : ""));
        }
        bind(Configure, "vantor_emu_configure");
        bind(LastError, "vantor_emu_last_error");
        bind(DeviceCount, "vantor_emu_device_count");
        bind(Plug, "vantor_emu_plug");
        bind(Unplug, "vantor_emu_unplug");
        bind(IsPlugged, "vantor_emu_is_plugged");
        bind(ImageSize, "vantor_emu_image_size");
        bind(GetImage, "vantor_emu_get_image");
        bind(SetImage, "vantor_emu_set_image");
        bind(SaveImage, "vantor_emu_save_image");
        bind(FourByteMode, "vantor_emu_four_byte_mode");
        bind(EventCount, "vantor_emu_event_count");
        bind(GetEvent, "vantor_emu_get_event");
        bind(ResetLog, "vantor_emu_reset_log");
        bind(TransferCount, "vantor_emu_transfer_count");
        bind(OpenHandles, "vantor_emu_open_handles");
        bind(WireTime, "vantor_emu_wire_time_ns");
    }
    ~EmulatorClient() {
        if (Handle != nullptr) {
            dlclose(Handle);
        }
    }
    EmulatorClient(const EmulatorClient&) = delete;
    EmulatorClient& operator=(const EmulatorClient&) = delete;

    const std::string& path() const {
        return Path;
    }

    // Set-up from INI text; false (see lastError) on a bad text.
    bool configure(const std::string& ini) {
        return Configure(ini.c_str()) == 0;
    }
    // Back to the file set-up or the built-in default.
    void useDefault() {
        Configure(nullptr);
    }
    std::string lastError() const {
        return LastError();
    }

    int deviceCount() const {
        return DeviceCount();
    }
    void plug(int device = -1) {
        Plug(device);
    }
    void unplug(int device = -1) {
        Unplug(device);
    }
    bool plugged(int device = 0) const {
        return IsPlugged(device) != 0;
    }

    std::vector<std::uint8_t> image(int device = 0) const {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(ImageSize(device)));
        if (!out.empty()) {
            GetImage(device, out.data(), long(out.size()));
        }
        return out;
    }
    bool setImage(const std::vector<std::uint8_t>& data, int device = 0) {
        return SetImage(device, data.data(), long(data.size())) == 0;
    }
    bool saveImage(int device = 0) {
        return SaveImage(device) == 0;
    }
    bool fourByteMode(int device = 0) const {
        return FourByteMode(device) != 0;
    }

    std::vector<vantor_emu_event> events() const {
        std::vector<vantor_emu_event> out(static_cast<std::size_t>(EventCount()));
        for (std::size_t i = 0; i < out.size(); ++i) {
            GetEvent(long(i), &out[i]);
        }
        return out;
    }
    // Events of one kind, in order.
    std::vector<vantor_emu_event> events(int kind) const {
        std::vector<vantor_emu_event> out;
        for (const auto& e : events()) {
            if (e.kind == kind) {
                out.push_back(e);
            }
        }
        return out;
    }
    // Every command block the host sent, in order.
    std::vector<CommandBlock> commands() const {
        std::vector<CommandBlock> out;
        for (const auto& e : events(VANTOR_EMU_COMMAND)) {
            CommandBlock b{};
            for (std::size_t i = 0; i < b.size(); ++i) {
                b[i] = e.data[i];
            }
            out.push_back(b);
        }
        return out;
    }
    // Opcodes of the command blocks, in order.
    std::vector<int> opcodes() const {
        std::vector<int> out;
        for (const auto& b : commands()) {
            out.push_back(b[1]);
        }
        return out;
    }
    void resetLog() {
        ResetLog();
    }
    long transfers() const {
        return TransferCount();
    }
    int openHandles() const {
        return OpenHandles();
    }
    // The emulated link's time for the transfers since the last configure.
    std::chrono::nanoseconds wireTime() const {
        return std::chrono::nanoseconds(WireTime());
    }

private:
    template <typename F> void bind(F& slot, const char* name) {
        void* symbol = dlsym(Handle, name);
        if (symbol == nullptr) {
            throw std::runtime_error(Path + " does not export " + name);
        }
        slot = reinterpret_cast<F>(symbol);
    }

    std::string Path;
    void* Handle = nullptr;
    int (*Configure)(const char*) = nullptr;
    const char* (*LastError)() = nullptr;
    int (*DeviceCount)() = nullptr;
    void (*Plug)(int) = nullptr;
    void (*Unplug)(int) = nullptr;
    int (*IsPlugged)(int) = nullptr;
    long (*ImageSize)(int) = nullptr;
    long (*GetImage)(int, unsigned char*, long) = nullptr;
    int (*SetImage)(int, const unsigned char*, long) = nullptr;
    int (*SaveImage)(int) = nullptr;
    int (*FourByteMode)(int) = nullptr;
    long (*EventCount)() = nullptr;
    int (*GetEvent)(long, vantor_emu_event*) = nullptr;
    void (*ResetLog)() = nullptr;
    long (*TransferCount)() = nullptr;
    int (*OpenHandles)() = nullptr;
    long long (*WireTime)() = nullptr;
};

} // namespace vantor
