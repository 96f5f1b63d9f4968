// The HTTP client's URL splitting, against a reference written from the rules
// of the splitting step by step, followed by the request header it leads to.
//
// Input: one selector byte (bit 0: the caller's Port is 0 instead of 8080;
// bit 1: no previous Host), then the URL.
//
// Properties:
// - ParseURL raises only the client's own errors (ESockError) or the
//   conversion error of a port that is not a number, exactly when the
//   reference does, with the same message;
// - otherwise Host, Port, RequestPath and CurrentURL are the reference's, the
//   path begins with "/" and ends the URL, the port is a valid TCP port;
// - a bracketed host is an IPv6 address by the grammar of RFC 3986 (checked
//   here group by group, not by the system's address parser), without a zone
//   ID, followed by nothing or by ":" and a decimal port;
// - BuildHeader then sends that path in its request line and, in its Host
//   line, the bare host, or an IPv6 address in brackets with the port unless
//   it is 80; no header line holds a line break;
// - the URL is also a redirect's Location, resolved against
//   http://a/b/c/d;p?q: it is refused with a reason, or it gives an http or
//   https URL of printable ASCII without a fragment that the splitting above
//   takes as it is (host and path); a plain relative reference (no scheme,
//   no authority, no "%", "[", "]" or "\") gives exactly what RFC 3986's
//   resolution gives, written out step by step (5.2.2, 5.2.3, 5.2.4).

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz/FuzzSupport.h"
#include "net/NMHttp.h"
#include "net/UrlResolve.h"
#include "rtl/Exceptions.h"
#include "rtl/IntConv.h"

namespace {

class TUrlProbe : public net::TNMHTTP {
public:
    using TNMHTTP::SetCurrentURL;
};

TUrlProbe& Client() {
    static TUrlProbe* client = [] {
        fuzz::StartQt();
        return new TUrlProbe();
    }();
    return *client;
}

// Piece n (from 1) of text cut at every c; adjacent separators give empty pieces.
std::string Piece(const std::string& text, char c, int n) {
    int index = 1;
    std::string piece;
    for (const char ch : text) {
        if (ch == c) {
            if (index == n)
                return piece;
            ++index;
            continue;
        }
        if (index == n)
            piece += ch;
    }
    return index == n ? piece : std::string();
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return text;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// dec-octet "." dec-octet "." dec-octet "." dec-octet, without leading zeros.
bool IsDottedQuad(const std::string& text) {
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        size_t digits = 0;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[i - digits] == '0'))
            return false;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.')
                return false;
            ++i;
        }
    }
    return i == text.size();
}

// Counts the 16-bit pieces of a ":"-separated run of h16 (1 to 4 hex digits),
// the last of which may be a dotted quad when MayEndInQuad; -1 when malformed.
int Pieces(const std::string& run, bool mayEndInQuad) {
    if (run.empty())
        return 0;
    int count = 0;
    size_t start = 0;
    for (;;) {
        const size_t colon = run.find(':', start);
        const std::string piece =
            run.substr(start, colon == std::string::npos ? colon : colon - start);
        const bool last = colon == std::string::npos;
        if (last && mayEndInQuad && piece.find('.') != std::string::npos)
            return IsDottedQuad(piece) ? count + 2 : -1;
        if (piece.empty() || piece.size() > 4)
            return -1;
        for (const char c : piece)
            if (!IsHex(c))
                return -1;
        ++count;
        if (last)
            return count;
        start = colon + 1;
    }
}

// IPv6address of RFC 3986: eight pieces, or fewer with one "::" standing for
// at least one zero piece.
bool IsIPv6(const std::string& text) {
    const size_t gap = text.find("::");
    if (gap == std::string::npos) {
        return Pieces(text, true) == 8;
    }
    const std::string head = text.substr(0, gap);
    const std::string tail = text.substr(gap + 2);
    if (tail.find("::") != std::string::npos || tail.starts_with(':') || head.ends_with(':'))
        return false;
    const int front = Pieces(head, false);
    const int back = Pieces(tail, true);
    return front >= 0 && back >= 0 && front + back <= 7;
}

struct Outcome {
    enum Kind { Ok, SockError, ConvertError } Result = Ok;
    std::string Message;
    std::string Host;
    int32_t Port = 0;
    std::string Path;
    std::string Url;
};

Outcome Refused(Outcome::Kind kind, std::string message = {}) {
    Outcome out;
    out.Result = kind;
    out.Message = std::move(message);
    return out;
}

Outcome Split(std::string url, std::string host, int32_t port) {
    Outcome out;
    if (url.empty())
        return Refused(Outcome::SockError, "Empty URL");
    for (const char c : url)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return Refused(Outcome::SockError, "Invalid character in URL");
    if (port == 0)
        port = 80;

    std::string path;
    const bool slashes = url.find("//") != std::string::npos;
    if (slashes) {
        size_t third = std::string::npos;
        for (size_t i = 0, seen = 0; i < url.size(); ++i)
            if (url[i] == '/' && ++seen == 3) {
                third = i;
                break;
            }
        // A third "/" that ends the URL leaves the path empty, as none does.
        if (third != std::string::npos && third + 1 < url.size())
            path = url.substr(third);
    } else if (url.find('/') != std::string::npos) {
        path = url.substr(url.find('/'));
    }

    if (url.find(':') != std::string::npos) {
        const std::string scheme = Lower(Piece(url, ':', 1));
        if (scheme == "https")
            return Refused(Outcome::SockError, "HTTP Secure Socket is not supported");
        port = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80;
    }

    std::string hostText;
    if (slashes)
        hostText = Piece(url, '/', 3);
    else if (url[0] != '/')
        hostText = Piece(url, '/', 1);
    if (hostText.starts_with('[')) {
        const size_t close = hostText.find(']');
        if (close == std::string::npos)
            return Refused(Outcome::SockError,
                           "IPv6 address in URL lacks its closing bracket: " + hostText);
        const std::string inside = hostText.substr(1, close - 1);
        if (inside.find('%') != std::string::npos)
            return Refused(Outcome::SockError,
                           "IPv6 zone IDs are not supported in URLs: " + hostText);
        if (!IsIPv6(inside))
            return Refused(Outcome::SockError, "Invalid IPv6 address in URL: " + hostText);
        const std::string rest = hostText.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return Refused(Outcome::SockError,
                               "Invalid text after IPv6 address in URL: " + hostText);
            int64_t number = 0;
            bool valid = rest.size() > 1;
            for (size_t i = 1; i < rest.size() && valid; ++i) {
                valid = rest[i] >= '0' && rest[i] <= '9';
                number = std::min<int64_t>(number * 10 + (rest[i] - '0'), 1000000);
            }
            if (!valid || number < 1 || number > 65535)
                return Refused(Outcome::SockError, "Invalid port number in URL: " + hostText);
            port = static_cast<int32_t>(number);
        }
        hostText = inside;
    } else if (IsIPv6(hostText)) {
        return Refused(Outcome::SockError, "IPv6 address in URL needs brackets: " + hostText);
    } else if (const size_t colon = hostText.find(':'); colon != std::string::npos) {
        const auto number = rtl::TryStrToInt(Piece(hostText, ':', 2));
        if (!number)
            return Refused(Outcome::ConvertError);
        if (*number < 1 || *number > 65535)
            return Refused(Outcome::SockError,
                           "Invalid port number in URL: " + rtl::IntToStr(*number));
        port = *number;
        hostText.resize(colon);
    }
    if (!hostText.empty())
        host = hostText;
    if (path.empty()) {
        path = "/";
        url += "/";
    }
    out.Host = host;
    out.Port = port;
    out.Path = path;
    out.Url = url;
    return out;
}

// RFC 3986 5.2.4, as written there: the input buffer loses its dot segments
// one rule at a time.
std::string RemoveDotSegments(std::string in) {
    std::string out;
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.erase(0, 3);
        } else if (in.starts_with("./")) {
            in.erase(0, 2);
        } else if (in.starts_with("/./")) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../") || in == "/..") {
            in = in == "/.." ? "/" : in.substr(3);
            const size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            const size_t next = in.find('/', 1);
            out += in.substr(0, next);
            in.erase(0, next == std::string::npos ? in.size() : next);
        }
    }
    return out;
}

constexpr const char* BaseUrl = "http://a/b/c/d;p?q";

// The resolution of a reference that names neither a scheme nor an
// authority against BaseUrl (5.2.2, with 5.2.3's merge), fragment dropped;
// none for any other reference.
std::optional<std::string> ResolvePlain(std::string ref) {
    if (ref.find_first_of("%[]\\") != std::string::npos || ref.starts_with("//"))
        return std::nullopt;
    for (const char c : ref)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F ||
            std::string_view("\"<>^`{|}").find(c) != std::string_view::npos)
            return std::nullopt;
    ref = ref.substr(0, ref.find('#'));
    const size_t question = ref.find('?');
    const std::string path = ref.substr(0, question);
    // "g:h" names a scheme, and a first segment with ":" is no relative path.
    if (path.substr(0, path.find('/')).find(':') != std::string::npos)
        return std::nullopt;
    const std::optional<std::string> query =
        question == std::string::npos ? std::nullopt : std::optional(ref.substr(question + 1));
    std::string target;
    if (path.empty())
        target = "/b/c/d;p";
    else if (path[0] == '/')
        target = RemoveDotSegments(path);
    else
        target = RemoveDotSegments("/b/c/" + path);
    const std::string targetQuery = path.empty() && !query ? std::string("q") : query.value_or("");
    const bool hasQuery = (path.empty() && !query) || query;
    return "http://a" + target + (hasQuery ? "?" + targetQuery : "");
}

void CheckResolution(TUrlProbe& http, const std::string& location) {
    const net::TResolvedUrl next = net::ResolveLocation(BaseUrl, location);
    FUZZ_CHECK(next.Url.empty() != next.Reason.empty(), next.Reason, next.Url);
    if (const auto expected = ResolvePlain(location))
        FUZZ_CHECK(next.Url == *expected, *expected, next.Url.empty() ? next.Reason : next.Url);
    if (next.Url.empty())
        return;
    FUZZ_CHECK(next.Url.starts_with("http://") || next.Url.starts_with("https://"), "", next.Url);
    for (const char c : next.Url)
        FUZZ_CHECK(c > 0x20 && c < 0x7F && c != '#', "", next.Url);
    const size_t hostStart = next.Url.find("//") + 2;
    const size_t pathStart = next.Url.find('/', hostStart);
    FUZZ_CHECK(pathStart != std::string::npos, "a path", next.Url);
    std::string host = next.Url.substr(hostStart, pathStart - hostStart);
    FUZZ_CHECK(host.find_first_of("?#@") == std::string::npos, "", host);
    // An IPv6 address keeps its colons inside its brackets.
    if (host.starts_with('[')) {
        const size_t close = host.find(']');
        FUZZ_CHECK(close != std::string::npos, "a closing bracket", host);
        host = host.substr(1, close - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    const std::string path = next.Url.substr(pathStart);
    http.Port = 80;
    http.SecureEnabled = true;
    http.SetCurrentURL(next.Url);
    try {
        http.ParseURL();
    } catch (const std::exception& error) {
        http.SecureEnabled = false;
        fuzz::Fail("a resolved Location was not taken", next.Url, error.what());
    }
    http.SecureEnabled = false;
    FUZZ_CHECK(http.Host == host, host, http.Host);
    FUZZ_CHECK(http.RequestPath() == path, path, http.RequestPath());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096)
        return -1;
    TUrlProbe& http = Client();
    const uint8_t selector = data[0];
    const std::string url = fuzz::Bytes(data + 1, size - 1);
    CheckResolution(http, url);
    http.Port = (selector & 1) ? 0 : 8080;
    http.Host = (selector & 2) ? "" : "previous.example";
    const Outcome expected = Split(url, http.Host, http.Port);

    http.SetCurrentURL(url);
    Outcome actual;
    try {
        http.ParseURL();
    } catch (const net::ESockError& error) {
        actual = Refused(Outcome::SockError, error.Message());
    } catch (const rtl::EConvertError&) {
        actual = Refused(Outcome::ConvertError);
    } catch (const std::exception& error) {
        fuzz::Fail("ParseURL raised a foreign exception", "", error.what());
    }
    FUZZ_CHECK(actual.Result == expected.Result, expected.Message, actual.Message);
    if (actual.Result != Outcome::Ok) {
        FUZZ_CHECK(actual.Message == expected.Message, expected.Message, actual.Message);
        return 0;
    }

    FUZZ_CHECK(http.Host == expected.Host, expected.Host, http.Host);
    FUZZ_CHECK(http.Port == expected.Port, std::to_string(expected.Port),
               std::to_string(http.Port));
    FUZZ_CHECK(http.RequestPath() == expected.Path, expected.Path, http.RequestPath());
    FUZZ_CHECK(http.CurrentURL() == expected.Url, expected.Url, http.CurrentURL());
    FUZZ_CHECK(http.RequestPath().starts_with("/"), "", http.RequestPath());
    FUZZ_CHECK(http.CurrentURL().ends_with(http.RequestPath()), http.RequestPath(),
               http.CurrentURL());
    FUZZ_CHECK(http.Port >= 1 && http.Port <= 65535, "", std::to_string(http.Port));

    try {
        http.BuildHeader();
    } catch (const std::exception& error) {
        fuzz::Fail("BuildHeader raised", "", error.what());
    }
    const net::TExStringList& lines = http.HeaderList();
    FUZZ_CHECK(lines.Count() > 0);
    const std::string requestLine = "GET " + http.RequestPath() + " HTTP/1.0";
    FUZZ_CHECK(lines[0] == requestLine, requestLine, lines[0]);
    const int hostLine = lines.IndexOfName("Host");
    if (http.Host.empty()) {
        FUZZ_CHECK(hostLine == -1, "", lines[hostLine]);
    } else {
        const std::string value =
            IsIPv6(http.Host)
                ? "[" + http.Host + "]" + (http.Port == 80 ? "" : ":" + std::to_string(http.Port))
                : http.Host;
        FUZZ_CHECK(hostLine >= 0 && lines[hostLine] == "Host: " + value, value,
                   hostLine >= 0 ? lines[hostLine] : "");
    }
    for (int i = 0; i < lines.Count(); ++i)
        FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos, "", lines[i]);
    return 0;
}
