// The chunked decoder fed block by block against a decoder of the whole input
// written out step by step. Input: the first byte is the block size (1..256),
// the rest the body as received.
//
// Properties: the streamed output and final state equal the whole-input
// decoding whatever the block size; the output is never longer than the input.

#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "net/ChunkedDecoder.h"

namespace {
using net::TDecodeState;

struct Result {
    std::string Text;
    TDecodeState State = TDecodeState::Running;
};

int Hex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

Result Whole(const std::string& in) {
    Result r;
    size_t pos = 0;
    for (;;) {
        const size_t lf = in.find('\n', pos);
        const size_t lineLength = (lf == std::string::npos ? in.size() : lf) - pos;
        if (lineLength > net::TChunkedDecoder::MaxSizeLine) {
            r.State = TDecodeState::Broken;
            return r;
        }
        if (lf == std::string::npos)
            return r;
        std::string line = in.substr(pos, lineLength);
        pos = lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = line.substr(0, line.find(';'));
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.erase(0, 1);
        unsigned __int128 size = 0;
        bool good = !line.empty();
        for (const char c : line) {
            if (Hex(c) < 0) {
                good = false;
                break;
            }
            size = size * 16 + static_cast<unsigned>(Hex(c));
            if (size >= (static_cast<unsigned __int128>(1) << 63)) {
                good = false;
                break;
            }
        }
        if (!good) {
            r.State = TDecodeState::Broken;
            return r;
        }
        if (size == 0) {
            r.State = TDecodeState::Ended;
            return r;
        }
        const size_t take = static_cast<size_t>(
            std::min<unsigned __int128>(size, static_cast<unsigned __int128>(in.size() - pos)));
        r.Text += in.substr(pos, take);
        pos += take;
        if (take < size || pos == in.size())
            return r;
        if (in[pos] == '\r' && ++pos == in.size())
            return r;
        if (in[pos] != '\n') {
            r.State = TDecodeState::Broken;
            return r;
        }
        ++pos;
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return -1;
    const size_t block = static_cast<size_t>(data[0]) + 1;
    const std::string body = fuzz::Bytes(data + 1, size - 1);
    net::TChunkedDecoder decoder;
    Result streamed;
    for (size_t at = 0; at < body.size(); at += block)
        streamed.State = decoder.Feed(body.data() + at, std::min(block, body.size() - at),
                                      [&](const char* d, size_t n) {
                                          streamed.Text.append(d, n);
                                          return true;
                                      });
    const Result whole = Whole(body);
    FUZZ_CHECK(streamed.Text == whole.Text, whole.Text, streamed.Text);
    FUZZ_CHECK(streamed.State == whole.State);
    FUZZ_CHECK(streamed.Text.size() <= body.size());
    return 0;
}
