#include "net/Inflater.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

namespace net {

namespace {
// Raw deflate input is kept for the pass-through fallback only this far.
constexpr size_t KeepLimit = 64 * 1024;
constexpr size_t OutBlock = 64 * 1024;

bool IsZlibHeader(unsigned char cmf, unsigned char flg) {
    return (cmf & 0x0F) == Z_DEFLATED && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
}
}  // namespace

struct TInflater::TStream {
    z_stream Z{};
    bool Open = false;
    std::array<unsigned char, OutBlock> Out{};
    ~TStream() {
        if (Open)
            inflateEnd(&Z);
    }
};

TInflater::TInflater(TFormat Format) : FFormat(Format), FStream(std::make_unique<TStream>()) {}

TInflater::~TInflater() = default;

void TInflater::Start(int WindowBits) {
    if (FStream->Open) {
        inflateEnd(&FStream->Z);
        FStream->Open = false;
    }
    FStream->Z = z_stream{};
    if (inflateInit2(&FStream->Z, WindowBits) != Z_OK) {
        FState = TDecodeState::Broken;
        return;
    }
    FStream->Open = true;
}

TDecodeState TInflater::PassOn(const char* Data, size_t Size, const TByteSink& Output) {
    if (Size > 0 && !Output(Data, Size))
        FState = TDecodeState::Full;
    return FState;
}

TDecodeState TInflater::Sniff(const TByteSink& Output) {
    // Two bytes tell gzip's magic and a zlib header apart from anything else.
    if (FKept.size() < 2)
        return FState;
    const auto b0 = static_cast<unsigned char>(FKept[0]);
    const auto b1 = static_cast<unsigned char>(FKept[1]);
    std::string kept;
    kept.swap(FKept);
    if (FFormat == TFormat::Gzip) {
        if (b0 != 0x1F || b1 != 0x8B) {
            FMode = TMode::PassThrough;
            return PassOn(kept.data(), kept.size(), Output);
        }
        Start(16 + MAX_WBITS);
    } else if (IsZlibHeader(b0, b1)) {
        Start(MAX_WBITS);
    } else {
        FRawDeflate = true;
        Start(-MAX_WBITS);
    }
    if (FState != TDecodeState::Running)
        return FState;
    FMode = TMode::Inflating;
    return Inflate(kept.data(), kept.size(), Output);
}

TDecodeState TInflater::Inflate(const char* Data, size_t Size, const TByteSink& Output) {
    z_stream& z = FStream->Z;
    if (FRawDeflate && !FProduced && FKept.size() < KeepLimit)
        FKept.append(Data, std::min(Size, KeepLimit - FKept.size()));
    while (Size > 0 && FState == TDecodeState::Running) {
        if (FMode == TMode::BetweenMembers) {
            // Another gzip member may follow; anything else is trailing junk,
            // which browsers ignore too.
            const size_t take = std::min<size_t>(Size, 2 - FKept.size());
            FKept.append(Data, take);
            Data += take;
            Size -= take;
            if (FKept.size() < 2)
                return FState;
            if (FKept != "\x1F\x8B") {
                FState = TDecodeState::Ended;
                return FState;
            }
            FKept.clear();
            inflateReset(&z);
            FMode = TMode::Inflating;
            static const std::array<unsigned char, 2> Magic{0x1F, 0x8B};
            z.next_in = const_cast<Bytef*>(Magic.data());
            z.avail_in = 2;
            z.next_out = FStream->Out.data();
            z.avail_out = static_cast<uInt>(FStream->Out.size());
            inflate(&z, Z_NO_FLUSH);  // the magic only starts the member's header
            continue;
        }
        const uInt chunk =
            static_cast<uInt>(std::min<size_t>(Size, std::numeric_limits<uInt>::max()));
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data));
        z.avail_in = chunk;
        int result = Z_OK;
        do {
            z.next_out = FStream->Out.data();
            z.avail_out = static_cast<uInt>(FStream->Out.size());
            result = inflate(&z, Z_NO_FLUSH);
            const size_t produced = FStream->Out.size() - z.avail_out;
            if (produced > 0) {
                FProduced = true;
                FKept.clear();
                if (!Output(reinterpret_cast<const char*>(FStream->Out.data()), produced)) {
                    FState = TDecodeState::Full;
                    return FState;
                }
            }
        } while (result == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
        const size_t used = chunk - z.avail_in;
        Data += used;
        Size -= used;
        if (result == Z_STREAM_END) {
            if (FFormat != TFormat::Gzip) {
                FState = TDecodeState::Ended;
                return FState;
            }
            FMode = TMode::BetweenMembers;
            FKept.clear();
            continue;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            // Not deflate after all, if it never gave a byte: pass it on.
            if (FRawDeflate && !FProduced && FKept.size() < KeepLimit) {
                FMode = TMode::PassThrough;
                std::string kept;
                kept.swap(FKept);
                return PassOn(kept.data(), kept.size(), Output);
            }
            FState = TDecodeState::Broken;
            return FState;
        }
        if (used == 0 && z.avail_in > 0) {
            FState = TDecodeState::Broken;  // no progress: cannot happen with valid zlib
            return FState;
        }
    }
    return FState;
}

TDecodeState TInflater::Feed(const char* Data, size_t Size, const TByteSink& Output) {
    if (FState != TDecodeState::Running || Size == 0)
        return FState;
    switch (FMode) {
        case TMode::PassThrough:
            return PassOn(Data, Size, Output);
        case TMode::Sniffing: {
            const size_t take = std::min<size_t>(Size, 2 - FKept.size());
            FKept.append(Data, take);
            Sniff(Output);
            if (FState != TDecodeState::Running)
                return FState;
            return Feed(Data + take, Size - take, Output);
        }
        case TMode::Inflating:
        case TMode::BetweenMembers:
            return Inflate(Data, Size, Output);
    }
    return FState;
}

TDecodeState TInflater::Finish(const TByteSink& Output) {
    if (FState == TDecodeState::Running && FMode == TMode::Sniffing && !FKept.empty()) {
        FMode = TMode::PassThrough;
        std::string kept;
        kept.swap(FKept);
        PassOn(kept.data(), kept.size(), Output);
    }
    return FState;
}

}  // namespace net
