// The base64 / uuencode stream encoder, checked by decoding its output.
//
// Input: one selector byte, then the bytes to encode.
//   bit 0      uuencode instead of base64
//   bits 1-6   when not 0: the input stream hands out at most that many bytes
//              per read (a stream that returns short reads)
//   bit 7      the input stream fails on its second read
//
// Properties:
// - every line ends in CR LF and carries at most 45 input bytes (exactly the
//   bytes one read returned); base64 lines use the RFC 2045 alphabet with
//   "=" padding only at the end, uuencode lines start with their length
//   character and the output ends with the grave-accent line;
// - decoding all lines gives the input; with whole reads the output is what
//   EncodeBytes gives;
// - OnBeginEncode and OnEndEncode are raised once each and the output stream is
//   left at its start, also when the input stream fails (whose error reaches
//   the caller).

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "net/NMUUE.h"
#include "rtl/Exceptions.h"

namespace {

constexpr char Base64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

class TTrickleStream : public net::TMemoryStream {
public:
    TTrickleStream(std::string data, size_t most, bool failing)
        : TMemoryStream(std::move(data)), FMost(most), FFailing(failing) {}

    size_t Read(void* buffer, size_t count) override {
        if (FFailing && ++FReads == 2)
            throw rtl::EInOutError("Stream read error");
        const size_t n = TMemoryStream::Read(buffer, FMost ? std::min(count, FMost) : count);
        FChunks.push_back(n);
        return n;
    }
    const std::vector<size_t>& Chunks() const { return FChunks; }

private:
    size_t FMost;
    bool FFailing;
    int FReads = 0;
    std::vector<size_t> FChunks;
};

int Base64Value(char c) {
    const char* found = std::find(Base64, Base64 + 64, c);
    return found == Base64 + 64 ? -1 : static_cast<int>(found - Base64);
}

int UUValue(char c) {
    if (c == '`')
        return 0;
    return c >= '!' && c <= '_' ? c - ' ' : -1;
}

// The bytes of one base64 line of n input bytes.
std::string DecodeBase64(const std::string& line, size_t n) {
    FUZZ_CHECK(line.size() == (n + 2) / 3 * 4, std::to_string((n + 2) / 3 * 4), line);
    std::string bytes;
    for (size_t i = 0; i < line.size(); i += 4) {
        const bool last = i + 4 == line.size();
        const size_t group = last && n % 3 ? n % 3 : 3;
        int v[4];
        for (size_t k = 0; k < 4; ++k) {
            if (k > group) {
                FUZZ_CHECK(line[i + k] == '=', "=", line.substr(i, 4));
                v[k] = 0;
            } else {
                v[k] = Base64Value(line[i + k]);
                FUZZ_CHECK(v[k] >= 0, "base64", line.substr(i, 4));
            }
        }
        const uint32_t bits = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) |
                              (uint32_t(v[2]) << 6) | uint32_t(v[3]);
        // Bits below the last byte are zero, so the text has one decoding only.
        FUZZ_CHECK((bits & ((1u << (8 * (3 - group))) - 1)) == 0, "", line.substr(i, 4));
        for (size_t k = 0; k < group; ++k)
            bytes += static_cast<char>((bits >> (16 - 8 * k)) & 0xFF);
    }
    return bytes;
}

std::string DecodeUU(const std::string& line, size_t n) {
    FUZZ_CHECK(!line.empty() && UUValue(line[0]) == static_cast<int>(n % 64), "length", line);
    const std::string body = line.substr(1);
    // Whole groups of four; the last group is cut to the characters its bytes need.
    const size_t length = n / 3 * 4 + (n % 3 ? n % 3 + 1 : 0);
    FUZZ_CHECK(body.size() == length, std::to_string(length), body);
    std::string bytes;
    for (size_t i = 0; i < body.size(); i += 4) {
        const size_t chars = std::min<size_t>(4, body.size() - i);
        uint32_t bits = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int v = k < chars ? UUValue(body[i + k]) : 0;
            FUZZ_CHECK(v >= 0, "uuencode", body.substr(i, 4));
            bits = (bits << 6) | static_cast<uint32_t>(v);
        }
        const size_t group = chars - 1;
        FUZZ_CHECK((bits & ((1u << (8 * (3 - group))) - 1)) == 0, "", body.substr(i, 4));
        for (size_t k = 0; k < group; ++k)
            bytes += static_cast<char>((bits >> (16 - 8 * k)) & 0xFF);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return -1;
    const uint8_t selector = data[0];
    const std::string input = fuzz::Bytes(data + 1, size - 1);
    const bool uu = selector & 1;
    const size_t most = (selector >> 1) & 63;
    const bool failing = selector & 0x80;

    TTrickleStream source(input, most, failing);
    net::TMemoryStream sink;
    net::TNMUUProcessor processor;
    processor.Method = uu ? net::UUMethods::uuCode : net::UUMethods::uuMime;
    processor.InputStream = &source;
    processor.OutputStream = &sink;
    int begins = 0;
    int ends = 0;
    processor.OnBeginEncode = [&](net::TNMUUProcessor&) { ++begins; };
    processor.OnEndEncode = [&](net::TNMUUProcessor&) {
        ++ends;
        FUZZ_CHECK(sink.Position() == 0);
    };
    bool raised = false;
    try {
        processor.Encode();
    } catch (const rtl::EInOutError&) {
        raised = true;
    }
    FUZZ_CHECK(begins == 1 && ends == 1, "1 1",
               std::to_string(begins) + " " + std::to_string(ends));
    FUZZ_CHECK(sink.Position() == 0);
    // The second read comes only when the first did not take the whole input.
    const size_t firstRead = most ? std::min<size_t>(most, 45) : 45;
    const bool secondRead = failing && input.size() > firstRead;
    FUZZ_CHECK(raised == secondRead);
    if (raised)
        return 0;

    const std::string& out = sink.DataString();
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < out.size();) {
        const size_t end = out.find("\r\n", pos);
        FUZZ_CHECK(end != std::string::npos, "CR LF", out.substr(pos));
        lines.push_back(out.substr(pos, end - pos));
        pos = end + 2;
    }
    if (uu) {
        FUZZ_CHECK(!lines.empty() && lines.back() == "`", "`", lines.empty() ? "" : lines.back());
        lines.pop_back();
    }
    const std::vector<size_t>& chunks = source.Chunks();
    // Each read that returned bytes makes one line; the last read returns the rest.
    std::vector<size_t> sizes;
    for (const size_t n : chunks)
        if (n > 0)
            sizes.push_back(n);
    FUZZ_CHECK(lines.size() == sizes.size(), std::to_string(sizes.size()),
               std::to_string(lines.size()));
    std::string decoded;
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(sizes[i] <= 45);
        decoded += uu ? DecodeUU(lines[i], sizes[i]) : DecodeBase64(lines[i], sizes[i]);
    }
    FUZZ_CHECK(decoded == input, input, decoded);
    if (most == 0 || most >= 45) {
        const std::string whole =
            net::EncodeBytes(input, uu ? net::UUMethods::uuCode : net::UUMethods::uuMime);
        FUZZ_CHECK(whole == out, whole, out);
    }
    return 0;
}
