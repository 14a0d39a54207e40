// vantor-realstack: runs a program against the system's libusb and the
// kernel's usbdevfs interface, with the programmer emulator behind a
// umockdev testbed instead of hardware.
//
//   vantor-realstack [--emulator LIB] [--config INI] [--node-mode OCTAL]
//                    [--as-user UID] [--busy] [--interrupt-on-hang] -- PROGRAM ARGS...
//
// Exit status: the program's (128 + signal when it was killed), 77 when
// umockdev cannot run here, 2 for bad usage.
#include "tests/realstack/Testbed.h"
#include "tests/realstack/UsbdevfsBridge.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantor::realstack {
namespace {

constexpr int kSkipped = 77;
constexpr int kBadUsage = 2;
constexpr const char* kPreloaded = "VANTOR_REALSTACK_PRELOADED";
constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";

struct Options {
    std::string emulator = VANTOR_EMULATOR_PATH;
    std::string config;
    unsigned nodeMode = 0664;
    std::optional<int> asUser;
    bool busy = false;
    bool interruptOnHang = false;
    std::string hold; // internal: the holder process of --busy
    std::vector<std::string> program;
};

std::atomic<pid_t> ProgramPid{0};

Options Parse(int argc, char** argv) {
    Options o;
    int i = 1;
    const auto value = [&](const char* name) -> std::string {
        if (i + 1 >= argc) {
            throw std::invalid_argument(std::string(name) + " needs a value");
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--emulator") {
            o.emulator = value("--emulator");
        } else if (a == "--config") {
            o.config = value("--config");
        } else if (a == "--node-mode") {
            o.nodeMode = unsigned(std::stoul(value("--node-mode"), nullptr, 8));
        } else if (a == "--as-user") {
            o.asUser = std::stoi(value("--as-user"));
        } else if (a == "--busy") {
            o.busy = true;
        } else if (a == "--interrupt-on-hang") {
            o.interruptOnHang = true;
        } else if (a == "--hold") {
            o.hold = value("--hold");
        } else {
            throw std::invalid_argument("unknown option " + a);
        }
    }
    for (; i < argc; ++i) {
        o.program.emplace_back(argv[i]);
    }
    if (o.program.empty() && o.hold.empty()) {
        throw std::invalid_argument("no program to run");
    }
    return o;
}

// The testbed only exists for processes under umockdev's preload library:
// this one re-executes itself under it once.
void EnsurePreload(char** argv) {
    if (dlopen(kPreloadLibrary, RTLD_LAZY | RTLD_NOLOAD) != nullptr) {
        return;
    }
    if (std::getenv(kPreloaded) != nullptr) {
        std::fprintf(stderr, "vantor-realstack: umockdev cannot run here (its preload library "
                             "did not load); skipped\n");
        std::exit(kSkipped);
    }
    const char* old = std::getenv("LD_PRELOAD");
    std::string preload = kPreloadLibrary;
    if (old != nullptr && *old != '\0') {
        preload += std::string(":") + old;
    }
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv(kPreloaded, "1", 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "vantor-realstack: cannot re-execute: %s; skipped\n",
                 std::strerror(errno));
    std::exit(kSkipped);
}

pid_t Spawn(const std::vector<std::string>& args, posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) {
        return 0;
    }
    return pid;
}

int StatusOf(int wstatus) {
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

// The other program of --busy: opens the programmer's node and claims its
// interface through the kernel interface, says so on stdout and waits.
int Hold(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR);
    unsigned interface = 0;
    if (fd < 0 || ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface) < 0) {
        std::perror("vantor-realstack: holder");
        return 1;
    }
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    pause();
    return 0;
}

// Starts the holder and waits until it holds the programmer; 0 on failure.
pid_t StartHolder(char* self, const std::string& node) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const pid_t pid = Spawn({self, "--hold", node}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    char answer[8] = {};
    const bool held = pid != 0 && read(pipeFds[0], answer, sizeof answer) > 0;
    close(pipeFds[0]);
    return held ? pid : 0;
}

// Whether a user other than the node's owner and group may write it. Not
// root: the owner is then this user, so the "other" bits stand for every class.
unsigned EffectiveMode(const Options& o) {
    if (!o.asUser || geteuid() == 0) {
        return o.nodeMode;
    }
    const unsigned other = o.nodeMode & 07;
    return (other << 6) | (other << 3) | other;
}

int Run(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    EnsurePreload(argv);
    if (!o.hold.empty()) {
        return Hold(o.hold);
    }
    if (!o.config.empty()) {
        setenv("VANTOR_EMULATOR_CONFIG", o.config.c_str(), 1);
    }
    EmulatorBus bus(o.emulator);
    const std::vector<EmulatedDevice> devices = bus.scan();
    unsetenv("VANTOR_EMULATOR_CONFIG"); // the programs under test never see the emulator

    const bool restricted = o.asUser.has_value();
    UsbdevfsBridge::Options bridgeOptions;
    bridgeOptions.clientMayWrite = !restricted || (o.nodeMode & 02) != 0;
    if (o.interruptOnHang) {
        bridgeOptions.onHang = [] {
            if (const pid_t pid = ProgramPid.load(); pid != 0) {
                kill(pid, SIGINT);
            }
        };
    }
    UsbdevfsBridge bridge(bus, bridgeOptions);
    Testbed testbed(devices);
    if (!umockdev_in_mock_environment()) {
        std::fprintf(stderr,
                     "vantor-realstack: umockdev's testbed is not in force here; skipped\n");
        return kSkipped;
    }
    for (const auto& d : devices) {
        if (!bridge.attach(testbed.get(), Testbed::devnode(d), d)) {
            return kSkipped;
        }
    }
    testbed.openTo(devices, EffectiveMode(o));

    pid_t holder = 0;
    if (o.busy && !devices.empty()) {
        holder = StartHolder(argv[0], Testbed::devnode(devices.front()));
        if (holder == 0) {
            std::fprintf(stderr, "vantor-realstack: the holder could not claim the programmer\n");
            return 1;
        }
    }
    std::vector<std::string> program = o.program;
    if (restricted && geteuid() == 0) {
        const std::string id = std::to_string(*o.asUser);
        program.insert(program.begin(),
                       {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
    }
    const pid_t pid = Spawn(program, nullptr);
    int wstatus = 0;
    int status = 127;
    if (pid != 0) {
        ProgramPid = pid;
        waitpid(pid, &wstatus, 0);
        ProgramPid = 0;
        status = StatusOf(wstatus);
    } else {
        std::fprintf(stderr, "vantor-realstack: cannot start %s\n", program.front().c_str());
    }
    if (holder != 0) {
        kill(holder, SIGTERM);
        waitpid(holder, nullptr, 0);
    }
    return status;
}

} // namespace
} // namespace vantor::realstack

int main(int argc, char** argv) {
    try {
        return vantor::realstack::Run(argc, argv);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "vantor-realstack: %s\n", error.what());
        return vantor::realstack::kBadUsage;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vantor-realstack: %s\n", error.what());
        return 1;
    }
}
