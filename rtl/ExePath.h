#pragma once

#include <string>

namespace rtl {

// Folder of the running executable, with a trailing '/'. The program keeps its
// settings, prompt file and sound beside itself.
std::string ExeFolder();

// Full path of a file in the executable's folder.
std::string FileBesideExe(const std::string& fileName);

}  // namespace rtl
