#include "net/NMUUE.h"

#include <cstring>
#include <limits>

#include "rtl/Exceptions.h"

namespace net {

namespace {
constexpr char MimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// The grave accent stands for 0 so that no line carries a trailing blank.
constexpr char UUAlphabet[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
static_assert(sizeof(MimeAlphabet) == 65 && sizeof(UUAlphabet) == 65);

constexpr size_t BytesPerLine = 45;
}  // namespace

void TMemoryStream::SetPosition(int64_t position) {
    if (position < 0)
        throw rtl::EInOutError("Stream position out of range");
    FPosition = static_cast<size_t>(position);
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (FPosition >= FData.size())
        return 0;
    const size_t n = std::min(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0)
        return;
    if (FPosition + count > FData.size())
        FData.resize(FPosition + count);
    std::memcpy(FData.data() + FPosition, buffer, count);
    FPosition += count;
}

void TNMUUProcessor::Encode() {
    if (InputStream == nullptr || OutputStream == nullptr)
        throw rtl::EInOutError("Encode needs an input and an output stream");
    InputStream->SetPosition(0);
    if (OnBeginEncode)
        OnBeginEncode(*this);

    // The output is rewound and the end reported however the loop ends.
    struct CleanUp {
        TNMUUProcessor& Self;
        ~CleanUp() noexcept(false) {
            const bool unwinding = std::uncaught_exceptions() > 0;
            try {
                Self.OutputStream->SetPosition(0);
                if (Self.OnEndEncode)
                    Self.OnEndEncode(Self);
            } catch (...) {
                // The first failure is the one the caller needs to see.
                if (!unwinding)
                    throw;
            }
        }
    } cleanUp{*this};

    FAlphabet = Method == UUMethods::uuCode ? UUAlphabet : MimeAlphabet;
    const bool mime = Method == UUMethods::uuMime;
    const char* a = FAlphabet;
    unsigned char block[BytesPerLine];
    char line[2 + BytesPerLine / 3 * 4 + 2];

    while (InputStream->Position() < InputStream->Size()) {
        const size_t n = InputStream->Read(block, BytesPerLine);
        if (n == 0)
            throw rtl::EInOutError("Stream read error");
        size_t length = 0;
        if (!mime)
            line[length++] = a[n % 64];
        size_t i = 0;
        for (; i + 3 <= n; i += 3) {
            const unsigned b0 = block[i], b1 = block[i + 1], b2 = block[i + 2];
            line[length++] = a[b0 >> 2];
            line[length++] = a[((b0 << 4) | (b1 >> 4)) & 63];
            line[length++] = a[((b1 << 2) | (b2 >> 6)) & 63];
            line[length++] = a[b2 & 63];
        }
        if (n - i == 1) {
            const unsigned b0 = block[i];
            line[length++] = a[b0 >> 2];
            line[length++] = a[(b0 << 4) & 48];
            if (mime) {
                line[length++] = '=';
                line[length++] = '=';
            }
        } else if (n - i == 2) {
            const unsigned b0 = block[i], b1 = block[i + 1];
            line[length++] = a[b0 >> 2];
            line[length++] = a[((b0 << 4) & 48) | (b1 >> 4)];
            line[length++] = a[(b1 << 2) & 60];
            if (mime)
                line[length++] = '=';
        }
        line[length++] = '\r';
        line[length++] = '\n';
        OutputStream->Write(line, length);
    }
    if (!mime) {
        const char last[] = {a[0], '\r', '\n'};
        OutputStream->Write(last, sizeof(last));
    }
}

std::string EncodeBytes(const std::string& data, UUMethods method) {
    TMemoryStream input(data);
    TMemoryStream output;
    TNMUUProcessor processor;
    processor.Method = method;
    processor.InputStream = &input;
    processor.OutputStream = &output;
    processor.Encode();
    return output.DataString();
}

}  // namespace net
