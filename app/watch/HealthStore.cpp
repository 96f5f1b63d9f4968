#include "app/watch/HealthStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <array>
#include <cerrno>
#include <cstring>

#include "rtl/GbText.h"

namespace app {
namespace {

// One step per schema version: step i takes a file from version i to i + 1.
// A later version adds its step at the end and never changes an earlier one,
// so every older file comes up the same road.
constexpr std::array<const char*, 1> Migrations = {
    // 0 -> 1: the sites' health.
    "CREATE TABLE site ("
    "  id INTEGER PRIMARY KEY,"
    "  url TEXT NOT NULL UNIQUE,"
    "  name TEXT NOT NULL,"
    "  last_check INTEGER,"
    "  last_result TEXT CHECK (last_result IN ('ok', 'failed')),"
    "  last_kind TEXT,"
    "  last_certificate TEXT,"
    "  last_reason TEXT,"
    "  last_reason_zh TEXT,"
    "  last_reply_code INTEGER,"
    "  last_duration_ms INTEGER,"
    "  last_bytes INTEGER,"
    "  failures_in_a_row INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE site_day ("
    "  site_id INTEGER NOT NULL REFERENCES site (id) ON DELETE CASCADE,"
    "  day INTEGER NOT NULL,"
    "  checks INTEGER NOT NULL,"
    "  failures INTEGER NOT NULL,"
    "  PRIMARY KEY (site_id, day)) WITHOUT ROWID;"
    "CREATE TABLE site_hour ("
    "  site_id INTEGER NOT NULL REFERENCES site (id) ON DELETE CASCADE,"
    "  hour INTEGER NOT NULL,"
    "  checks INTEGER NOT NULL,"
    "  failures INTEGER NOT NULL,"
    "  PRIMARY KEY (site_id, hour)) WITHOUT ROWID;",
};

// The window must never wait long for the file: another process that holds
// it makes the write fail at once, and the book keeps the checks meanwhile.
constexpr int BusyTimeoutMs = 10;

std::string Utf8(const std::string& gb) {
    return rtl::FromGb(gb).toUtf8().toStdString();
}

std::string GbOf(const unsigned char* utf8) {
    if (!utf8)
        return {};
    return rtl::ToGb(QString::fromUtf8(reinterpret_cast<const char*>(utf8)));
}

// Finalizes a statement however the scope ends.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        FCode = sqlite3_prepare_v2(db, sql, -1, &FStmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(FStmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    int Code() const { return FCode; }
    sqlite3_stmt* operator*() const { return FStmt; }

private:
    sqlite3_stmt* FStmt = nullptr;
    int FCode = SQLITE_OK;
};

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

StoreProblem::Kind KindOf(int code) {
    switch (code & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return StoreProblem::Kind::Corrupt;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return StoreProblem::Kind::Locked;
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return StoreProblem::Kind::ReadOnly;
        default:
            return StoreProblem::Kind::Unusable;
    }
}

}  // namespace

int32_t THealthStore::SchemaVersion() {
    return static_cast<int32_t>(Migrations.size());
}

THealthStore::THealthStore(std::string path) : FPath(std::move(path)) {}

THealthStore::~THealthStore() {
    Close();
}

void THealthStore::FinalizeStatements() {
    for (sqlite3_stmt** statement : {&FUpsertSite, &FAddDay, &FAddHour}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
}

void THealthStore::Close() {
    FinalizeStatements();
    if (FDb) {
        // The last connection to close folds the write-ahead log back into the
        // file and removes it.
        sqlite3_close_v2(FDb);
        FDb = nullptr;
    }
    FLastPruneDay = INT64_MIN;
}

void THealthStore::Fail(int code, StoreProblem& problem) const {
    problem.What = KindOf(code);
    const char* message = FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(code);
    problem.Detail = message ? message : sqlite3_errstr(code);
    // SQLite calls a file that cannot be created "unable to open database
    // file"; the folder's state says more.
    if ((code & 0xFF) == SQLITE_CANTOPEN) {
        const std::string folder = FPath.substr(0, FPath.find_last_of('/') + 1);
        if (!folder.empty() && ::access(folder.c_str(), W_OK) != 0)
            problem.Detail += std::string(" (") + std::strerror(errno) + ")";
    }
}

bool THealthStore::Execute(const char* sql) {
    return sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool THealthStore::Run(const char* sql, StoreProblem& problem) {
    const int code = sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        Fail(code, problem);
    return code == SQLITE_OK;
}

bool THealthStore::OpenConnection(int flags, StoreProblem& problem, const std::string& name) {
    Close();
    const std::string& file = name.empty() ? FPath : name;
    const int code = sqlite3_open_v2(file.c_str(), &FDb, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        Fail(code, problem);
        Close();
        return false;
    }
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_busy_timeout(FDb, BusyTimeoutMs);
    return true;
}

bool THealthStore::CheckIntegrity(StoreProblem& problem) {
    // A file that is no database, or one cut short, fails here rather than in
    // the middle of a later write.
    Statement check(FDb, "PRAGMA quick_check(1)");
    if (check.Code() != SQLITE_OK) {
        Fail(check.Code(), problem);
        return false;
    }
    const int step = sqlite3_step(*check);
    if (step != SQLITE_ROW) {
        Fail(step, problem);
        return false;
    }
    const std::string verdict = GbOf(sqlite3_column_text(*check, 0));
    if (verdict != "ok") {
        problem.What = StoreProblem::Kind::Corrupt;
        problem.Detail = verdict;
        return false;
    }
    return true;
}

bool THealthStore::MoveAside(StoreProblem& problem) {
    Close();
    const std::string stamp =
        QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    std::string aside = FPath + ".corrupt-" + stamp;
    for (int n = 2; Exists(aside); ++n)
        aside = FPath + ".corrupt-" + stamp + "-" + std::to_string(n);
    if (::rename(FPath.c_str(), aside.c_str()) != 0) {
        problem.What = StoreProblem::Kind::Unusable;
        problem.Detail += std::string("; cannot move it aside: ") + std::strerror(errno);
        return false;
    }
    // The log of the bad file goes with it: a new file must not take it up.
    const std::string wal = FPath + "-wal";
    if (Exists(wal))
        ::rename(wal.c_str(), (aside + "-wal").c_str());
    ::unlink((FPath + "-shm").c_str());
    problem.AsidePath = aside;
    return true;
}

bool THealthStore::Migrate(StoreProblem& problem) {
    int32_t version = 0;
    {
        Statement read(FDb, "PRAGMA user_version");
        if (read.Code() != SQLITE_OK) {
            Fail(read.Code(), problem);
            return false;
        }
        const int step = sqlite3_step(*read);
        if (step != SQLITE_ROW) {
            Fail(step, problem);
            return false;
        }
        version = sqlite3_column_int(*read, 0);
    }
    if (version > SchemaVersion()) {
        problem.What = StoreProblem::Kind::NewerSchema;
        problem.Version = version;
        return false;
    }
    for (int32_t step = version; step < SchemaVersion(); ++step) {
        const std::string sql = std::string("BEGIN IMMEDIATE;") +
                                Migrations[static_cast<size_t>(step)] +
                                "PRAGMA user_version = " + std::to_string(step + 1) + ";COMMIT;";
        const int code = sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, nullptr);
        if (code != SQLITE_OK) {
            Fail(code, problem);
            Execute("ROLLBACK");
            return false;
        }
    }
    return true;
}

bool THealthStore::Prepare(StoreProblem& problem) {
    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&FUpsertSite,
         "INSERT INTO site (url, name, last_check, last_result, last_kind, last_certificate,"
         " last_reason, last_reason_zh, last_reply_code, last_duration_ms, last_bytes,"
         " failures_in_a_row) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"
         " ON CONFLICT (url) DO UPDATE SET name = ?2, last_check = ?3, last_result = ?4,"
         " last_kind = ?5, last_certificate = ?6, last_reason = ?7, last_reason_zh = ?8,"
         " last_reply_code = ?9, last_duration_ms = ?10, last_bytes = ?11,"
         " failures_in_a_row = ?12 RETURNING id"},
        {&FAddDay,
         "INSERT INTO site_day (site_id, day, checks, failures) VALUES (?1, ?2, ?3, ?4)"
         " ON CONFLICT (site_id, day) DO UPDATE SET checks = checks + ?3,"
         " failures = failures + ?4"},
        {&FAddHour,
         "INSERT INTO site_hour (site_id, hour, checks, failures) VALUES (?1, ?2, ?3, ?4)"
         " ON CONFLICT (site_id, hour) DO UPDATE SET checks = checks + ?3,"
         " failures = failures + ?4"},
    };
    for (const auto& [statement, sql] : statements) {
        const int code =
            sqlite3_prepare_v3(FDb, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr);
        if (code != SQLITE_OK) {
            Fail(code, problem);
            return false;
        }
    }
    return true;
}

bool THealthStore::SwitchToWal(StoreProblem& problem) {
    // Readers see the last commit while this process writes.
    Statement wal(FDb, "PRAGMA journal_mode = WAL");
    const int step = wal.Code() == SQLITE_OK ? sqlite3_step(*wal) : wal.Code();
    if (step != SQLITE_ROW) {
        Fail(step, problem);
        return false;
    }
    if (GbOf(sqlite3_column_text(*wal, 0)) != "wal") {
        problem.What = StoreProblem::Kind::ReadOnly;
        problem.Detail = "cannot keep a write-ahead log here";
        return false;
    }
    return true;
}

bool THealthStore::Open(StoreProblem& problem) {
    FReadOnly = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!OpenConnection(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, problem))
            return false;
        if (sqlite3_db_readonly(FDb, "main") == 1) {
            problem.What = StoreProblem::Kind::ReadOnly;
            problem.Detail = "attempt to write a readonly database";
            Close();
            return false;
        }
        if (CheckIntegrity(problem) && SwitchToWal(problem) &&
            // No flush to the disk, not even when the log is folded back into
            // the file: a flush can hold the window for tens of milliseconds,
            // while a crash of the whole system costs at most the last
            // checks, or a file that is then moved aside for a new one.
            Run("PRAGMA synchronous = OFF; PRAGMA foreign_keys = ON;"
                "PRAGMA journal_size_limit = 1048576",
                problem) &&
            Migrate(problem) && Prepare(problem))
            return true;
        // Only a file found corrupt is moved aside, and only once.
        if (problem.What != StoreProblem::Kind::Corrupt || attempt > 0) {
            Close();
            return false;
        }
        if (!MoveAside(problem))
            return false;
    }
    return false;
}

bool THealthStore::OpenForReading(StoreProblem& problem) {
    FReadOnly = true;
    if (!Exists(FPath)) {
        problem.What = StoreProblem::Kind::Unusable;
        problem.Detail = "no such file";
        return false;
    }
    if (Exists(FPath + "-wal")) {
        // A window writes (or one ended without folding its log back): the
        // log is read with the file.
        if (!OpenConnection(SQLITE_OPEN_READONLY, problem))
            return false;
    } else {
        // Nobody writes: read the file alone, so that no log or index is made
        // beside it, not even in a folder the reader cannot write.
        const std::string uri = QUrl::fromLocalFile(QString::fromStdString(FPath))
                                    .toString(QUrl::FullyEncoded)
                                    .toStdString() +
                                "?immutable=1";
        if (!OpenConnection(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, problem, uri))
            return false;
    }
    int32_t version = 0;
    {
        Statement read(FDb, "PRAGMA user_version");
        const int step = read.Code() == SQLITE_OK ? sqlite3_step(*read) : read.Code();
        if (step != SQLITE_ROW) {
            Fail(step, problem);
            Close();
            return false;
        }
        version = sqlite3_column_int(*read, 0);
    }
    if (version > SchemaVersion()) {
        problem.What = StoreProblem::Kind::NewerSchema;
        problem.Version = version;
        Close();
        return false;
    }
    return true;
}

std::vector<SiteHealth> THealthStore::LoadSites(int64_t nowUtcMs, StoreProblem& problem) {
    std::vector<SiteHealth> sites;
    if (!FDb)
        return sites;
    // A file of version 0 (an empty one) has no tables yet: nothing to read.
    Statement read(FDb,
                   "SELECT id, url, name, last_check, last_result, last_kind, last_certificate,"
                   " last_reason, last_reason_zh, last_reply_code, last_duration_ms, last_bytes,"
                   " failures_in_a_row FROM site ORDER BY id");
    if (read.Code() != SQLITE_OK) {
        if (sqlite3_errmsg(FDb) && std::strstr(sqlite3_errmsg(FDb), "no such table"))
            return sites;
        Fail(read.Code(), problem);
        return sites;
    }
    std::map<int64_t, size_t> byId;
    int step = SQLITE_OK;
    while ((step = sqlite3_step(*read)) == SQLITE_ROW) {
        SiteHealth site;
        site.Url = GbOf(sqlite3_column_text(*read, 1));
        site.Name = GbOf(sqlite3_column_text(*read, 2));
        if (sqlite3_column_type(*read, 3) != SQLITE_NULL) {
            LastCheck last;
            last.TimeUtcMs = sqlite3_column_int64(*read, 3);
            last.Failed = GbOf(sqlite3_column_text(*read, 4)) == "failed";
            last.Kind = FetchKindFromName(GbOf(sqlite3_column_text(*read, 5)));
            last.Certificate = CertificateCheckFromName(GbOf(sqlite3_column_text(*read, 6)));
            last.Text = GbOf(sqlite3_column_text(*read, 7));
            last.Sentence = GbOf(sqlite3_column_text(*read, 8));
            last.ReplyCode = sqlite3_column_int(*read, 9);
            last.DurationMs = sqlite3_column_int64(*read, 10);
            last.Bytes = sqlite3_column_int64(*read, 11);
            site.Last = last;
        }
        site.FailuresInARow = sqlite3_column_int(*read, 12);
        byId[sqlite3_column_int64(*read, 0)] = sites.size();
        sites.push_back(std::move(site));
    }
    if (step != SQLITE_DONE) {
        Fail(step, problem);
        return {};
    }

    const int64_t now = HourOf(nowUtcMs);
    Statement hours(FDb,
                    "SELECT site_id, hour, checks, failures FROM site_hour"
                    " WHERE hour BETWEEN ?1 AND ?2");
    if (hours.Code() != SQLITE_OK) {
        Fail(hours.Code(), problem);
        return sites;
    }
    sqlite3_bind_int64(*hours, 1, now - 48);
    sqlite3_bind_int64(*hours, 2, now + 1);
    while ((step = sqlite3_step(*hours)) == SQLITE_ROW) {
        const auto found = byId.find(sqlite3_column_int64(*hours, 0));
        if (found == byId.end())
            continue;
        CheckCounts& counts = sites[found->second].Hours[sqlite3_column_int64(*hours, 1)];
        counts.Checks = sqlite3_column_int64(*hours, 2);
        counts.Failures = sqlite3_column_int64(*hours, 3);
    }
    if (step != SQLITE_DONE)
        Fail(step, problem);
    return sites;
}

bool THealthStore::WriteSite(const SiteChanges& site) {
    sqlite3_stmt* upsert = FUpsertSite;
    sqlite3_reset(upsert);
    sqlite3_clear_bindings(upsert);
    BindText(upsert, 1, Utf8(site.Url));
    BindText(upsert, 2, Utf8(site.Name));
    const LastCheck& last = site.Last;
    sqlite3_bind_int64(upsert, 3, last.TimeUtcMs);
    BindText(upsert, 4, last.Failed ? "failed" : "ok");
    BindText(upsert, 5, FetchKindName(last.Kind));
    BindText(upsert, 6, CertificateCheckName(last.Certificate));
    BindText(upsert, 7, Utf8(last.Text));
    BindText(upsert, 8, Utf8(last.Sentence));
    sqlite3_bind_int(upsert, 9, last.ReplyCode);
    sqlite3_bind_int64(upsert, 10, last.DurationMs);
    sqlite3_bind_int64(upsert, 11, last.Bytes);
    sqlite3_bind_int(upsert, 12, site.FailuresInARow);
    if (sqlite3_step(upsert) != SQLITE_ROW)
        return false;
    const int64_t id = sqlite3_column_int64(upsert, 0);
    if (sqlite3_step(upsert) != SQLITE_DONE)
        return false;

    const auto add = [id](sqlite3_stmt* statement, const std::map<int64_t, CheckCounts>& counts) {
        for (const auto& [period, count] : counts) {
            sqlite3_reset(statement);
            sqlite3_bind_int64(statement, 1, id);
            sqlite3_bind_int64(statement, 2, period);
            sqlite3_bind_int64(statement, 3, count.Checks);
            sqlite3_bind_int64(statement, 4, count.Failures);
            if (sqlite3_step(statement) != SQLITE_DONE)
                return false;
        }
        return true;
    };
    return add(FAddDay, site.Days) && add(FAddHour, site.Hours);
}

bool THealthStore::Prune(int64_t nowUtcMs) {
    // Once a day is enough: what falls out of keeping does so a day at a time.
    const int64_t today = DayOf(nowUtcMs);
    if (today == FLastPruneDay)
        return true;
    const int64_t hour = HourOf(nowUtcMs);
    const std::string sql = "DELETE FROM site_day WHERE day < " + std::to_string(today - DaysKept) +
                            ";DELETE FROM site_hour WHERE hour < " + std::to_string(hour - 48) +
                            " OR hour > " + std::to_string(hour + 1) +
                            ";DELETE FROM site WHERE last_check < " +
                            std::to_string(nowUtcMs - DaysKept * MillisecondsPerDay) + ";";
    if (!Execute(sql.c_str()))
        return false;
    FLastPruneDay = today;
    return true;
}

bool THealthStore::Write(const std::vector<SiteChanges>& changes, int64_t nowUtcMs,
                         StoreProblem& problem) {
    if (!FDb || FReadOnly) {
        problem.What = StoreProblem::Kind::Unusable;
        problem.Detail = "not open";
        return false;
    }
    int code = sqlite3_exec(FDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
        bool written = true;
        for (const SiteChanges& site : changes)
            written = written && WriteSite(site);
        const int64_t pruneDay = FLastPruneDay;
        written = written && Prune(nowUtcMs);
        if (written)
            code = sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
        else
            code = sqlite3_errcode(FDb);
        if (code == SQLITE_OK)
            return true;
        FLastPruneDay = pruneDay;
        Fail(code, problem);
        Execute("ROLLBACK");
    } else {
        Fail(code, problem);
    }
    for (sqlite3_stmt* statement : {FUpsertSite, FAddDay, FAddHour})
        sqlite3_reset(statement);
    if (problem.What == StoreProblem::Kind::Corrupt)
        Close();
    return false;
}

}  // namespace app
