#include "tests/production/PostgresServer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

// The newest installed server's programs, e.g. /usr/lib/postgresql/15/bin.
std::string PostgresBin() {
    std::string best;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const fs::path bin = entry.path() / "bin";
        if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") && bin.string() > best) {
            best = bin.string();
        }
    }
    return best;
}

} // namespace

PostgresServer::PostgresServer() {
    Bin = PostgresBin();
    if (Bin.empty()) {
        Reason = "no PostgreSQL server installed (/usr/lib/postgresql/*/bin)";
        return;
    }
    char pattern[] = "/tmp/vantor-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        Reason = "cannot make a scratch folder";
        return;
    }
    Folder = pattern;
    if (::geteuid() == 0) {
        if (::chown(Folder.c_str(), 65534, 65534) != 0) {
            Reason = "cannot hand the scratch folder to uid 65534";
            return;
        }
        AsUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    if (!run(Bin + "/initdb -D " + Folder + "/data -A trust -U vantor -E UTF8 --locale=C --no-sync",
             "initdb")) {
        return;
    }
    // No TCP at all; fsync off: the tests need a server, not durability.
    Running = run(Bin + "/pg_ctl -D " + Folder + "/data -w -t 60 -l " + Folder +
                      "/server.log -o \"-k " + Folder + " -c listen_addresses= -F\" start",
                  "pg_ctl start");
}

PostgresServer::~PostgresServer() {
    if (Running) {
        run(Bin + "/pg_ctl -D " + Folder + "/data -w -t 60 -m immediate stop", "pg_ctl stop");
    }
    if (!Folder.empty()) {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }
}

bool PostgresServer::run(const std::string& command, const std::string& what) {
    const std::string output = Folder + "/" + what.substr(0, what.find(' ')) + ".out";
    const std::string line = AsUser + command + " >" + output + " 2>&1";
    if (std::system(line.c_str()) == 0) {
        return true;
    }
    std::ifstream in(output);
    Reason = what + " failed: " + std::string(std::istreambuf_iterator<char>(in), {});
    return false;
}

std::string PostgresServer::newDatabase() {
    const std::string name = "log" + std::to_string(++Databases);
    const std::string psql = Bin + "/psql";
    run(psql + " -h " + Folder + " -U vantor -d postgres -q -c 'CREATE DATABASE " + name + "'",
        "psql");
    return "postgresql://vantor@/" + name + "?host=" + Folder;
}

PostgresServer& SharedPostgres() {
    static PostgresServer server;
    return server;
}

} // namespace vantor::test
