#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/watch/HealthStore.h"
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

    // Records one check in the book and writes it.
    HealthTurn Record(const std::string& url, const std::string& name, const FetchOutcome& outcome,
                      int64_t nowUtcMs);

    const THealthBook& Book() const { return FBook; }
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
