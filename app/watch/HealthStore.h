#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/watch/Presence.h"
#include "app/watch/SiteHealth.h"

struct sqlite3;
struct sqlite3_stmt;

namespace app {

// What kept the database from being used, for the one message that says so.
struct StoreProblem {
    enum class Kind {
        None,
        Corrupt,      // unreadable as a database; moved aside to AsidePath, a new one made
        NewerSchema,  // written by a newer Perchly (Version); left untouched
        Locked,       // another process holds it
        ReadOnly,     // the file or its folder cannot be written
        Unusable,     // anything else (a full disk, a corrupt file that could not be moved)
    };
    Kind What = Kind::None;
    std::string Detail;     // SQLite's or the system's own words
    std::string AsidePath;  // where a corrupt file was moved
    int32_t Version = 0;    // the schema version of a newer file
};

// One site's changes since the last write: its row as the book holds it now,
// and the checks to add to its day and hour counts.
struct SiteChanges {
    std::string Url;
    std::string Name;
    LastCheck Last;
    int32_t FailuresInARow = 0;
    std::map<int64_t, CheckCounts> Days;
    std::map<int64_t, CheckCounts> Hours;
    // The spans this site's checks changed, in their latest state, by name and
    // first sighting.
    std::map<std::pair<std::string, int64_t>, PresenceSpan> Spans;
};

// A name's latest span and how many of its spans were seen in a recent
// stretch of time.
struct NameSighting {
    PresenceSpan Last;
    std::string SiteName;
    int64_t RecentSpans = 0;
};

// The database perchly.db beside the settings: each site's last check,
// failures in a row and check counts per hour (two days) and per day (400
// days), and the spans of presence of every nickname (400 days). One writer, the window's process,
// in WAL mode, so readers such as `perchly --status` never wait for it nor make it wait. The schema
// version is PRAGMA user_version; each migration step takes the file one version up in a
// transaction of its own. Texts are stored as UTF-8, times as milliseconds since 1970-01-01 UTC;
// the book's GB18030 texts are converted on the way in and out.
class THealthStore {
public:
    // The version this program writes; a file with a higher one is left alone.
    static int32_t SchemaVersion();
    // Per-day counts are kept this many days.
    static constexpr int64_t DaysKept = 400;

    explicit THealthStore(std::string path);
    ~THealthStore();
    THealthStore(const THealthStore&) = delete;
    THealthStore& operator=(const THealthStore&) = delete;

    // Opens the database for writing, creating or migrating it. A corrupt file
    // is moved aside and a new one made (problem says so, and true is
    // returned); any other trouble returns false with problem set.
    bool Open(StoreProblem& problem);
    // Opens an existing database for reading only; false (problem set) when
    // there is none or it cannot be read. Never creates, migrates or writes.
    bool OpenForReading(StoreProblem& problem);
    bool IsOpen() const { return FDb != nullptr; }
    void Close();

    // Every site's row, with its hours kept for nowUtcMs.
    std::vector<SiteHealth> LoadSites(int64_t nowUtcMs, StoreProblem& problem);

    // Writes the changes in one transaction and drops what is past keeping.
    // False (problem set, nothing written) when the write failed; a corrupt
    // file found here is closed, so the caller can open it again.
    bool Write(const std::vector<SiteChanges>& changes, int64_t nowUtcMs, StoreProblem& problem);

    // Every span kept, newest first.
    PresenceRecords LoadPresence(StoreProblem& problem);
    // Each name's latest span, and the number of its spans last seen at or
    // after recentSinceUtcMs.
    std::vector<NameSighting> LoadSightings(int64_t recentSinceUtcMs, StoreProblem& problem);
    // Deletes the spans of one name, or all when name is null, in one
    // transaction.
    bool ClearPresence(const std::string* name, StoreProblem& problem);

    const std::string& Path() const { return FPath; }

private:
    // Opens FPath, or name (a URI) when it is given.
    bool OpenConnection(int flags, StoreProblem& problem, const std::string& name = {});
    bool Prepare(StoreProblem& problem);
    bool EndOpenSpans(StoreProblem& problem);
    bool HasPresence();
    bool Migrate(StoreProblem& problem);
    bool CheckIntegrity(StoreProblem& problem);
    bool SwitchToWal(StoreProblem& problem);
    bool MoveAside(StoreProblem& problem);
    bool WriteSite(const SiteChanges& site);
    bool WriteSpan(int64_t siteId, const PresenceSpan& span);
    int64_t NicknameId(const std::string& name);
    bool Prune(int64_t nowUtcMs);
    bool Execute(const char* sql);
    bool Run(const char* sql, StoreProblem& problem);
    void Fail(int code, StoreProblem& problem) const;
    void FinalizeStatements();

    std::string FPath;
    sqlite3* FDb = nullptr;
    bool FReadOnly = false;
    int64_t FLastPruneDay = INT64_MIN;
    sqlite3_stmt* FUpsertSite = nullptr;
    sqlite3_stmt* FAddDay = nullptr;
    sqlite3_stmt* FAddHour = nullptr;
    sqlite3_stmt* FUpsertNickname = nullptr;
    sqlite3_stmt* FUpsertSpan = nullptr;
    // The ids of the names written in this connection.
    std::map<std::string, int64_t> FNicknameIds;
};

}  // namespace app
