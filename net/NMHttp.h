#pragma once

// TNMHTTP: an HTTP/1.0 client on top of the socket session. One operation per
// request method; each opens a fresh connection, sends the request, reads the
// status line and header, captures the body until the server closes, follows
// redirects, keeps the cookies of each site in a jar and reports the outcome
// through events.
// HTTP error replies are events, not exceptions; session failures pass through.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/NMExtstr.h"
#include "net/Psock.h"

namespace net {

class TCookieJar;

// Values for optional request header lines; empty values send no line.
class THeaderInfo {
public:
    std::string LocalMailAddress;  // sent as the User-Agent line
    std::string LocalProgram;      // sent as the From line
    std::string Cookie;            // sent as given, before the jar's cookies
    std::string Referer;
    std::string UserId;
    std::string Password;
};

// The kind of the current request.
enum class CmdType : uint8_t {
    CmdGET = 0,
    CmdOPTIONS = 1,
    CmdHEAD = 2,
    CmdPOST = 3,
    CmdPUT = 4,
    CmdPATCH = 5,
    CmdCOPY = 6,
    CmdMOVE = 7,
    CmdDELETE = 8,
    CmdLINK = 9,
    CmdUNLINK = 10,
    CmdTRACE = 11,
    CmdCUSTOM = 12,
};

class TNMHTTP : public TPowersock {
public:
    using TResultEvent = std::function<void(CmdType Cmd)>;

    TNMHTTP();
    ~TNMHTTP() override;

    // --- Properties ---------------------------------------------------------
    // String mode: the response body of the last request. InputFileMode: the
    // name of the file that receives the body.
    std::string Body = "Default.htm";
    // String mode: the raw response header (status line and header lines with
    // their line ends, the blank line included). OutputFileMode: the name of
    // the file that receives it.
    std::string Header = "Head.txt";
    THeaderInfo& HeaderInfo() { return *FHeaderInfo; }
    const THeaderInfo& HeaderInfo() const { return *FHeaderInfo; }
    // True: the response body is written to the file named by Body.
    bool InputFileMode = false;
    // True: the request body is read from the file named by the data argument,
    // and the response header is written to the file named by Header.
    bool OutputFileMode = false;

    // Upper bound of Body in string mode, in bytes; -1 means no limit. When it
    // is reached the capture stops, the connection is closed and Body is cut
    // to this length, so an endless response cannot exhaust memory.
    int32_t MaxBodyLength = -1;
    // Upper bound of the response header (status line, header lines and the
    // blank line) in bytes; -1 means no limit. A longer header ends the
    // request with ESockError "Response header too long", so a server that
    // sends header lines without end cannot exhaust memory.
    int32_t MaxHeaderLength = -1;
    // True: https URLs are fetched over TLS (port 443 unless the URL names
    // one), with the server's certificate verified; the request bytes are the
    // same as for http. False: an https URL is refused with "HTTP Secure
    // Socket is not supported".
    bool SecureEnabled = false;
    // How many times one request may be repeated for redirects and other
    // 299..399 replies before it ends with ESockError "Too many redirects".
    // A Location is resolved against the URL it answered (RFC 3986); one that
    // cannot be fetched ends the request with ESockError "Invalid redirect
    // location: ..." (or "Unsupported redirect location: ..." for schemes
    // other than http and https). An empty Location, or one that is only a
    // fragment, counts as none: the same URL is asked again.
    int32_t MaxRedirects = 20;
    // The method word of CustomMethod, e.g. "PROPFIND". It must be a plain
    // token (letters, digits and !#$%&'*+-.^_`|~); CustomMethod refuses an
    // empty or malformed word before connecting.
    std::string CustomMethodWord;

    // True: the body is decoded as the response announces it, so Body holds
    // the page itself: "Transfer-Encoding: chunked" is unchunked (the body then
    // ends at its last chunk) and the "Content-Encoding" gzip, x-gzip and
    // deflate are inflated. Without a Transfer-Encoding, a valid Content-Length
    // ends the body when that many bytes (as sent, before inflating) arrived,
    // and a reply to Head, a 204 and a 304 have none: the client disconnects
    // then instead of waiting for the server to close. MaxBodyLength bounds
    // the decoded body. False keeps the bytes as received, up to the close.
    // The request is the same either way.
    bool DecodeContent = false;
    // The value of the last response's Content-Type line, empty when it had none.
    const std::string& ContentType() const { return FContentType; }

    // The expected body length from the response's Content-Length line; 0 when
    // there is none (or it does not fit in 32 bits).
    int32_t BytesTotal = 0;
    // The body length the last response declared: its Content-Length lines
    // (any case) if they hold one and the same decimal number; none when they
    // are missing, hold anything else ("-1", "1e9") or disagree.
    std::optional<int64_t> DeclaredLength() const;

    // The cookies the component keeps and sends: every Set-Cookie line of every
    // response goes in with the URL it answered, and every request carries the
    // name=value pairs that match its own URL. The component's own jar unless
    // another is set (nullptr sets the own one back); a jar that is set must
    // outlive the requests that use it.
    TCookieJar* CookieJar() const { return FCookieJar; }
    void SetCookieJar(TCookieJar* Jar);

    // --- Events -------------------------------------------------------------
    TNotifyEvent OnAboutToSend;           // header composed, not yet connected
    TResultEvent OnSuccess;               // reply code below 299 (0 included)
    TResultEvent OnFailure;               // reply code above 399
    THandlerEvent OnRedirect;             // 300..398; Handled = true stops here
    TNotifyEvent OnAuthenticationNeeded;  // 401

    // --- Operations ---------------------------------------------------------
    // Sets EventDone and cancels, without the session's "Abort" report; the
    // waiting operation ends with EAbortError.
    void Abort() override;

    void Options(const std::string& URL);
    void Get(const std::string& URL);
    // String mode: PostData is form-URL encoded as one value. OutputFileMode:
    // PostData names the file that holds the body.
    void Post(const std::string& URL, const std::string& PostData);
    void Put(const std::string& URL, const std::string& Data);
    void Head(const std::string& URL);
    void Patch(const std::string& URL, const std::string& Data);
    void Delete(const std::string& URL);
    void Trace(const std::string& URL, const std::string& Data);
    void Copy(const std::string& URL, const std::string& URIHeader);
    void Move(const std::string& URL, const std::string& URIHeader);
    // Carry a "Link: " line. In OutputFileMode they send "Send.dat" as the
    // body with its Content-Length; in string mode they send no body and
    // announce none.
    void Link(const std::string& URL, const std::string& LinkValue);
    void Unlink(const std::string& URL, const std::string& LinkValue);
    // A request with the method word CustomMethodWord and Data as its body.
    void CustomMethod(const std::string& URL, const std::string& Data);

    // --- Request cycle steps (overridable) ----------------------------------
    virtual void Execute();
    virtual void ParseURL();
    virtual void BuildHeader();
    virtual void ReadResponseHeader();
    virtual void SendRequest();

    // --- Request state, readable for the component's user and tests --------
    const std::string& CurrentURL() const { return FCurrentURL; }
    const std::string& RequestPath() const { return FRequestPath; }
    const std::string& LastLocation() const { return FLastLocation; }
    const std::string& ReceivedCookie() const { return FReceivedCookie; }
    CmdType Command() const { return FCommand; }
    const TExStringList& HeaderList() const { return FHeaderList; }

protected:
    void SetCurrentURL(const std::string& URL) { FCurrentURL = URL; }
    // Reads the body of the response whose header was just read.
    void CaptureBody();

private:
    void CheckIdle() const;
    void Run(CmdType Command, const std::string& URL, const std::string* SendData = nullptr,
             const std::string* ExtraURI = nullptr);
    bool SendsBody() const;
    int64_t RequestBodyLength() const;
    void SendText(const std::string& Text);
    void ReadHeaderLines(const std::function<void(const std::string&)>& Keep);
    void TakeHeaderValue(const std::string& Line);
    void TakeCodingValue(const std::string& Line);
    void TakeLengthValue(const std::string& Value);
    // The body bytes to read under DecodeContent, when the response says.
    std::optional<int64_t> WireLength() const;
    void CaptureDecoded(std::optional<int64_t> WireBytes);
    std::string MethodWord() const;
    // The Host line's value: the bare host; an IPv6 address in brackets, with
    // the port when it is not the scheme's default.
    std::string HostLineValue() const;
    // The absolute URL the current pass asks for, as ParseURL split it: what
    // a Location is resolved against and cookies are scoped by.
    std::string PassUrl() const;
    // The next URL from the current response's Location; empty when there is
    // none to follow, Reason set when it cannot be followed.
    std::string NextUrl(std::string& Reason) const;

    std::unique_ptr<THeaderInfo> FHeaderInfo;
    std::unique_ptr<TCookieJar> FOwnJar;
    TCookieJar* FCookieJar;
    // The URL the response being read answered, for its cookies.
    std::string FResponseUrl;
    TExStringList FHeaderList;
    std::string FCurrentURL;
    std::string FRequestPath;
    std::string FSendData;
    std::string FExtraURI;
    std::string FLastLocation;
    std::string FReceivedCookie;
    CmdType FCommand = CmdType::CmdGET;
    // Set when the current response carried a Location line; a 300..302 reply
    // without one repeats the same URL instead of a stale earlier location.
    bool FLocationSeen = false;
    // True while Execute runs: a request started from an event handler or a
    // timer during the wait is refused before it can disturb the running one.
    bool FBusy = false;
    // The Content-Length of the current response, wider than BytesTotal.
    int64_t FContentLength = -1;
    // The same, read strictly: the one value of all Content-Length lines, and
    // whether a line held something else.
    std::optional<int64_t> FDeclaredLength;
    bool FLengthInvalid = false;
    // What the current response says about its body: lists joined over
    // repeated lines, the last Content-Type.
    std::string FTransferEncoding;
    std::string FContentEncoding;
    std::string FContentType;
};

}  // namespace net
