#include "app/watch/HealthStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "rtl/GbText.h"

namespace app {
namespace {

// One step per schema version: step i takes a file from version i to i + 1.
// A later version adds its step at the end and never changes an earlier one,
// so every older file comes up the same road.
constexpr std::array<const char*, 2> Migrations = {
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
    // 1 -> 2: when and where each nickname was present. A span is keyed by
    // its name, site and first sighting; extending it rewrites one row of
    // one tree, since nothing but the key is indexed.
    "CREATE TABLE nickname ("
    "  id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE presence ("
    "  nickname_id INTEGER NOT NULL REFERENCES nickname (id) ON DELETE CASCADE,"
    "  site_id INTEGER NOT NULL REFERENCES site (id) ON DELETE CASCADE,"
    "  first_seen INTEGER NOT NULL,"
    "  last_seen INTEGER NOT NULL,"
    "  checks INTEGER NOT NULL,"
    "  open INTEGER NOT NULL CHECK (open IN (0, 1)),"
    "  PRIMARY KEY (nickname_id, site_id, first_seen)) WITHOUT ROWID;",
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
    for (sqlite3_stmt** statement :
         {&FUpsertSite, &FAddDay, &FAddHour, &FUpsertNickname, &FUpsertSpan}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    FNicknameIds.clear();
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

bool THealthStore::EndOpenSpans(StoreProblem& problem) {
    // Spans still open were open when the last window stopped: nobody watched
    // since, so they end at their last sighting.
    return Run("UPDATE presence SET open = 0 WHERE open = 1", problem);
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
        {&FUpsertNickname,
         "INSERT INTO nickname (name) VALUES (?1)"
         " ON CONFLICT (name) DO UPDATE SET name = excluded.name RETURNING id"},
        {&FUpsertSpan,
         "INSERT INTO presence (nickname_id, site_id, first_seen, last_seen, checks, open)"
         " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (nickname_id, site_id, first_seen)"
         " DO UPDATE SET last_seen = ?4, checks = ?5, open = ?6"},
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
            Migrate(problem) && EndOpenSpans(problem) && Prepare(problem))
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
    if (!add(FAddDay, site.Days) || !add(FAddHour, site.Hours))
        return false;
    for (const auto& [key, span] : site.Spans)
        if (!WriteSpan(id, span))
            return false;
    return true;
}

int64_t THealthStore::NicknameId(const std::string& name) {
    const std::string utf8 = Utf8(name);
    const auto known = FNicknameIds.find(utf8);
    if (known != FNicknameIds.end())
        return known->second;
    sqlite3_stmt* upsert = FUpsertNickname;
    sqlite3_reset(upsert);
    BindText(upsert, 1, utf8);
    if (sqlite3_step(upsert) != SQLITE_ROW)
        return -1;
    const int64_t id = sqlite3_column_int64(upsert, 0);
    if (sqlite3_step(upsert) != SQLITE_DONE)
        return -1;
    // Kept only once the transaction that made it commits (see Write).
    FNicknameIds.emplace(utf8, id);
    return id;
}

bool THealthStore::WriteSpan(int64_t siteId, const PresenceSpan& span) {
    const int64_t nickname = NicknameId(span.Name);
    if (nickname < 0)
        return false;
    sqlite3_stmt* upsert = FUpsertSpan;
    sqlite3_reset(upsert);
    sqlite3_bind_int64(upsert, 1, nickname);
    sqlite3_bind_int64(upsert, 2, siteId);
    sqlite3_bind_int64(upsert, 3, span.FirstSeenMs);
    sqlite3_bind_int64(upsert, 4, span.LastSeenMs);
    sqlite3_bind_int64(upsert, 5, span.Checks);
    sqlite3_bind_int(upsert, 6, span.Open ? 1 : 0);
    return sqlite3_step(upsert) == SQLITE_DONE;
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
                            std::to_string(nowUtcMs - DaysKept * MillisecondsPerDay) +
                            ";DELETE FROM presence WHERE last_seen < " +
                            std::to_string(nowUtcMs - SpanDaysKept * MillisecondsPerDay) +
                            // A seek per name in the spans' key, not a list of
                            // every span's name.
                            ";DELETE FROM nickname WHERE NOT EXISTS (SELECT 1 FROM presence"
                            " WHERE presence.nickname_id = nickname.id);";
    // Names that lost their last span go: their ids are no longer valid.
    FNicknameIds.clear();
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
        FNicknameIds.clear();
        Fail(code, problem);
        Execute("ROLLBACK");
    } else {
        Fail(code, problem);
    }
    for (sqlite3_stmt* statement : {FUpsertSite, FAddDay, FAddHour, FUpsertNickname, FUpsertSpan})
        sqlite3_reset(statement);
    if (problem.What == StoreProblem::Kind::Corrupt)
        Close();
    return false;
}

bool THealthStore::HasPresence() {
    // A file of version 1 opened for reading has no presence yet.
    Statement probe(FDb, "SELECT 1 FROM sqlite_master WHERE name = 'presence'");
    return probe.Code() == SQLITE_OK && sqlite3_step(*probe) == SQLITE_ROW;
}

PresenceRecords THealthStore::LoadPresence(StoreProblem& problem) {
    PresenceRecords records;
    if (!FDb || !HasPresence())
        return records;
    std::map<int64_t, int32_t> nameOf;
    std::map<int64_t, int32_t> siteOf;
    {
        Statement names(FDb, "SELECT id, name FROM nickname ORDER BY id");
        std::vector<std::pair<std::string, int64_t>> byName;
        int step = names.Code() == SQLITE_OK ? sqlite3_step(*names) : names.Code();
        for (; step == SQLITE_ROW; step = sqlite3_step(*names))
            byName.emplace_back(GbOf(sqlite3_column_text(*names, 1)),
                                sqlite3_column_int64(*names, 0));
        if (step != SQLITE_DONE) {
            Fail(step, problem);
            return {};
        }
        // Sorted by the GB18030 text, as the records' name index expects.
        std::sort(byName.begin(), byName.end());
        for (auto& [name, id] : byName) {
            nameOf[id] = static_cast<int32_t>(records.Names.size());
            records.Names.push_back(std::move(name));
        }
    }
    {
        Statement sites(FDb, "SELECT id, url, name FROM site ORDER BY id");
        int step = sites.Code() == SQLITE_OK ? sqlite3_step(*sites) : sites.Code();
        for (; step == SQLITE_ROW; step = sqlite3_step(*sites)) {
            siteOf[sqlite3_column_int64(*sites, 0)] = static_cast<int32_t>(records.Sites.size());
            records.Sites.push_back(
                {GbOf(sqlite3_column_text(*sites, 1)), GbOf(sqlite3_column_text(*sites, 2))});
        }
        if (step != SQLITE_DONE) {
            Fail(step, problem);
            return {};
        }
    }
    Statement spans(FDb,
                    "SELECT nickname_id, site_id, first_seen, last_seen, checks, open"
                    " FROM presence");
    int step = spans.Code() == SQLITE_OK ? sqlite3_step(*spans) : spans.Code();
    for (; step == SQLITE_ROW; step = sqlite3_step(*spans)) {
        const auto name = nameOf.find(sqlite3_column_int64(*spans, 0));
        const auto site = siteOf.find(sqlite3_column_int64(*spans, 1));
        if (name == nameOf.end() || site == siteOf.end())
            continue;
        records.Spans.push_back({name->second, site->second, sqlite3_column_int64(*spans, 2),
                                 sqlite3_column_int64(*spans, 3), sqlite3_column_int64(*spans, 4),
                                 sqlite3_column_int(*spans, 5) != 0});
    }
    if (step != SQLITE_DONE) {
        Fail(step, problem);
        return {};
    }
    // Sorting here is cheaper than in SQL, which has no index on the last
    // sighting to read them in that order.
    std::sort(records.Spans.begin(), records.Spans.end(),
              [](const PresenceRecords::Row& a, const PresenceRecords::Row& b) {
                  if (a.LastSeenMs != b.LastSeenMs)
                      return a.LastSeenMs > b.LastSeenMs;
                  return a.FirstSeenMs > b.FirstSeenMs;
              });
    return records;
}

std::vector<NameSighting> THealthStore::LoadSightings(int64_t recentSinceUtcMs,
                                                      StoreProblem& problem) {
    std::vector<NameSighting> sightings;
    if (!FDb || !HasPresence())
        return sightings;
    // SQLite takes the bare columns from the row that gave the maximum.
    Statement read(FDb,
                   "SELECT n.name, s.url, s.name, p.first_seen, MAX(p.last_seen), p.checks,"
                   " SUM(p.last_seen >= ?1) FROM presence p"
                   " JOIN nickname n ON n.id = p.nickname_id JOIN site s ON s.id = p.site_id"
                   " GROUP BY p.nickname_id");
    if (read.Code() != SQLITE_OK) {
        Fail(read.Code(), problem);
        return sightings;
    }
    sqlite3_bind_int64(*read, 1, recentSinceUtcMs);
    int step = SQLITE_OK;
    while ((step = sqlite3_step(*read)) == SQLITE_ROW) {
        NameSighting sighting;
        sighting.Last.Name = GbOf(sqlite3_column_text(*read, 0));
        sighting.Last.Url = GbOf(sqlite3_column_text(*read, 1));
        sighting.SiteName = GbOf(sqlite3_column_text(*read, 2));
        sighting.Last.FirstSeenMs = sqlite3_column_int64(*read, 3);
        sighting.Last.LastSeenMs = sqlite3_column_int64(*read, 4);
        sighting.Last.Checks = sqlite3_column_int64(*read, 5);
        sighting.RecentSpans = sqlite3_column_int64(*read, 6);
        sightings.push_back(std::move(sighting));
    }
    if (step != SQLITE_DONE) {
        Fail(step, problem);
        return {};
    }
    return sightings;
}

bool THealthStore::ClearPresence(const std::string* name, StoreProblem& problem) {
    if (!FDb || FReadOnly) {
        problem.What = StoreProblem::Kind::Unusable;
        problem.Detail = "not open";
        return false;
    }
    if (!Run("BEGIN IMMEDIATE", problem))
        return false;
    bool cleared = false;
    if (!name) {
        cleared = Run("DELETE FROM presence; DELETE FROM nickname", problem);
    } else {
        Statement spans(FDb,
                        "DELETE FROM presence WHERE nickname_id IN"
                        " (SELECT id FROM nickname WHERE name = ?1)");
        Statement names(FDb, "DELETE FROM nickname WHERE name = ?1");
        cleared = spans.Code() == SQLITE_OK && names.Code() == SQLITE_OK;
        if (cleared) {
            const std::string utf8 = Utf8(*name);
            BindText(*spans, 1, utf8);
            BindText(*names, 1, utf8);
            cleared = sqlite3_step(*spans) == SQLITE_DONE && sqlite3_step(*names) == SQLITE_DONE;
        }
        if (!cleared)
            Fail(sqlite3_errcode(FDb), problem);
    }
    cleared = cleared && Run("COMMIT", problem);
    FNicknameIds.clear();
    if (!cleared) {
        Execute("ROLLBACK");
        if (problem.What == StoreProblem::Kind::Corrupt)
            Close();
    }
    return cleared;
}

}  // namespace app
