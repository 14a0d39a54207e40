#pragma once
// A PostgreSQL server of the test's own: initdb and pg_ctl in a scratch
// folder, listening on a Unix socket in that folder only. PostgreSQL will
// not run as root, so under root the server runs as nobody (65534), which
// owns the folder. Where no server can be started, reason() says why and
// tests skip.
#include <string>

namespace vantor::test {

class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool running() const { return Running; }
    const std::string& reason() const { return Reason; }
    // A fresh database on the server, as a URL for OpenLogStore.
    std::string newDatabase();

private:
    bool run(const std::string& command, const std::string& what);

    std::string Folder;
    std::string Bin;
    std::string AsUser; // the setpriv prefix under root
    bool Running = false;
    std::string Reason;
    int Databases = 0;
};

// The one server of a test program, started on first use.
PostgresServer& SharedPostgres();

} // namespace vantor::test
