// The HTTP client's response-header reader, fed through the session's own line
// reader from a connected socket pair that holds the input and is then closed.
//
// Input: the bytes the server sends. An input that begins with the byte 0xFF is
// expanded first: the two bytes after it (little-endian) plus 65000 give a
// count, and the first "*" of the rest becomes that many "x", so lines longer
// than the session's 65,536-byte work buffer are reached without huge inputs.
//
// Properties, against a plain reference that splits the same bytes:
// - ReadResponseHeader raises nothing;
// - Header holds exactly the lines up to and including the blank line, and the
//   body capture that follows gets every byte after it (a last line without a
//   line feed is dropped, as the line reader drops a line cut by a close);
// - the reply code, Content-Length, Set-Cookie and Location values are those of
//   the reference;
// - with MaxHeaderLength set (1024 bytes, for inputs that are not expanded),
//   a header that would pass it ends with "Response header too long" exactly
//   when the reference's does, and what was kept stays within the bound.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "net/NMHttp.h"
#include "rtl/IntConv.h"

namespace {

constexpr size_t Chunk = net::WorkBufferChunk;

struct Reference {
    bool TooLong = false;  // the header passed the bound; Header holds the lines before
    std::string Header;
    std::string Rest;
    int16_t ReplyNumber = 0;
    int32_t BytesTotal = 0;
    std::string Cookie;
    std::optional<std::string> Location;
};

// One line as the session delivers it: through its line feed, or a piece of a
// whole work buffer, or (at a close before a line feed) nothing, with the
// partial line consumed.
std::string NextLine(std::string_view input, size_t& pos) {
    const std::string_view rest = input.substr(pos);
    const size_t lf = rest.substr(0, Chunk).find('\n');
    if (lf != std::string_view::npos) {
        pos += lf + 1;
        return std::string(rest.substr(0, lf + 1));
    }
    if (rest.size() >= Chunk) {
        pos += Chunk;
        return std::string(rest.substr(0, Chunk));
    }
    pos = input.size();
    return {};
}

std::string StripLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

std::string StripBlanks(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    size_t first = 0;
    while (first < text.size() && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    return text.substr(first);
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return text;
}

// The text of a header line from 1-based character `from` on, without its line end.
std::string From(const std::string& line, size_t from) {
    return line.size() >= from ? line.substr(from - 1) : std::string();
}

Reference ReadReference(std::string_view input, int32_t bound) {
    Reference ref;
    size_t pos = 0;
    const auto within = [&](const std::string& line) {
        ref.TooLong = bound >= 0 && ref.Header.size() + line.size() > static_cast<size_t>(bound);
        return !ref.TooLong;
    };
    const std::string status = NextLine(input, pos);
    if (!status.empty()) {
        if (!within(status))
            return ref;
        const std::string text = StripLineEnd(status);
        const size_t blank = text.find(' ');
        std::string field;
        if (blank != std::string::npos)
            field = text.substr(blank + 1, text.find(' ', blank + 1) - blank - 1);
        const auto code = rtl::TryStrToInt(field);
        ref.ReplyNumber =
            code && *code >= 0 && *code <= INT16_MAX ? static_cast<int16_t>(*code) : 0;
        ref.Header += status;
    }
    for (;;) {
        const std::string line = NextLine(input, pos);
        if (!within(line))
            return ref;
        ref.Header += line;
        const std::string text = StripLineEnd(line);
        const std::string upper = Upper(text);
        const std::string name = upper.substr(0, upper.find(' '));
        if (name == "SET-COOKIE:") {
            ref.Cookie = StripBlanks(From(text, 13));
        } else if (name == "LOCATION:") {
            ref.Location = StripBlanks(From(text, 11));
        } else if (name == "CONTENT-LENGTH:") {
            const std::string digits = From(upper, 17);
            int64_t length = 0;
            size_t i = digits.find_first_of("0123456789");
            for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i)
                length = std::min<int64_t>(int64_t{1} << 53, length * 10 + (digits[i] - '0'));
            ref.BytesTotal = length <= INT32_MAX ? static_cast<int32_t>(length) : 0;
        }
        if (line.empty() || line == "\n" || line == "\r\n")
            break;
    }
    ref.Rest = std::string(input.substr(pos));
    return ref;
}

std::string Expand(std::string input) {
    if (input.size() < 3 || static_cast<unsigned char>(input[0]) != 0xFF)
        return input;
    const size_t count = 65000 + static_cast<unsigned char>(input[1]) +
                         256 * static_cast<size_t>(static_cast<unsigned char>(input[2]));
    input.erase(0, 3);
    if (const size_t star = input.find('*'); star != std::string::npos)
        input.replace(star, 1, count, 'x');
    return input;
}

net::TNMHTTP& Client() {
    static net::TNMHTTP* client = [] {
        fuzz::StartQt();
        return new net::TNMHTTP();
    }();
    return *client;
}

// A socket pair whose far end already sent everything and closed: every read
// finds its bytes buffered, then the end of the stream.
bool Loaded(const std::string& bytes, int& readEnd) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        fuzz::Fail("socketpair");
    const int room = 1 << 20;
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    ::fcntl(pair[1], F_SETFL, O_NONBLOCK);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(pair[1], bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(pair[1]);
    if (done < bytes.size()) {
        ::close(pair[0]);
        return false;  // more than the pair buffers; not a meaningful response
    }
    readEnd = pair[0];
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = Expand(fuzz::Bytes(data, size));
    // Expanded inputs go unbounded, so their long lines are delivered whole;
    // the others meet a bound that a few of their lines can pass.
    const int32_t bound = input.size() == size ? 1024 : -1;
    int readEnd = -1;
    if (!Loaded(input, readEnd))
        return -1;

    net::TNMHTTP& http = Client();
    const std::string locationBefore = http.LastLocation();
    const net::TSocket own = http.SocketHandle;
    http.SocketHandle = readEnd;
    http.ReplyNumber = 0;
    http.BytesTotal = -7;
    http.MaxHeaderLength = bound;
    std::string rest;
    bool tooLong = false;
    try {
        try {
            http.ReadResponseHeader();
        } catch (const net::ESockError& error) {
            if (error.Message() != "Response header too long")
                throw;
            tooLong = true;
        }
        if (!tooLong)
            http.CaptureString(rest, -1);
    } catch (const std::exception& error) {
        http.SocketHandle = own;
        ::close(readEnd);
        fuzz::Fail("the header reader raised", "", error.what());
    }
    http.SocketHandle = own;
    ::close(readEnd);

    const Reference ref = ReadReference(input, bound);
    FUZZ_CHECK(tooLong == ref.TooLong, ref.TooLong ? "too long" : "", tooLong ? "too long" : "");
    FUZZ_CHECK(http.Header == ref.Header, ref.Header, http.Header);
    FUZZ_CHECK(bound < 0 || http.Header.size() <= static_cast<size_t>(bound));
    FUZZ_CHECK(http.ReplyNumber == ref.ReplyNumber, std::to_string(ref.ReplyNumber),
               std::to_string(http.ReplyNumber));
    if (tooLong)
        return 0;
    FUZZ_CHECK(rest == ref.Rest, ref.Rest, rest);
    FUZZ_CHECK(http.BytesTotal == ref.BytesTotal, std::to_string(ref.BytesTotal),
               std::to_string(http.BytesTotal));
    FUZZ_CHECK(http.ReceivedCookie() == ref.Cookie, ref.Cookie, http.ReceivedCookie());
    const std::string location = ref.Location.value_or(locationBefore);
    FUZZ_CHECK(http.LastLocation() == location, location, http.LastLocation());
    return 0;
}
