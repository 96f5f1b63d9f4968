#pragma once

// Compressed bodies for the decoding tests, made with zlib itself.
#include <zlib.h>

#include <stdexcept>
#include <string>

namespace testsupport {

enum class Wrapper { Gzip, Zlib, Raw };

inline std::string Compress(const std::string& data, Wrapper wrapper = Wrapper::Gzip) {
    z_stream z{};
    const int bits = wrapper == Wrapper::Gzip   ? 16 + MAX_WBITS
                     : wrapper == Wrapper::Zlib ? MAX_WBITS
                                                : -MAX_WBITS;
    if (deflateInit2(&z, 9, Z_DEFLATED, bits, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

// The body in chunks of `size` bytes, with the final zero chunk.
inline std::string Chunked(const std::string& body, size_t size) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t at = 0; at < body.size(); at += size) {
        const size_t n = std::min(size, body.size() - at);
        std::string hex;
        for (size_t v = n; v > 0; v /= 16)
            hex.insert(hex.begin(), digits[v % 16]);
        out += hex + "\r\n" + body.substr(at, n) + "\r\n";
    }
    return out + "0\r\n\r\n";
}

}  // namespace testsupport
