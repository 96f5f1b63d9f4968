#include "net/NMHttp.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "net/BodyDecoder.h"
#include "net/CookieJar.h"
#include "net/NMURL.h"
#include "net/NMUUE.h"
#include "net/UrlHost.h"
#include "net/UrlResolve.h"
#include "rtl/IntConv.h"

namespace net {

namespace {
// No single response may make the client reserve more than this up front,
// whatever Content-Length a server announces.
constexpr int64_t ReserveCeiling = int64_t{1} << 30;

constexpr size_t SendBlock = WorkBufferChunk;

// The body file of Link and Unlink.
const std::string SendDatName = "Send.dat";

std::string UpperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string WithoutLineEnd(const std::string& line) {
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r'))
        --end;
    return line.substr(0, end);
}

// Blanks around a header value are layout, not part of the value: a Location
// of " /x" must not become a host named " ".
std::string TrimBlanks(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    return text.substr(first, last - first);
}

bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

bool IsTokenChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// A body length as Content-Length writes it: decimal digits and nothing else.
// Eighteen digits cannot overflow, and no body comes near them.
std::optional<int64_t> StrictLength(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int64_t length = 0;
    for (const char c : text)
        length = length * 10 + (c - '0');
    return length;
}

// Redirects whose Location names the next URL. 300..302 always did; 303, 307
// and 308 carry a Location just the same, and repeating the old URL for them
// could only loop.
bool FollowsLocation(int code) {
    return (code >= 300 && code <= 303) || code == 307 || code == 308;
}
}  // namespace

TNMHTTP::TNMHTTP()
    : FHeaderInfo(std::make_unique<THeaderInfo>()),
      FOwnJar(std::make_unique<TCookieJar>()),
      FCookieJar(FOwnJar.get()) {}

TNMHTTP::~TNMHTTP() {
    // No event may reach a handler from here on: the objects it touches may
    // already be gone.
    BeginDestroying();
    // The session's destructor only reaches its own Abort; ours also marks the
    // wait as done, so a request still waiting ends at once.
    Abort();
}

void TNMHTTP::Abort() {
    EventDone = true;
    Cancel();
}

void TNMHTTP::SetCookieJar(TCookieJar* Jar) {
    FCookieJar = Jar ? Jar : FOwnJar.get();
}

std::optional<int64_t> TNMHTTP::DeclaredLength() const {
    if (FLengthInvalid)
        return std::nullopt;
    return FDeclaredLength;
}

// --- Request operations ----------------------------------------------------

void TNMHTTP::CheckIdle() const {
    // Closing on the way out of a refused nested request would cut the running
    // one short, and its body would look complete; its state stays untouched.
    if (FBusy || Connected)
        throw ESockError("Already connected");
}

void TNMHTTP::Run(CmdType command, const std::string& URL, const std::string* sendData,
                  const std::string* extraURI) {
    CheckIdle();
    if (sendData)
        FSendData = *sendData;
    if (extraURI)
        FExtraURI = *extraURI;
    FCommand = command;
    FCurrentURL = URL;
    Execute();
}

void TNMHTTP::Options(const std::string& URL) {
    Run(CmdType::CmdOPTIONS, URL);
}

void TNMHTTP::Get(const std::string& URL) {
    Run(CmdType::CmdGET, URL);
}

void TNMHTTP::Post(const std::string& URL, const std::string& PostData) {
    if (OutputFileMode) {
        Run(CmdType::CmdPOST, URL, &PostData);
        return;
    }
    TNMURL encoder;
    encoder.InputString = PostData;
    const std::string encoded = encoder.Encode();
    Run(CmdType::CmdPOST, URL, &encoded);
}

void TNMHTTP::Put(const std::string& URL, const std::string& Data) {
    Run(CmdType::CmdPUT, URL, &Data);
}

void TNMHTTP::Head(const std::string& URL) {
    Run(CmdType::CmdHEAD, URL);
}

void TNMHTTP::Patch(const std::string& URL, const std::string& Data) {
    Run(CmdType::CmdPATCH, URL, &Data);
}

void TNMHTTP::Delete(const std::string& URL) {
    Run(CmdType::CmdDELETE, URL);
}

void TNMHTTP::Trace(const std::string& URL, const std::string& Data) {
    Run(CmdType::CmdTRACE, URL, &Data);
}

void TNMHTTP::Copy(const std::string& URL, const std::string& URIHeader) {
    Run(CmdType::CmdCOPY, URL, nullptr, &URIHeader);
}

void TNMHTTP::Move(const std::string& URL, const std::string& URIHeader) {
    Run(CmdType::CmdMOVE, URL, nullptr, &URIHeader);
}

void TNMHTTP::Link(const std::string& URL, const std::string& LinkValue) {
    Run(CmdType::CmdLINK, URL, &SendDatName, &LinkValue);
}

void TNMHTTP::Unlink(const std::string& URL, const std::string& LinkValue) {
    Run(CmdType::CmdUNLINK, URL, &SendDatName, &LinkValue);
}

void TNMHTTP::CustomMethod(const std::string& URL, const std::string& Data) {
    Run(CmdType::CmdCUSTOM, URL, &Data);
}

// --- Request cycle -----------------------------------------------------------

void TNMHTTP::Execute() {
    CheckIdle();
    FBusy = true;
    struct BusyGuard {
        bool& Flag;
        ~BusyGuard() { Flag = false; }
    } busy{FBusy};
    int32_t repeats = 0;
    for (;;) {
        ParseURL();
        BuildHeader();
        if (OnAboutToSend)
            OnAboutToSend(*this);

        // Why the Location of this pass cannot be followed, if it cannot.
        std::string refused;
        try {
            Connect();
            SendRequest();
            ReplyNumber = 0;
            ReadResponseHeader();
            CaptureBody();
            const int code = ReplyNumber;
            if (code < 299) {
                if (OnSuccess)
                    OnSuccess(FCommand);
                ReportStatus(2, "Transaction Completed");
            } else if (code <= 399) {
                if (FollowsLocation(code))
                    if (const std::string next = NextUrl(refused); !next.empty())
                        FCurrentURL = next;
            } else if (OnFailure) {
                OnFailure(FCommand);
            }
        } catch (...) {
            // The caller needs the first failure, not one from closing.
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }
        Disconnect();

        const int code = ReplyNumber;
        if (code >= 300 && code <= 398) {
            bool handled = false;
            if (OnRedirect)
                OnRedirect(handled);
            if (handled)
                return;
            // Only now: a caller that handles redirects itself gets the reply
            // whatever its Location holds.
            if (!refused.empty())
                throw ESockError(refused);
        }
        if (code == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(*this);
        if (code < 299 || code > 399)
            return;
        // A server that keeps redirecting (to itself, or in a circle) must not
        // hold the caller forever.
        if (++repeats > MaxRedirects)
            throw ESockError("Too many redirects");
    }
}

std::string TNMHTTP::PassUrl() const {
    std::string url = UseTls ? "https://" : "http://";
    url += BracketedHost(Host);
    if (Port != (UseTls ? 443 : 80))
        url += ":" + rtl::IntToStr(Port);
    return url + FRequestPath;
}

std::string TNMHTTP::NextUrl(std::string& Reason) const {
    // An empty Location, or only a fragment, names this very URL again: it
    // counts as none, and the same URL is asked again.
    if (!FLocationSeen || FLastLocation.empty() || FLastLocation[0] == '#')
        return {};
    const TResolvedUrl next = ResolveLocation(PassUrl(), FLastLocation);
    Reason = next.Reason;
    return next.Url;
}

void TNMHTTP::ParseURL() {
    const std::string& url = FCurrentURL;
    if (url.empty())
        throw ESockError("Empty URL");
    // A line break or NUL in the URL would end the request line early and let
    // the rest of the URL inject header lines of its own.
    if (std::any_of(url.begin(), url.end(), IsControl))
        throw ESockError("Invalid character in URL");
    if (Port == 0)
        Port = 80;

    const bool hasSlashes = Contains(url, "//");
    if (hasSlashes) {
        const auto third = static_cast<size_t>(FindNthChar(url, '/', 3));
        FRequestPath = third <= url.size() ? url.substr(third - 1) : std::string();
    } else if (const size_t slash = url.find('/'); slash != std::string::npos) {
        FRequestPath = url.substr(slash);
    } else {
        FRequestPath.clear();
    }

    // A URL that names a scheme or a host decides whether the request goes
    // over TLS; a path alone (a relative Location) stays with the scheme,
    // host and port of the page it came from.
    if (!SecureEnabled)
        UseTls = false;
    if (url.find(':') != std::string::npos) {
        const std::string scheme = LowerCase(ExtractField(url, ':', 1));
        UseTls = false;
        if (scheme == "gopher") {
            Port = 70;
        } else if (scheme == "ftp") {
            Port = 21;
        } else if (scheme == "https") {
            if (!SecureEnabled)
                throw ESockError("HTTP Secure Socket is not supported");
            // A proxy would need a tunnel, which this client does not open;
            // sending the request to the proxy in clear text would be worse.
            if (!Proxy.empty())
                throw ESockError("HTTPS through a proxy is not supported");
            Port = 443;
            UseTls = true;
        } else {
            Port = 80;
        }
    }

    std::string hostText;
    if (hasSlashes)
        hostText = ExtractField(url, '/', 3);
    else if (url[0] != '/')
        hostText = ExtractField(url, '/', 1);
    if (!hostText.empty() && url.find(':') == std::string::npos)
        UseTls = false;

    const TUrlHost written = SplitUrlHost(hostText);
    if (written.Port != 0)
        Port = written.Port;
    if (!written.Host.empty())
        Host = written.Host;

    if (FRequestPath.empty()) {
        FRequestPath.assign(1, '/');
        FCurrentURL.push_back('/');
    }
}

std::string TNMHTTP::MethodWord() const {
    switch (FCommand) {
        case CmdType::CmdGET:
            return "GET ";
        case CmdType::CmdOPTIONS:
            return "OPTIONS ";
        case CmdType::CmdHEAD:
            return "HEAD ";
        case CmdType::CmdPOST:
            return "POST ";
        case CmdType::CmdPUT:
            return "PUT ";
        case CmdType::CmdPATCH:
            return "PATCH ";
        case CmdType::CmdCOPY:
            return "COPY ";
        case CmdType::CmdMOVE:
            return "MOVE ";
        case CmdType::CmdDELETE:
            return "DELETE ";
        case CmdType::CmdLINK:
            return "LINK ";
        case CmdType::CmdUNLINK:
            return "UNLINK ";
        case CmdType::CmdTRACE:
            return "TRACE ";
        case CmdType::CmdCUSTOM:
            break;
    }
    const std::string& word = CustomMethodWord;
    if (word.empty() || !std::all_of(word.begin(), word.end(), IsTokenChar))
        throw ESockError("Invalid custom method word: \"" + word + "\"");
    return word + " ";
}

std::string TNMHTTP::HostLineValue() const {
    if (!IsIPv6Address(Host))
        return Host;
    // The brackets keep the address's colons from reading as a port; the
    // port follows unless it is the scheme's own, as browsers send it.
    const int32_t schemePort = UseTls ? 443 : 80;
    return "[" + Host + "]" + (Port == schemePort ? "" : ":" + rtl::IntToStr(Port));
}

bool TNMHTTP::SendsBody() const {
    switch (FCommand) {
        case CmdType::CmdPOST:
        case CmdType::CmdPUT:
        case CmdType::CmdPATCH:
        case CmdType::CmdTRACE:
        case CmdType::CmdCUSTOM:
            return true;
        // "Send.dat" names a file; in string mode there is nothing to send.
        case CmdType::CmdLINK:
        case CmdType::CmdUNLINK:
            return OutputFileMode;
        default:
            return false;
    }
}

int64_t TNMHTTP::RequestBodyLength() const {
    if (!OutputFileMode)
        return static_cast<int64_t>(FSendData.size());
    std::ifstream file(FSendData, std::ios::binary | std::ios::ate);
    if (!file) {
        std::error_code error;
        throw rtl::EInOutError(std::filesystem::exists(FSendData, error) ? "File access denied"
                                                                         : "File not found");
    }
    return static_cast<int64_t>(file.tellg());
}

void TNMHTTP::BuildHeader() {
    FHeaderList.Clear();
    const std::string& target = Proxy.empty() ? FRequestPath : FCurrentURL;
    FHeaderList.Add(MethodWord() + target + " HTTP/1.0");
    const std::string host = HostLineValue();
    if (!Proxy.empty()) {
        FHeaderList.Add("Proxy-Connection: Keep-Alive");
        FHeaderList.Add("Host: " + host);
    }
    FHeaderList.SetValue("Host", host);
    FHeaderList.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    FHeaderList.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");

    const THeaderInfo& info = *FHeaderInfo;
    if (!info.LocalMailAddress.empty())
        FHeaderList.SetValue("User-Agent", info.LocalMailAddress);
    if (!info.LocalProgram.empty())
        FHeaderList.SetValue("From", info.LocalProgram);
    // The caller's own cookie text, then those of the jar for this URL: one
    // Cookie line, as servers expect.
    std::string cookie = info.Cookie;
    if (const std::string kept = FCookieJar->CookieLine(PassUrl()); !kept.empty())
        cookie += (cookie.empty() ? "" : "; ") + kept;
    if (!cookie.empty())
        FHeaderList.SetValue("Cookie", cookie);
    if (!info.Referer.empty())
        FHeaderList.SetValue("Referer", info.Referer);
    if (!info.UserId.empty() && !info.Password.empty()) {
        std::string credentials = EncodeBytes(info.UserId + ":" + info.Password, UUMethods::uuMime);
        // Long credentials encode to several lines; a header value is one line.
        std::erase_if(credentials, [](char c) { return c == '\r' || c == '\n'; });
        FHeaderList.SetValue("Authorization", "Basic " + credentials);
    }
    FHeaderList.Add("Content-type: application/x-www-form-urlencoded");
    if (FCommand == CmdType::CmdCOPY || FCommand == CmdType::CmdMOVE)
        FHeaderList.Add("URI-header: " + FExtraURI);
    if (FCommand == CmdType::CmdLINK || FCommand == CmdType::CmdUNLINK)
        FHeaderList.Add("Link: " + FExtraURI);
    if (SendsBody())
        FHeaderList.Add("Content-Length: " + rtl::IntToStr(RequestBodyLength()));

    // Values come from the caller and from earlier responses (a carried-over
    // cookie); a line break inside one would smuggle in header lines.
    for (int i = 0; i < FHeaderList.Count(); ++i) {
        const std::string& line = FHeaderList[i];
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return c == '\r' || c == '\n' || c == '\0'; }))
            throw ESockError("Invalid character in request header: " + LineName(line));
    }
}

void TNMHTTP::SendText(const std::string& text) {
    // The session's Write stops at a NUL and takes less than one work buffer;
    // anything else goes out in blocks of at most one buffer, byte for byte.
    if (text.size() < SendBlock && text.find('\0') == std::string::npos) {
        Write(text);
        return;
    }
    for (size_t offset = 0; offset < text.size(); offset += SendBlock)
        SendBytes(text.data() + offset, std::min(SendBlock, text.size() - offset));
}

void TNMHTTP::SendRequest() {
    SendText(FHeaderList.Text());
    Writeln("");
    if (!SendsBody())
        return;
    if (OutputFileMode)
        SendFile(FSendData);
    else
        SendText(FSendData);
}

void TNMHTTP::TakeHeaderValue(const std::string& line) {
    const std::string value = WithoutLineEnd(line);
    const std::string upper = UpperCase(value);
    const std::string name = ExtractField(upper, ' ', 1);
    // A name with nothing after it ("Location:" alone) has an empty value.
    const auto after = [&value](size_t from) { return value.substr(std::min(from, value.size())); };
    if (name == "SET-COOKIE:") {
        FReceivedCookie = TrimBlanks(after(12));
    } else if (name == "LOCATION:") {
        FLastLocation = TrimBlanks(after(10));
        FLocationSeen = true;
    } else if (name == "CONTENT-LENGTH:") {
        const std::string rest = upper.substr(std::min<size_t>(16, upper.size()));
        size_t i = 0;
        while (i < rest.size() && !(rest[i] >= '0' && rest[i] <= '9'))
            ++i;
        // Far beyond any real body; keeps the sum from overflowing.
        constexpr int64_t Cap = int64_t{1} << 53;
        int64_t length = 0;
        for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i)
            length = std::min(Cap, length * 10 + (rest[i] - '0'));
        FContentLength = length;
        BytesTotal = length <= INT32_MAX ? static_cast<int32_t>(length) : 0;
    }
}

void TNMHTTP::TakeCodingValue(const std::string& line) {
    // These names are matched as browsers match them: up to the colon, in any
    // case, with or without a blank after the colon.
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return;
    const std::string name = UpperCase(TrimBlanks(line.substr(0, colon)));
    const std::string value = TrimBlanks(WithoutLineEnd(line.substr(colon + 1)));
    const auto join = [&value](std::string& list) { list += list.empty() ? value : "," + value; };
    if (name == "TRANSFER-ENCODING")
        join(FTransferEncoding);
    else if (name == "CONTENT-ENCODING")
        join(FContentEncoding);
    else if (name == "CONTENT-TYPE")
        FContentType = value;
    else if (name == "CONTENT-LENGTH")
        TakeLengthValue(value);
    else if (name == "SET-COOKIE" && !FResponseUrl.empty())
        FCookieJar->TakeSetCookie(value, FResponseUrl);
}

void TNMHTTP::TakeLengthValue(const std::string& Value) {
    // One number, or copies of it joined by commas (as proxies join repeated
    // lines); anything else makes the length unknown, not a guess.
    size_t start = 0;
    for (;;) {
        const size_t comma = Value.find(',', start);
        const auto length = StrictLength(TrimBlanks(Value.substr(start, comma - start)));
        if (!length || (FDeclaredLength && *FDeclaredLength != *length))
            FLengthInvalid = true;
        else
            FDeclaredLength = length;
        if (comma == std::string::npos)
            return;
        start = comma + 1;
    }
}

void TNMHTTP::ReadHeaderLines(const std::function<void(const std::string&)>& Keep) {
    // Checked before a line is kept, so the kept header never passes the bound.
    size_t length = 0;
    const auto within = [this, &length](const std::string& line) {
        length += line.size();
        if (MaxHeaderLength >= 0 && length > static_cast<size_t>(MaxHeaderLength))
            throw ESockError("Response header too long");
    };
    std::string line;
    ReadLn(line);
    if (!line.empty()) {
        within(line);
        // The line end is not part of the code: "HTTP/1.0 200" alone is a status.
        const auto code = rtl::TryStrToInt(ExtractField(WithoutLineEnd(line), ' ', 2));
        ReplyNumber = code && *code >= 0 && *code <= INT16_MAX ? static_cast<int16_t>(*code) : 0;
        Keep(line);
    }
    for (;;) {
        ReadLn(line);
        within(line);
        TakeHeaderValue(line);
        TakeCodingValue(line);
        Keep(line);
        if (line.empty() || line == "\n" || line == "\r\n")
            break;
    }
}

void TNMHTTP::ReadResponseHeader() {
    BytesTotal = 0;
    FContentLength = -1;
    FDeclaredLength.reset();
    FLengthInvalid = false;
    FResponseUrl = Host.empty() ? std::string() : PassUrl();
    FReceivedCookie.clear();
    FLocationSeen = false;
    FTransferEncoding.clear();
    FContentEncoding.clear();
    FContentType.clear();
    if (!OutputFileMode) {
        Header.clear();
        ReadHeaderLines([this](const std::string& line) { Header += line; });
        return;
    }
    std::ofstream file(Header, std::ios::binary | std::ios::trunc);
    if (!file)
        throw rtl::EInOutError("Cannot create file " + Header);
    ReadHeaderLines([&file](const std::string& line) { file << line; });
    file.close();
    if (!file)
        throw rtl::EInOutError("Cannot write file " + Header);
}

std::optional<int64_t> TNMHTTP::WireLength() const {
    // These replies have no body, whatever their header says.
    if (FCommand == CmdType::CmdHEAD || ReplyNumber == 204 || ReplyNumber == 304)
        return 0;
    // A transfer coding frames the body itself (or leaves its end to the
    // close); a length beside it does not count.
    if (!FTransferEncoding.empty())
        return std::nullopt;
    return DeclaredLength();
}

void TNMHTTP::CaptureDecoded(std::optional<int64_t> WireBytes) {
    // The length counts the body as sent, before any inflating; once it is
    // reached, waiting for more could only wait for the server's time-out.
    int64_t left = WireBytes.value_or(-1);
    const auto capture = [this, &left](TBodyDecoder& decoder) {
        if (left == 0) {
            BytesRecvd = 0;
            return;
        }
        CaptureBlocks([&decoder, &left](const char* data, size_t size) {
            if (left >= 0) {
                size = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(size)));
                left -= static_cast<int64_t>(size);
            }
            return decoder.Put(data, size) && left != 0;
        });
        decoder.Finish();
    };
    if (InputFileMode) {
        std::ofstream file(Body, std::ios::binary | std::ios::trunc);
        if (!file)
            throw rtl::EInOutError("Cannot create file " + Body);
        TBodyDecoder decoder(FTransferEncoding, FContentEncoding,
                             [&file](const char* data, size_t size) {
                                 file.write(data, static_cast<std::streamsize>(size));
                                 return static_cast<bool>(file);
                             });
        capture(decoder);
        file.close();
        if (!file)
            throw rtl::EInOutError("Cannot write file " + Body);
        return;
    }
    std::string().swap(Body);
    // The decoded body is bounded like the raw one: a small compressed body
    // that inflates without end stops at the bound.
    const size_t bound = MaxBodyLength >= 0 ? static_cast<size_t>(MaxBodyLength) : SIZE_MAX;
    TBodyDecoder decoder(FTransferEncoding, FContentEncoding,
                         [this, bound](const char* data, size_t size) {
                             Body.append(data, std::min(size, bound - Body.size()));
                             return Body.size() < bound;
                         });
    capture(decoder);
}

void TNMHTTP::CaptureBody() {
    // The body bytes to read, when the response says how many.
    std::optional<int64_t> length;
    if (DecodeContent) {
        length = WireLength();
        // A plain body into a string is read below, where its room is
        // reserved and mapped ahead of the data.
        if (TBodyDecoder(FTransferEncoding, FContentEncoding, {}).Active() ||
            (length && (InputFileMode || *length > INT32_MAX))) {
            CaptureDecoded(length);
            return;
        }
    }
    if (InputFileMode) {
        CaptureFile(Body);
        return;
    }
    int64_t limit = MaxBodyLength;
    if (length)
        limit = limit < 0 ? *length : std::min<int64_t>(limit, *length);
    // Let go of the previous page first, then make room for the announced
    // length at once, so a large body is never copied by repeated growth.
    std::string().swap(Body);
    if (FContentLength > 0 && FCommand != CmdType::CmdHEAD) {
        int64_t room = std::min(FContentLength, ReserveCeiling);
        if (limit >= 0)
            room = std::min(room, limit);
        Body.reserve(static_cast<size_t>(room));
    }
    CaptureString(Body, static_cast<int32_t>(limit));
    // The capture checks the bound between chunks; the caller's bound is exact.
    if (limit >= 0 && Body.size() > static_cast<size_t>(limit))
        Body.resize(static_cast<size_t>(limit));
}

}  // namespace net
