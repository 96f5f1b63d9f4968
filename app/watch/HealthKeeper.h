#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/watch/HealthStore.h"
#include "app/watch/Presence.h"
#include "app/watch/SiteHealth.h"

namespace app {

// The sites' health as the running window keeps it: the book in memory, which
// the windows read, mirrored to perchly.db with one short transaction per
// check. Nothing here may stop monitoring or touch the lists: a database that
// cannot be opened, read or written leaves the book working alone, says so
// once per run, and is tried again now and then (a lock may be let go, a
// folder made writable); what was recorded meanwhile is written then. A
// corrupt file is moved aside and a new one made.
class THealthKeeper {
public:
    explicit THealthKeeper(std::string databasePath);
    ~THealthKeeper();
    THealthKeeper(const THealthKeeper&) = delete;
    THealthKeeper& operator=(const THealthKeeper&) = delete;

    // Opens the database and takes up what it holds.
    void Open(int64_t nowUtcMs);
    // Writes what is still pending and closes the database.
    void Close(int64_t nowUtcMs);

    // Records one check in the book and writes it, with what a good check
    // found of the watched names (null: the check looked for none, as when it
    // failed) in the same transaction.
    HealthTurn Record(const std::string& url, const std::string& name, const FetchOutcome& outcome,
                      int64_t nowUtcMs, const PresenceCheck* presence = nullptr);

    const THealthBook& Book() const { return FBook; }
    // The open spans and each name's latest one.
    const TPresenceBook& Presence() const { return FPresence; }

    // Every span kept, the ones not yet written included, for the records
    // window; empty when the database cannot be read (problem set).
    PresenceRecords LoadPresence(StoreProblem& problem);
    // Deletes the spans of one name, or of every name when name is null, from
    // the database and from memory. False (problem set) when the database
    // could not be written: then nothing is deleted.
    bool ClearPresence(const std::string* name, StoreProblem& problem);
    // True while the database takes the checks.
    bool Persistent() const { return FStore.IsOpen() && FPending.empty(); }

    // Raised once per run, the first time the database cannot be used as it
    // should, with a message for the user (GB18030 text).
    std::function<void(const std::string& message)> OnProblem;

    // The longest write so far, in microseconds (for the benchmark).
    int64_t SlowestWriteMicroseconds() const { return FSlowestWriteUs; }
    // How long a database that failed is left alone before it is tried again.
    std::chrono::milliseconds RetryPause{60 * 1000};

private:
    using Clock = std::chrono::steady_clock;
    void Flush(int64_t nowUtcMs);
    bool Reopen();
    void Report(const StoreProblem& problem);
    void Pause(const StoreProblem& problem);

    THealthStore FStore;
    THealthBook FBook;
    TPresenceBook FPresence;
    std::map<std::string, SiteChanges> FPending;
    bool FReported = false;
    // A newer program's file is never written; other trouble is tried again
    // from FRetryAt on.
    bool FGivenUp = false;
    Clock::time_point FRetryAt{};
    int64_t FSlowestWriteUs = 0;
};

// The message about a database problem, for the user: what happened, that
// monitoring goes on and that the lists are safe. GB18030 text.
std::string StoreProblemMessage(const StoreProblem& problem, const std::string& path);

}  // namespace app
