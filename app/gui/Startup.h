#pragma once

#include <optional>

#include "rtl/FileFolders.h"

namespace app {

class TSingleInstance;

// Steps of the program's start that decide whether a window opens at all. Each
// failure is shown in a message box and on stderr, so a start from a desktop
// menu (no terminal) and one from a shell both say what went wrong.

// Where the files live, with the settings folder made ready. Empty when the
// folder cannot be found, created or written: nothing could be saved, so the
// program must not run.
std::optional<rtl::FileFolders> PrepareFileFolders();

// Takes the settings folder for this process, or hands the start over to the
// copy that already runs on it. Empty when this process goes on to open its
// window; otherwise the exit status it must end with (0 after a hand-over).
std::optional<int> ClaimFolderOrHandOver(TSingleInstance& instance,
                                         const rtl::FileFolders& folders);

}  // namespace app
