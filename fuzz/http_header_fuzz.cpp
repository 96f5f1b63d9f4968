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
//   when the reference's does, and what was kept stays within the bound;
// - the lines are also read as browsers name them (up to the colon, any
//   case): DeclaredLength is the one decimal value of all Content-Length
//   lines, none when one is anything else or they disagree;
// - every Set-Cookie line goes into the cookie jar, for the page the
//   response answered (http://fuzz.example/dir/page): the Cookie line for it
//   holds no control character but the tab, and when every value is of a
//   plain form (name=value of letters, digits, "-" and "_", then attributes
//   of a small set, each after "; ") it is exactly the reference's: the
//   latest value of each name in the order they were set, none from a Secure
//   line, one with Max-Age=0 removed, none from a value longer than the
//   jar's byte bound, at most the jar's bound of the newest;
// - read again with DecodeContent, a body without Transfer-Encoding and
//   Content-Encoding is the bytes after the header up to the declared length
//   (all of them without one; none for a 204 or 304).

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "net/CookieJar.h"
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
    // The same lines as browsers name them.
    std::vector<std::string> Lengths;
    std::vector<std::string> SetCookies;
    bool Framed = false;  // a Transfer-Encoding line
    bool Coded = false;   // a Content-Encoding line
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
        if (const size_t colon = text.find(':'); colon != std::string::npos) {
            const std::string named = Upper(StripBlanks(text.substr(0, colon)));
            const std::string value = StripBlanks(text.substr(colon + 1));
            if (named == "CONTENT-LENGTH")
                ref.Lengths.push_back(value);
            else if (named == "SET-COOKIE")
                ref.SetCookies.push_back(value);
            ref.Framed = ref.Framed || named == "TRANSFER-ENCODING";
            ref.Coded = ref.Coded || named == "CONTENT-ENCODING";
        }
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

// The one value of the Content-Length lines: each holds decimal numbers
// (at most 18 digits) separated by commas, and all of them are equal.
std::optional<int64_t> DeclaredLength(const std::vector<std::string>& values) {
    std::optional<int64_t> length;
    for (const std::string& value : values) {
        size_t start = 0;
        for (;;) {
            const size_t comma = value.find(',', start);
            const std::string item = StripBlanks(value.substr(start, comma - start));
            if (item.empty() || item.size() > 18 ||
                item.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            const int64_t number = std::stoll(item);
            if (length && *length != number)
                return std::nullopt;
            length = number;
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    return length;
}

bool Plain(const std::string& text) {
    for (const char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    return true;
}

// The Cookie line a jar sends for the page after these Set-Cookie values, all
// from that plain http page; none when a value is not of the plain form.
std::optional<std::string> ExpectedCookies(const std::vector<std::string>& values) {
    std::vector<std::pair<std::string, std::string>> jar;
    for (const std::string& value : values) {
        // A value longer than the jar's bound is ignored as a whole.
        if (value.size() > net::TCookieJar::MaxCookieBytes)
            continue;
        std::vector<std::string> parts;
        for (size_t start = 0;;) {
            const size_t end = value.find("; ", start);
            parts.push_back(value.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        const size_t equals = parts[0].find('=');
        if (equals == 0 || equals == std::string::npos)
            return std::nullopt;
        const std::string name = parts[0].substr(0, equals);
        const std::string text = parts[0].substr(equals + 1);
        if (!Plain(name) || !Plain(text))
            return std::nullopt;
        bool secure = false;
        bool removed = false;
        for (size_t i = 1; i < parts.size(); ++i) {
            const std::string& attribute = parts[i];
            if (attribute == "Secure")
                secure = true;
            else if (attribute == "Max-Age=0" || attribute == "Max-Age=60")
                removed = attribute == "Max-Age=0";
            else if (attribute != "HttpOnly" && attribute != "SameSite=Lax" &&
                     attribute != "Path=/dir")
                return std::nullopt;
        }
        if (secure)
            continue;
        std::erase_if(jar, [&name](const auto& kept) { return kept.first == name; });
        if (removed)
            continue;
        jar.emplace_back(name, text);
        if (jar.size() > static_cast<size_t>(net::TCookieJar::MaxCookiesPerDomain))
            jar.erase(jar.begin());
    }
    std::string line;
    for (const auto& [name, text] : jar)
        line += (line.empty() ? "" : "; ") + name + "=" + text;
    return line;
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

const std::string PageUrl = "http://fuzz.example/dir/page";

class THeaderProbe : public net::TNMHTTP {
public:
    using TNMHTTP::CaptureBody;
    using TNMHTTP::SetCurrentURL;
};

THeaderProbe& Client() {
    static THeaderProbe* client = [] {
        fuzz::StartQt();
        auto* probe = new THeaderProbe();
        // The page the responses answer, for their cookies.
        probe->SetCurrentURL(PageUrl);
        probe->ParseURL();
        return probe;
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

    THeaderProbe& http = Client();
    http.CookieJar()->Clear();
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

    const std::optional<int64_t> declared = DeclaredLength(ref.Lengths);
    const auto shown = [](std::optional<int64_t> length) {
        return length ? std::to_string(*length) : std::string("none");
    };
    FUZZ_CHECK(http.DeclaredLength() == declared, shown(declared), shown(http.DeclaredLength()));

    const std::string cookies = http.CookieJar()->CookieLine(PageUrl);
    // A tab may stand in a header value; no other control character may.
    for (const char c : cookies)
        FUZZ_CHECK((static_cast<unsigned char>(c) >= 0x20 || c == '\t') && c != 0x7F, "", cookies);
    FUZZ_CHECK(http.CookieJar()->Count() <= net::TCookieJar::MaxCookies);
    if (const auto expected = ExpectedCookies(ref.SetCookies))
        FUZZ_CHECK(cookies == *expected, *expected, cookies);

    // Again with decoding: a plain body ends at its declared length.
    if (!Loaded(input, readEnd))
        return 0;
    http.SocketHandle = readEnd;
    http.DecodeContent = true;
    try {
        http.ReadResponseHeader();
        http.CaptureBody();
    } catch (const std::exception& error) {
        http.SocketHandle = own;
        http.DecodeContent = false;
        ::close(readEnd);
        fuzz::Fail("the decoding capture raised", "", error.what());
    }
    http.SocketHandle = own;
    http.DecodeContent = false;
    ::close(readEnd);
    if (ref.Framed || ref.Coded)
        return 0;
    std::string body = ref.Rest;
    if (ref.ReplyNumber == 204 || ref.ReplyNumber == 304)
        body.clear();
    else if (declared && static_cast<uint64_t>(*declared) < body.size())
        body.resize(static_cast<size_t>(*declared));
    FUZZ_CHECK(http.Body == body, body, http.Body);
    return 0;
}
