#include "net/ChunkedDecoder.h"

#include <algorithm>
#include <cstring>

#include "rtl/IntConv.h"

namespace net {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
}  // namespace

bool TChunkedDecoder::TakeSizeLine() {
    // FLine holds the line without its LF; a CR before it is layout.
    std::string_view line(FLine);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (const size_t semicolon = line.find(';'); semicolon != std::string_view::npos)
        line = line.substr(0, semicolon);
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    if (line.empty())
        return false;
    uint64_t size = 0;
    for (const char c : line) {
        const int digit = rtl::HexDigitValue(c);
        // A size beyond 63 bits is no size any server could send.
        if (digit < 0 || size > (uint64_t{1} << 59) - 1)
            return false;
        size = size * 16 + static_cast<uint64_t>(digit);
    }
    FRemaining = size;
    return true;
}

TDecodeState TChunkedDecoder::Feed(const char* Data, size_t Size, const TByteSink& Output) {
    const char* end = Data + Size;
    while (Data < end && FState == TDecodeState::Running) {
        switch (FStep) {
            case TStep::SizeLine: {
                const auto* lf = static_cast<const char*>(std::memchr(Data, '\n', end - Data));
                const char* stop = lf ? lf : end;
                if (FLine.size() + (stop - Data) > MaxSizeLine) {
                    FState = TDecodeState::Broken;
                    break;
                }
                FLine.append(Data, stop);
                Data = stop;
                if (!lf)
                    break;
                ++Data;
                if (!TakeSizeLine()) {
                    FState = TDecodeState::Broken;
                    break;
                }
                FLine.clear();
                if (FRemaining == 0)
                    FState = TDecodeState::Ended;
                else
                    FStep = TStep::Data;
                break;
            }
            case TStep::Data: {
                const size_t take = static_cast<size_t>(
                    std::min<uint64_t>(FRemaining, static_cast<uint64_t>(end - Data)));
                FRemaining -= take;
                if (!Output(Data, take)) {
                    FState = TDecodeState::Full;
                    break;
                }
                Data += take;
                if (FRemaining == 0)
                    FStep = TStep::DataLineEnd;
                break;
            }
            case TStep::DataLineEnd:
                // The data must be followed by CR LF or LF; anything else means
                // the sizes are wrong and the rest cannot be framed.
                if (*Data == '\r') {
                    FStep = TStep::DataLineFeed;
                    ++Data;
                    break;
                }
                [[fallthrough]];
            case TStep::DataLineFeed:
                if (*Data != '\n') {
                    FState = TDecodeState::Broken;
                    break;
                }
                ++Data;
                FStep = TStep::SizeLine;
                break;
        }
    }
    return FState;
}

}  // namespace net
