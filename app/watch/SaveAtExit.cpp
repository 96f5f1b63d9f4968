#include "app/watch/SaveAtExit.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/watch/Settings.h"

namespace app {
namespace {

// Exit handlers take no arguments, so what the last save needs is kept here.
struct LastSave {
    std::string SettingsFile;
    const WatchState* State = nullptr;
};

LastSave& Pending() {
    // Never destroyed: it must still be there when the handlers run.
    static auto* pending = new LastSave;
    return *pending;
}

void SaveIfStillPending() {
    LastSave& pending = Pending();
    if (pending.State == nullptr)
        return;
    const WatchState& state = *pending.State;
    pending.State = nullptr;
    try {
        SaveWatchLists(pending.SettingsFile, state);
        std::fprintf(stderr,
                     "perchly: ended without closing its window; the lists were saved to %s.\n",
                     pending.SettingsFile.c_str());
    } catch (const std::exception& error) {
        std::fprintf(
            stderr, "perchly: ended without closing its window; the lists could not be saved: %s\n",
            error.what());
    }
}

}  // namespace

void ArmSaveAtExit(const std::string& settingsFile, const WatchState& state) {
    static const bool registered = std::atexit(SaveIfStillPending) == 0;
    if (!registered)
        return;
    Pending().SettingsFile = settingsFile;
    Pending().State = &state;
}

void DisarmSaveAtExit() {
    Pending().State = nullptr;
}

}  // namespace app
