// The production log on Qt SQL: a SQLite file (WAL, a busy timeout, write
// transactions that take the write lock at once) or a PostgreSQL database
// (row locks on the serial series). Both run the same statements apart from
// the self-numbering key and the lock a migration takes.
#include "core/FilePlaces.h"
#include "production/LogSchema.h"
#include "production/LogStore.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vantor {
namespace {

// How long a writer waits for another one's transaction on a SQLite file.
// Transactions last milliseconds; this covers a slow disk's fsync.
constexpr int kSqliteBusyTimeoutMs = 10000;
constexpr int kPostgresConnectTimeoutS = 10;
// Any constant: the advisory lock that serialises migrations on PostgreSQL.
constexpr qint64 kMigrationLock = 0x56414E544F52; // "VANTOR"
constexpr std::int64_t kSpentSeries = std::numeric_limits<std::int64_t>::max();

std::atomic<int> ConnectionCount{0};

QVariant Nullable(const std::optional<std::int64_t>& v) {
    return v ? QVariant(qint64(*v)) : QVariant(QMetaType::fromType<qint64>());
}
QVariant Nullable(const std::optional<std::uint32_t>& v) {
    return v ? QVariant(qint64(*v)) : QVariant(QMetaType::fromType<qint64>());
}
QVariant Nullable(const std::optional<std::uint64_t>& v) {
    return v ? QVariant(qint64(*v)) : QVariant(QMetaType::fromType<qint64>());
}
QVariant Text(const std::string& s) {
    return QVariant(QString::fromStdString(s));
}

template <typename T> std::optional<T> Optional(const QVariant& v) {
    if (v.isNull()) {
        return std::nullopt;
    }
    return T(v.toLongLong());
}
std::string String(const QVariant& v) {
    return v.toString().toStdString();
}

// Below this much free space a row may not fit: its pages, the write-ahead
// log and the shared-memory index beside the file.
constexpr std::uint64_t kLeastFreeBytes = 256 * 1024;

// Says why a SQLite file cannot take rows, before the driver gets to say it
// in its own words ("disk I/O error"): a read-only file or folder (WAL needs
// files beside it), a folder that is not there, a full disk.
std::string SqliteFileRefusal(const std::string& path) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    int error = 0;
    if (exists && !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else if (exists && ::access(path.c_str(), R_OK | W_OK) != 0) {
        error = errno;
    } else {
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : path.substr(0, slash);
        if (!exists && !CreateParentFolders(path)) {
            error = errno != 0 ? errno : ENOENT;
        } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            error = errno;
        } else if (struct statvfs fs{};
                   ::statvfs(folder.c_str(), &fs) == 0 &&
                   std::uint64_t(fs.f_bavail) * fs.f_frsize < kLeastFreeBytes) {
            error = ENOSPC;
        }
    }
    return error == 0 ? std::string() : path + ": " + std::strerror(error);
}

struct PostgresTarget {
    QString host, user, password, database, options, shown;
    int port = -1;
};

// postgresql://[user[:password]@][host][:port][/database][?key=value&...]
// A "host" key names a Unix socket folder; other keys go to libpq as they are.
std::optional<PostgresTarget> ParsePostgresUrl(const std::string& text, std::string& why) {
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid()) {
        why = text + ": " + url.errorString().toStdString();
        return std::nullopt;
    }
    PostgresTarget t;
    t.host = url.host();
    t.port = url.port(-1);
    t.user = url.userName();
    t.password = url.password();
    t.database = url.path().mid(1);
    QStringList options{"connect_timeout=" + QString::number(kPostgresConnectTimeoutS)};
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == "host") {
            t.host = value;
        } else if (key == "port") {
            t.port = value.toInt();
        } else {
            options << key + "=" + value;
        }
    }
    t.options = options.join(';');
    QUrl shown = url;
    shown.setPassword({});
    t.shown = shown.toString();
    return t;
}

class SqlLogStore final : public LogStore {
public:
    SqlLogStore(bool postgres, std::string name)
        : Postgres(postgres), Name(std::move(name)),
          Connection("vantor-production-" + QString::number(++ConnectionCount)) {}

    ~SqlLogStore() override {
        {
            QSqlDatabase db = QSqlDatabase::database(Connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(Connection);
    }

    bool openSqlite(const std::string& path) {
        if (const std::string refusal = SqliteFileRefusal(path); !refusal.empty()) {
            Error = refusal;
            return false;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", Connection);
        db.setDatabaseName(QString::fromStdString(path));
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=" + QString::number(kSqliteBusyTimeoutMs));
        if (!db.open()) {
            return failed(db.lastError());
        }
        // WAL lets readers and the one writer pass each other; FULL keeps a
        // reserved serial number through a power cut.
        QSqlQuery q(db);
        if (!q.exec("PRAGMA journal_mode=WAL") || !q.next() ||
            q.value(0).toString().compare("wal", Qt::CaseInsensitive) != 0) {
            return q.lastError().isValid() ? failed(q.lastError())
                                           : fail(path + ": cannot keep a write-ahead log");
        }
        if (!q.exec("PRAGMA synchronous=FULL")) {
            return failed(q.lastError());
        }
        return migrate();
    }

    bool openPostgres(const PostgresTarget& t) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", Connection);
        if (!db.isValid()) {
            return fail("PostgreSQL: Qt's driver QPSQL is not installed (libqt6sql6-psql)");
        }
        db.setHostName(t.host);
        db.setPort(t.port);
        db.setUserName(t.user);
        db.setPassword(t.password);
        db.setDatabaseName(t.database);
        db.setConnectOptions(t.options);
        if (!db.open()) {
            return failed(db.lastError());
        }
        QSqlQuery q(db);
        q.exec("SET client_min_messages = WARNING"); // no NOTICE lines on stderr
        return migrate();
    }

    std::string name() const override { return Name; }
    const std::string& error() const override { return Error; }

    std::optional<Started> begin(const OperationStart& s) override {
        Started started;
        const bool written = write([&](QSqlQuery& q) {
            if (s.serial) {
                const auto value = reserve(q, *s.serial);
                if (!value) {
                    return false;
                }
                started.serial = *value;
            }
            const SerialField* field = s.serial          ? &s.serial->field
                                       : s.serialChecked ? &*s.serialChecked
                                                         : nullptr;
            q.prepare("INSERT INTO operations (started_at, host, chip, chip_id, command, file, "
                      "file_size, file_crc32, serial_field, serial, result, version) "
                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'started', ?) RETURNING id");
            for (const QVariant& v :
                 {Text(s.time.empty() ? LogTimeNow() : s.time), Text(s.host), Text(s.chip),
                  Text(s.chipId), Text(s.command), Text(s.file), Nullable(s.fileSize),
                  Nullable(s.fileCrc32),
                  field ? Text(field->key()) : QVariant(QMetaType::fromType<QString>()),
                  Nullable(started.serial), Text(s.version)}) {
                q.addBindValue(v);
            }
            if (!q.exec() || !q.next()) {
                return failed(q.lastError());
            }
            started.id = q.value(0).toLongLong();
            return true;
        });
        return written ? std::optional(started) : std::nullopt;
    }

    bool complete(std::int64_t id, const OperationEnd& e) override {
        return write([&](QSqlQuery& q) {
            q.prepare("UPDATE operations SET finished_at = ?, result = ?, failure_address = ?, "
                      "duration_s = ?, device = ?, device_serial = ?, image_crc32 = ?, "
                      "serial_read = ? WHERE id = ?");
            for (const QVariant& v :
                 {Text(LogTimeNow()), Text(e.result), Nullable(e.failureAddress),
                  QVariant(e.seconds), Text(e.device), Text(e.deviceSerial), Nullable(e.imageCrc32),
                  Nullable(e.serial), QVariant(qint64(id))}) {
                q.addBindValue(v);
            }
            if (!q.exec()) {
                return failed(q.lastError());
            }
            return q.numRowsAffected() == 1 ||
                   fail(Name + ": row " + std::to_string(id) + " is not in the log");
        });
    }

    std::optional<std::uint64_t> peekSerial(const SerialSeries& series) override {
        QSqlQuery q(db());
        q.prepare("SELECT next_value FROM serial_series WHERE field = ?");
        q.addBindValue(Text(series.field.key()));
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        const std::uint64_t next = q.next() ? std::uint64_t(q.value(0).toLongLong()) : 0;
        const std::uint64_t value = std::max(next, series.start);
        if (value > series.field.maximum()) {
            fail(usedUp(series.field));
            return std::nullopt;
        }
        return value;
    }

    std::optional<std::vector<LogRow>> rows(const std::string& since) override {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        q.prepare("SELECT " + kRowColumns +
                  " FROM operations WHERE started_at >= ? ORDER BY started_at, id");
        q.addBindValue(Text(since));
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        std::vector<LogRow> out;
        while (q.next()) {
            out.push_back(rowFrom(q));
        }
        return out;
    }

    std::optional<LogSummary> summary(const std::string& since, std::size_t lastFailures) override {
        LogSummary s;
        QSqlQuery q(db());
        q.setForwardOnly(true);
        q.prepare("SELECT chip, COALESCE(file, ''), result, COUNT(*) FROM operations "
                  "WHERE started_at >= ? GROUP BY chip, COALESCE(file, ''), result "
                  "ORDER BY chip, 2, result");
        q.addBindValue(Text(since));
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        while (q.next()) {
            s.counts.push_back({String(q.value(0)), String(q.value(1)), String(q.value(2)),
                                q.value(3).toLongLong()});
        }
        q.prepare("SELECT host, COALESCE(device, ''), COALESCE(device_serial, ''), "
                  "SUM(CASE WHEN result = 'completed' THEN 1 ELSE 0 END), COUNT(*) "
                  "FROM operations WHERE started_at >= ? "
                  "GROUP BY host, COALESCE(device, ''), COALESCE(device_serial, '') "
                  "ORDER BY 1, 2, 3");
        q.addBindValue(Text(since));
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        while (q.next()) {
            s.yields.push_back({String(q.value(0)), String(q.value(1)), String(q.value(2)),
                                q.value(3).toLongLong(), q.value(4).toLongLong()});
        }
        // A row still "started" is running or was cut off: the counts show
        // it; the failures are the operations that ended badly.
        q.prepare("SELECT " + kRowColumns +
                  " FROM operations WHERE started_at >= ? AND result NOT IN ('completed', "
                  "'started') ORDER BY started_at DESC, id DESC LIMIT " +
                  QString::number(lastFailures));
        q.addBindValue(Text(since));
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        while (q.next()) {
            s.lastFailures.push_back(rowFrom(q));
        }
        return s;
    }

private:
    static inline const QString kRowColumns =
        "id, started_at, host, device, device_serial, chip, chip_id, command, file, file_size, "
        "file_crc32, image_crc32, serial_field, serial, serial_read, result, failure_address, "
        "duration_s, version";

    static LogRow rowFrom(const QSqlQuery& q) {
        LogRow r;
        r.id = q.value(0).toLongLong();
        r.time = String(q.value(1));
        r.host = String(q.value(2));
        r.device = String(q.value(3));
        r.deviceSerial = String(q.value(4));
        r.chip = String(q.value(5));
        r.chipId = String(q.value(6));
        r.command = String(q.value(7));
        r.file = String(q.value(8));
        r.fileSize = Optional<std::int64_t>(q.value(9));
        r.fileCrc32 = Optional<std::uint32_t>(q.value(10));
        r.imageCrc32 = Optional<std::uint32_t>(q.value(11));
        r.serialField = String(q.value(12));
        r.serial = Optional<std::uint64_t>(q.value(13));
        r.serialRead = Optional<std::uint64_t>(q.value(14));
        r.result = String(q.value(15));
        r.failureAddress = Optional<std::uint32_t>(q.value(16));
        if (!q.value(17).isNull()) {
            r.seconds = q.value(17).toDouble();
        }
        r.version = String(q.value(18));
        return r;
    }

    QSqlDatabase db() const { return QSqlDatabase::database(Connection, false); }

    bool fail(const std::string& text) {
        Error = text;
        return false;
    }
    bool failed(const QSqlError& error) {
        QString text = error.databaseText().trimmed();
        if (text.isEmpty()) {
            text = error.text().trimmed();
        }
        return fail(Name + ": " + text.toStdString());
    }

    std::string usedUp(const SerialField& field) const {
        return Name + ": the serial numbers of " + field.key() + " are used up (the largest is " +
               field.show(field.maximum()) + ")";
    }

    // One short write transaction. SQLite takes the write lock at BEGIN, so
    // two writers queue on the busy timeout instead of one of them failing
    // when it would upgrade a read lock.
    template <typename Body> bool write(Body body) {
        QSqlDatabase database = db();
        bool done = false;
        {
            QSqlQuery q(database);
            if (!q.exec(Postgres ? "BEGIN" : "BEGIN IMMEDIATE")) {
                return failed(q.lastError());
            }
            done = body(q);
        }
        QSqlQuery end(database);
        if (done && end.exec("COMMIT")) {
            return true;
        }
        if (done) {
            failed(end.lastError());
        }
        end.exec("ROLLBACK");
        return false;
    }

    // Draws the next number of `series` inside the caller's transaction:
    // the larger of the stored next number and the start asked for, so a
    // number is never handed out twice whatever start a later run names.
    std::optional<std::uint64_t> reserve(QSqlQuery& q, const SerialSeries& series) {
        const QVariant key = Text(series.field.key());
        q.prepare("INSERT INTO serial_series (field, next_value) VALUES (?, ?) "
                  "ON CONFLICT (field) DO NOTHING");
        q.addBindValue(key);
        q.addBindValue(qint64(series.start));
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        q.prepare(QString("SELECT next_value FROM serial_series WHERE field = ?") +
                  (Postgres ? " FOR UPDATE" : ""));
        q.addBindValue(key);
        if (!q.exec() || !q.next()) {
            failed(q.lastError());
            return std::nullopt;
        }
        const std::uint64_t stored = std::uint64_t(q.value(0).toLongLong());
        const std::uint64_t value = std::max(stored, series.start);
        if (value > series.field.maximum()) {
            fail(usedUp(series.field));
            return std::nullopt;
        }
        const std::uint64_t step = series.step == 0 ? 1 : series.step;
        const std::int64_t next =
            value > std::uint64_t(kSpentSeries) - step ? kSpentSeries : std::int64_t(value + step);
        q.prepare("UPDATE serial_series SET next_value = ? WHERE field = ?");
        q.addBindValue(qint64(next));
        q.addBindValue(key);
        if (!q.exec()) {
            failed(q.lastError());
            return std::nullopt;
        }
        return value;
    }

    bool migrate() {
        std::vector<SchemaStep> steps;
        try {
            steps = LogSchemaSteps(Postgres);
        } catch (const std::exception& e) {
            return fail(e.what());
        }
        const int known = steps.empty() ? 0 : steps.back().version;
        return write([&](QSqlQuery& q) {
            if (Postgres &&
                !q.exec("SELECT pg_advisory_xact_lock(" + QString::number(kMigrationLock) + ")")) {
                return failed(q.lastError());
            }
            int version = 0;
            if (db().tables().contains("schema_version")) {
                if (!q.exec("SELECT MAX(version) FROM schema_version") || !q.next()) {
                    return failed(q.lastError());
                }
                version = q.value(0).toInt();
            }
            if (version > known) {
                return fail(Name + ": the log was made by a newer program (schema version " +
                            std::to_string(version) + ", this one knows " + std::to_string(known) +
                            ")");
            }
            for (const SchemaStep& step : steps) {
                if (step.version <= version) {
                    continue;
                }
                for (const std::string& statement : step.statements) {
                    if (!q.exec(QString::fromStdString(statement))) {
                        return failed(q.lastError());
                    }
                }
                if (!q.exec("UPDATE schema_version SET version = " +
                            QString::number(step.version))) {
                    return failed(q.lastError());
                }
            }
            return true;
        });
    }

    bool Postgres;
    std::string Name;
    QString Connection;
    std::string Error;
};

} // namespace

std::unique_ptr<LogStore> OpenLogStore(const std::string& target, std::string& why) {
    const bool postgres =
        target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
    if (postgres) {
        const auto parsed = ParsePostgresUrl(target, why);
        if (!parsed) {
            return nullptr;
        }
        auto store = std::make_unique<SqlLogStore>(true, parsed->shown.toStdString());
        if (!store->openPostgres(*parsed)) {
            why = store->error();
            return nullptr;
        }
        return store;
    }
    if (target.empty()) {
        why = "no log store named";
        return nullptr;
    }
    auto store = std::make_unique<SqlLogStore>(false, target);
    if (!store->openSqlite(target)) {
        why = store->error();
        return nullptr;
    }
    return store;
}

std::string LogTimeNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

std::optional<std::string> NormalizeLogSince(const std::string& text) {
    QString t = QString::fromStdString(text).trimmed();
    t.replace(' ', 'T');
    QDateTime when;
    if (const QDate day = QDate::fromString(t, Qt::ISODate); day.isValid() && t.size() == 10) {
        when = QDateTime(day, QTime(0, 0), Qt::UTC);
    } else {
        when = QDateTime::fromString(t, Qt::ISODateWithMs);
        if (!when.isValid()) {
            return std::nullopt;
        }
        if (when.timeSpec() == Qt::LocalTime) {
            when.setTimeSpec(Qt::UTC); // the log keeps UTC, so does --since
        }
        when = when.toUTC();
    }
    return when.toString(Qt::ISODateWithMs).toStdString();
}

} // namespace vantor
