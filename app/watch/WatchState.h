#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace app {

// Highest slot index of each list: loops run from 0 to this bound inclusive.
inline constexpr int MaxTargetIndex = 99;
inline constexpr int MaxSiteIndex = 99;

// A watched nickname; an empty Name marks a free slot. Selected is 1 when the
// nickname is watched; the watch cycle treats any non-zero value as watched.
struct TargetSlot {
    std::string Name;
    int32_t Selected = 0;
};

// A monitored chat-room page; an empty Name marks a free slot.
struct SiteSlot {
    std::string Name;
    std::string Url;
    int32_t Selected = 0;
};

// The watcher's whole state. One instance lives in main for the whole run and
// is handed to the main window by reference. All text is GB18030 bytes.
// The slots in use are contiguous from index 0.
struct WatchState {
    int32_t IntervalSeconds = 0;
    std::array<TargetSlot, MaxTargetIndex + 1> Targets;
    std::array<SiteSlot, MaxSiteIndex + 1> Sites;
    bool SoundOn = false;
    int32_t SiteCursor = 0;
    bool SavedRunState = false;
};

}  // namespace app
