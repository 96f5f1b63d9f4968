#pragma once

#include <string>

namespace app {

enum class WavResult {
    Played,
    FileMissing,  // no such file, or not a sound file that can be decoded
    NoDevice,     // the machine has no usable audio output
};

// Decodes a sound file and plays it on the default audio device, returning when
// the last sample has been played.
WavResult PlayWavSync(const std::string& path);

}  // namespace app
