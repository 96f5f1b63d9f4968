#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace app {

// How one fetch of a site's page ended. The first three are fetches whose
// reply arrived whole; every other kind is a fetch that did not complete.
enum class FetchKind : uint8_t {
    Ok,                // a whole reply with a code below 400
    BodyCut,           // a whole reply, but the page was longer than the bound and cut there
    HttpStatus,        // a whole reply with a code of 400 or more
    Refused,           // nothing listens on that port
    HostNotFound,      // the host name has no address
    ConnectTimeout,    // no connection (or no lookup answer) within the time allowed
    FirstByteTimeout,  // connected, but no reply began within the time allowed
    DeadlineCut,       // the reply began but did not end within the time allowed
    Closed,            // the server closed the connection without a reply
    Reset,             // the server broke the connection off, or ended it before the
                       // length its reply announced
    TlsHandshake,      // the secure connection could not be set up
    Certificate,       // the server's certificate did not pass a check
    TooManyRedirects,  // the server kept redirecting
    Canceled,          // ended from outside, by the window closing: says nothing of the site
    Other,             // anything else; the component's text says what
};

// Which check a server's certificate failed.
enum class CertificateCheck : uint8_t {
    None,
    Expired,
    NotYetValid,
    SelfSigned,
    HostnameMismatch,
    UnknownIssuer,
    Revoked,
    Other,
};

// What is known of a failing certificate, where the secure connection can
// tell; the sentence of a certificate failure uses it when it is there.
// Names are GB18030 text like every text of the program; dates are UTC,
// "YYYY-MM-DD".
struct CertificateDetails {
    std::string Subject;
    std::string Issuer;
    std::string NotBefore;
    std::string NotAfter;
    std::string Sha256;
    bool SelfSigned = false;
    // The certificate itself, as a PEM block: what a trusted copy holds, and
    // the host it was shown for.
    std::string Pem;
    std::string Host;
};

// One fetch, ended. Text is the component's own words: the error it raised,
// or the reply's status line for a reply code of 400 or more.
struct FetchOutcome {
    FetchKind Kind = FetchKind::Ok;
    CertificateCheck Certificate = CertificateCheck::None;
    std::string Text;
    int32_t ReplyCode = 0;
    int64_t DurationMs = 0;
    // Bytes of the page received (the body, possibly cut).
    int64_t Bytes = 0;
    // The host the fetch was for, and the time and size it was allowed.
    std::string Host;
    int32_t TimeLimitMs = 0;
    int64_t ByteLimit = 0;
    // The body length the reply announced, and how much of it came.
    int64_t ExpectedBytes = 0;
    int64_t ReceivedBytes = 0;
    // The sockets error code behind a failed connect, 0 when unknown.
    int32_t SocketError = 0;
    std::optional<CertificateDetails> CertificateInfo;

    // A reply arrived whole: its body is read and searched like any page.
    bool Done() const {
        return Kind == FetchKind::Ok || Kind == FetchKind::BodyCut || Kind == FetchKind::HttpStatus;
    }
    // Counts against the site: everything but a good page (a cut one included)
    // and a fetch ended from outside.
    bool CountsAsFailure() const {
        return Kind != FetchKind::Ok && Kind != FetchKind::BodyCut && Kind != FetchKind::Canceled;
    }
};

// What the watcher saw of a fetch that raised an error.
struct FetchFailureFacts {
    std::string Text;              // the error's text
    bool DeadlineHit = false;      // the cycle's own bound for the whole fetch ran out
    bool SessionTimedOut = false;  // the session's time-out fired
    bool TcpConnected = false;     // the TCP connection was made
    bool ReplyStarted = false;     // a byte of the reply had arrived
    int32_t SocketError = 0;       // the sockets error code of a failed connect, 0 if none
};

// The kind of a fetch that raised an error, from the component's text and what
// the watcher saw; Text, Kind and Certificate are filled in, the rest is the
// caller's.
FetchOutcome ClassifyFailure(const FetchFailureFacts& facts);

// What the watcher saw of a fetch that ended without an error.
struct FetchReplyFacts {
    int32_t ReplyCode = 0;
    std::string Header;         // the reply's header as received; empty when nothing came
    int64_t ExpectedBytes = 0;  // the announced body length, 0 when none
    int64_t ReceivedBytes = 0;  // body bytes as they came over the connection
    bool CutAtBound = false;    // the body reached the page bound and was cut there
};

// The kind of a fetch that ended without an error. A reply arrived whole
// unless nothing came at all or the body stopped short of its announced
// length; Text is the status line for a code of 400 or more.
FetchOutcome ClassifyReply(const FetchReplyFacts& facts);

// The failed check named in OpenSSL's verify text, None when it names none.
CertificateCheck CertificateCheckOf(const std::string& text);

// Stable names of the kinds, as the database and --status keep them.
const char* FetchKindName(FetchKind kind);
FetchKind FetchKindFromName(const std::string& name);
const char* CertificateCheckName(CertificateCheck check);
CertificateCheck CertificateCheckFromName(const std::string& name);

}  // namespace app
