#pragma once

#include <string>

#include "app/watch/WatchState.h"

namespace app {

// The settings file in a folder that holds all the program's files (a portable
// copy); folder ends with '/'.
std::string SettingsFileName(const std::string& folder);

// The two switches that the load reads but that live outside WatchState: start
// monitoring at launch, and minimise when monitoring is resumed.
struct StartupSwitches {
    bool AutoUp = true;
    bool AutoMin = true;
};

// Fills state from the settings file, read once: both lists, SoundOn (default on)
// and IntervalSeconds (default 10; values outside 5..60 become 10). A missing or
// unreadable file yields all defaults. Used slots are moved together so that they
// are contiguous from 0 even when the file has gaps; each keeps its flag and URL.
// SiteCursor and SavedRunState are left alone.
StartupSwitches LoadSettings(const std::string& fileName, WatchState& state);

// Writes "Second" and every target and site slot, free ones included, as one
// atomic replacement of the file; every other line of the file is kept.
// Raises rtl::EInOutError "Unable to write to <fileName>" on failure, leaving the
// old file untouched.
void SaveWatchLists(const std::string& fileName, const WatchState& state);

// Writes one boolean key ("1"/"0") of section "Setting" at once ("Sound",
// "AutoUp", "AutoMin"). Raises like SaveWatchLists.
void WriteSwitch(const std::string& fileName, const std::string& key, bool value);

}  // namespace app
