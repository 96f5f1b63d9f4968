#pragma once

// Turns a response body as sent into the page itself, following what the
// response announces: "Transfer-Encoding: chunked" framing is removed, and the
// codings of "Content-Encoding" (and any gzip or deflate transfer coding) are
// undone in the reverse order of their listing. gzip, x-gzip and deflate are
// understood; "identity" is nothing to undo; the first coding that is not
// understood (br, compress, ...) ends the undoing, and the bytes go on as they
// are at that point. Input arrives block by block; decoding stops early when
// the chunked body ended, a stage broke or the output's bound is reached.

#include <memory>
#include <string_view>
#include <vector>

#include "net/ByteSink.h"
#include "net/ChunkedDecoder.h"
#include "net/Inflater.h"

namespace net {

class TBodyDecoder {
public:
    TBodyDecoder(std::string_view TransferEncoding, std::string_view ContentEncoding,
                 TByteSink Output);

    // True when the body needs any decoding at all.
    bool Active() const { return FChunked || !FStages.empty(); }
    // Decodes one more block; false when no further input can add to the output.
    bool Put(const char* Data, size_t Size);
    // The input is over (the connection closed, or Put said enough).
    void Finish();

private:
    bool Pass(size_t Stage, const char* Data, size_t Size);
    bool Wanted() const;

    TByteSink FOutput;
    bool FChunked = false;
    TChunkedDecoder FChunks;
    std::vector<std::unique_ptr<TInflater>> FStages;  // in the order they undo
    std::vector<TByteSink> FSinks;                    // FSinks[i] feeds FStages[i]
    bool FFull = false;
};

}  // namespace net
