#pragma once

#include <cstddef>
#include <functional>

namespace net {

// Where a decoding stage puts the bytes it produced. Returns false when it
// wants no more (its bound is reached), so the stage stops at once.
using TByteSink = std::function<bool(const char* Data, size_t Size)>;

// How a decoding stage stands after its input so far.
enum class TDecodeState {
    Running,  // wants more input
    Ended,    // the encoded data is complete; later bytes are not part of it
    Broken,   // the data cannot be decoded further; what came out before stays
    Full,     // the sink wanted no more
};

}  // namespace net
