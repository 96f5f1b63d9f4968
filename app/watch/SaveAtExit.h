#pragma once

#include <string>

#include "app/watch/WatchState.h"

namespace app {

// When the display server goes away (it crashed, or a session ended without
// asking its programs), Qt ends the process with exit(1) from inside the event
// loop: the main window's close, which saves the lists, never runs, and every
// change since the start would be lost. Armed, an exit that has not passed
// through that close writes the lists to settingsFile on its way out; a
// failure is told on stderr, as no window can show it any more.
// state must outlive the process's exit handlers (a static).
void ArmSaveAtExit(const std::string& settingsFile, const WatchState& state);

// The window's close has saved the lists: the exit writes nothing more.
void DisarmSaveAtExit();

}  // namespace app
