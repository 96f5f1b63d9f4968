#pragma once

#include <cstdint>

namespace testsupport {

// Figures of the running process, for checks that a hostile peer or a long run
// leaves the program's resources bounded.

// Resident memory (VmRSS) and its high-water mark (VmHWM), in bytes.
int64_t ResidentBytes();
int64_t PeakResidentBytes();
// Heap bytes currently handed out by the allocator. Under AddressSanitizer this
// excludes its quarantine of freed blocks, which the resident figures include.
int64_t HeapInUse();
// Entries of /proc/self/fd (the listing's own descriptor not counted).
int OpenFileDescriptors();

}  // namespace testsupport
