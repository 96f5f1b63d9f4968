#pragma once

#include <string>

namespace rtl {

// Folder of the running executable, with a trailing '/'. Where the program's
// files live is decided from it by LocateFiles (rtl/FileFolders.h).
std::string ExeFolder();

}  // namespace rtl
