#pragma once

// Inflates a body sent with "Content-Encoding: gzip" (or x-gzip) or
// "deflate", as the bytes arrive, with zlib. gzip may hold several members one
// after the other; deflate may be zlib-wrapped or, as some servers send it and
// browsers accept it, raw. Output leaves in pieces of at most one block, so a
// small input that expands hugely (a decompression bomb) is never held whole:
// the sink's bound stops it.
//
// A stream that breaks keeps what was inflated before. A body that is plainly
// not compressed (no gzip magic; raw deflate that fails before it yields a
// byte) is passed on unchanged, as the text it most likely is.

#include <cstddef>
#include <memory>
#include <string>

#include "net/ByteSink.h"

namespace net {

class TInflater {
public:
    enum class TFormat { Gzip, Deflate };

    explicit TInflater(TFormat Format);
    ~TInflater();
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    TDecodeState Feed(const char* Data, size_t Size, const TByteSink& Output);
    // The input is over: a body too short to tell what it was goes on unchanged.
    TDecodeState Finish(const TByteSink& Output);
    TDecodeState State() const { return FState; }

private:
    enum class TMode { Sniffing, Inflating, BetweenMembers, PassThrough };
    struct TStream;

    TDecodeState Sniff(const TByteSink& Output);
    TDecodeState Inflate(const char* Data, size_t Size, const TByteSink& Output);
    TDecodeState PassOn(const char* Data, size_t Size, const TByteSink& Output);
    void Start(int WindowBits);

    TFormat FFormat;
    TMode FMode = TMode::Sniffing;
    TDecodeState FState = TDecodeState::Running;
    std::unique_ptr<TStream> FStream;
    // Input kept until the format is known, and for raw deflate until the
    // first byte came out (a failure before that means it was not deflate).
    std::string FKept;
    bool FRawDeflate = false;
    bool FProduced = false;
};

}  // namespace net
