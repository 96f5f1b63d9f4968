#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace net {

// The least of a byte stream that the encoder needs: a position within a size,
// reads from and writes at the position. Errors are raised as rtl::EInOutError.
class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Position() const = 0;
    virtual void SetPosition(int64_t position) = 0;
    virtual int64_t Size() const = 0;
    // Reads up to count bytes at the position and advances it; returns the count read.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes count bytes at the position (growing the stream) and advances it.
    virtual void Write(const void* buffer, size_t count) = 0;
};

// A stream over bytes held in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : FData(std::move(data)) {}

    int64_t Position() const override { return static_cast<int64_t>(FPosition); }
    void SetPosition(int64_t position) override;
    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;

    const std::string& DataString() const noexcept { return FData; }

private:
    std::string FData;
    size_t FPosition = 0;
};

enum class UUMethods : uint8_t { uuMime = 0, uuCode = 1 };

// Encodes the bytes of one stream as lines of base64 (uuMime) or uuencode body
// lines (uuCode) into another; 45 input bytes per line, each line ending CR LF.
class TNMUUProcessor {
public:
    using TNotifyEvent = std::function<void(TNMUUProcessor& sender)>;

    UUMethods Method = UUMethods::uuMime;
    TNotifyEvent OnBeginEncode;
    TNotifyEvent OnEndEncode;
    // Part of the component's interface; no decoding exists, so nothing raises them.
    TNotifyEvent OnBeginDecode;
    TNotifyEvent OnEndDecode;

    // Not owned; both must be set before Encode.
    TStream* InputStream = nullptr;
    TStream* OutputStream = nullptr;

    // Encodes all of InputStream into OutputStream. The output is left at its start
    // and OnEndEncode raised on every way out, also when a stream fails.
    void Encode();

private:
    const char* FAlphabet = nullptr;
};

// Convenience for callers that hold the bytes in memory: the whole encoded text.
std::string EncodeBytes(const std::string& data, UUMethods method);

}  // namespace net
