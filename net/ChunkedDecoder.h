#pragma once

// Undoes "Transfer-Encoding: chunked" as the bytes arrive: size lines in hex
// (with optional extensions after ";"), the chunk data, a line end after each
// chunk, a zero-size chunk at the end. Line ends may be CR LF or LF alone, and
// blanks around the size are allowed, as browsers allow them. Framing that
// cannot be right (a size that is not hex or does not fit in 63 bits, an
// over-long size line, data not followed by a line end) breaks the decoding:
// what was decoded before stays, nothing after it is guessed at. The zero-size
// chunk ends the body; trailer lines after it are not read.

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/ByteSink.h"

namespace net {

class TChunkedDecoder {
public:
    // Longest size line accepted (size, extensions and line end).
    static constexpr size_t MaxSizeLine = 4096;

    // Decodes Size more bytes, passing chunk data to Output. Once the state is
    // no longer Running, further input is ignored.
    TDecodeState Feed(const char* Data, size_t Size, const TByteSink& Output);
    TDecodeState State() const { return FState; }

private:
    enum class TStep { SizeLine, Data, DataLineEnd, DataLineFeed };
    bool TakeSizeLine();

    TDecodeState FState = TDecodeState::Running;
    TStep FStep = TStep::SizeLine;
    std::string FLine;
    uint64_t FRemaining = 0;
};

}  // namespace net
