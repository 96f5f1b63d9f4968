// The form-URL encoder, checked by decoding its output.
//
// Properties: EncodeText never reports an error for any text; its output uses
// only letters, digits, "+" and "%" with two upper-case hex digits; a blank
// becomes "+", letters and digits stay, every other byte is escaped; decoding
// gives back the input byte for byte.

#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "net/NMURL.h"

namespace {

bool Alnum(unsigned char b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;  // lower-case digits are not what the encoder writes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::Bytes(data, size);
    net::TNMURL encoder;
    int errors = 0;
    encoder.OnError = [&errors](net::TNMURL&, const std::string&, const std::string&) { ++errors; };
    encoder.InputString = text;
    const std::string encoded = encoder.Encode();
    FUZZ_CHECK(errors == 0);
    FUZZ_CHECK(encoder.EncodeText(text) == encoded);

    std::string decoded;
    size_t escapes = 0;
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%') {
            const int high = i + 1 < encoded.size() ? HexValue(encoded[i + 1]) : -1;
            const int low = i + 2 < encoded.size() ? HexValue(encoded[i + 2]) : -1;
            FUZZ_CHECK(high >= 0 && low >= 0, "two upper-case hex digits", encoded.substr(i, 3));
            const auto byte = static_cast<unsigned char>(high * 16 + low);
            // A byte that may stand as itself is never escaped.
            FUZZ_CHECK(!Alnum(byte) && byte != ' ', "", encoded.substr(i, 3));
            decoded += static_cast<char>(byte);
            i += 2;
            ++escapes;
        } else {
            FUZZ_CHECK(Alnum(static_cast<unsigned char>(c)), "", std::string(1, c));
            decoded += c;
        }
    }
    FUZZ_CHECK(decoded == text, text, decoded);
    FUZZ_CHECK(encoded.size() == text.size() + 2 * escapes);
    return 0;
}
