#include "net/NMURL.h"

#include <exception>

namespace net {

namespace {
bool KeptAsIs(unsigned char b) noexcept {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}
}  // namespace

std::string TNMURL::EncodeText(const std::string& data) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    try {
        std::string result;
        result.reserve(data.size() * 3);
        for (const char c : data) {
            const auto b = static_cast<unsigned char>(c);
            if (b == ' ') {
                result += '+';
            } else if (KeptAsIs(b)) {
                result += c;
            } else {
                result += '%';
                result += Hex[b >> 4];
                result += Hex[b & 15];
            }
        }
        return result;
    } catch (const std::exception& error) {
        // A half-encoded text would be worse than the original: hand back the input.
        if (OnError) {
            try {
                OnError(*this, "Error during encode", error.what());
            } catch (...) {
                // The caller was promised a result, not an exception.
            }
        }
        return data;
    }
}

}  // namespace net
