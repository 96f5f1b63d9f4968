#include "app/watch/FetchOutcome.h"

#include <array>
#include <utility>

namespace app {
namespace {

bool Has(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The sockets error code of a refused connect.
constexpr int32_t ConnectionRefused = 10061;

// The session's texts of a connection broken off: "10054:Connection reset by
// peer" and its kin.
bool NamesReset(const std::string& text) {
    return Has(text, "10054:") || Has(text, "10053:") || Has(text, "10052:");
}

// A wait of the session that ended because someone cancelled it: the cycle's
// bound, the session's own time-out, or the window closing.
bool IsCancelText(const std::string& text) {
    return Has(text, " aborted") || text == "Connection Canceled" ||
           text == "Host Lookup Canceled" || text == "Connection Timed out" ||
           text == "Host Lookup Timed Out";
}

constexpr std::array<std::pair<FetchKind, const char*>, 15> KindNames = {{
    {FetchKind::Ok, "ok"},
    {FetchKind::BodyCut, "body_cut"},
    {FetchKind::HttpStatus, "http_status"},
    {FetchKind::Refused, "refused"},
    {FetchKind::HostNotFound, "host_not_found"},
    {FetchKind::ConnectTimeout, "connect_timeout"},
    {FetchKind::FirstByteTimeout, "first_byte_timeout"},
    {FetchKind::DeadlineCut, "deadline_cut"},
    {FetchKind::Closed, "closed"},
    {FetchKind::Reset, "reset"},
    {FetchKind::TlsHandshake, "tls_handshake"},
    {FetchKind::Certificate, "certificate"},
    {FetchKind::TooManyRedirects, "too_many_redirects"},
    {FetchKind::Canceled, "canceled"},
    {FetchKind::Other, "other"},
}};

constexpr std::array<std::pair<CertificateCheck, const char*>, 8> CheckNames = {{
    {CertificateCheck::None, ""},
    {CertificateCheck::Expired, "expired"},
    {CertificateCheck::NotYetValid, "not_yet_valid"},
    {CertificateCheck::SelfSigned, "self_signed"},
    {CertificateCheck::HostnameMismatch, "hostname_mismatch"},
    {CertificateCheck::UnknownIssuer, "unknown_issuer"},
    {CertificateCheck::Revoked, "revoked"},
    {CertificateCheck::Other, "other"},
}};

}  // namespace

CertificateCheck CertificateCheckOf(const std::string& text) {
    if (!Has(text, "certificate verify failed"))
        return CertificateCheck::None;
    if (Has(text, "has expired"))
        return CertificateCheck::Expired;
    if (Has(text, "not yet valid"))
        return CertificateCheck::NotYetValid;
    // OpenSSL 3 writes "self-signed", older ones "self signed".
    if (Has(text, "self-signed") || Has(text, "self signed"))
        return CertificateCheck::SelfSigned;
    if (Has(text, "hostname mismatch") || Has(text, "IP address mismatch"))
        return CertificateCheck::HostnameMismatch;
    if (Has(text, "unable to get local issuer") || Has(text, "unable to get issuer") ||
        Has(text, "unable to verify the first certificate"))
        return CertificateCheck::UnknownIssuer;
    if (Has(text, "revoked"))
        return CertificateCheck::Revoked;
    return CertificateCheck::Other;
}

FetchOutcome ClassifyFailure(const FetchFailureFacts& facts) {
    FetchOutcome outcome;
    const std::string& text = facts.Text;
    outcome.Text = text;
    outcome.SocketError = facts.SocketError;

    if (IsCancelText(text)) {
        // A cut that no time limit made (the window closing) is no fault of the site.
        const bool timedOut = facts.DeadlineHit || facts.SessionTimedOut || Has(text, "Timed");
        if (!timedOut) {
            outcome.Kind = FetchKind::Canceled;
            return outcome;
        }
        const bool connectPhase =
            StartsWith(text, "Host Lookup") || StartsWith(text, "Connection ");
        if (connectPhase) {
            // The session raises the connect's texts also for a handshake that
            // did not finish in time, after the TCP connection was made.
            outcome.Kind = facts.TcpConnected ? FetchKind::TlsHandshake : FetchKind::ConnectTimeout;
        } else if (!facts.ReplyStarted && !StartsWith(text, "Socket capture")) {
            outcome.Kind = FetchKind::FirstByteTimeout;
        } else {
            outcome.Kind = FetchKind::DeadlineCut;
        }
        return outcome;
    }
    if (StartsWith(text, "TLS handshake") || text == "TLS needs a host name" ||
        StartsWith(text, "Invalid host name for TLS") || StartsWith(text, "TLS cannot")) {
        outcome.Certificate = CertificateCheckOf(text);
        outcome.Kind = outcome.Certificate != CertificateCheck::None ? FetchKind::Certificate
                                                                     : FetchKind::TlsHandshake;
        return outcome;
    }
    if (text == "Null Remote Address" || text == "Host name too long") {
        outcome.Kind = FetchKind::HostNotFound;
        return outcome;
    }
    if (text == "Connection Failed") {
        // The connect's own error code tells a refusal from an unreachable
        // network; a session that kept no code was refused, by far the usual case.
        outcome.Kind = facts.SocketError == 0 || facts.SocketError == ConnectionRefused
                           ? FetchKind::Refused
                           : FetchKind::Other;
        return outcome;
    }
    if (Has(text, "10061:")) {
        outcome.Kind = FetchKind::Refused;
        return outcome;
    }
    if (NamesReset(text) || (StartsWith(text, "TLS ") && Has(text, "reset"))) {
        outcome.Kind = FetchKind::Reset;
        return outcome;
    }
    if (text == "Too many redirects") {
        outcome.Kind = FetchKind::TooManyRedirects;
        return outcome;
    }
    outcome.Kind = FetchKind::Other;
    return outcome;
}

FetchOutcome ClassifyReply(const FetchReplyFacts& facts) {
    FetchOutcome outcome;
    outcome.ReplyCode = facts.ReplyCode;
    outcome.ExpectedBytes = facts.ExpectedBytes;
    outcome.ReceivedBytes = facts.ReceivedBytes;
    if (facts.Header.empty() && facts.ReceivedBytes == 0) {
        // An empty page, to the component; to the user, no check at all.
        outcome.Kind = FetchKind::Closed;
    } else if (facts.ReplyCode >= 400) {
        outcome.Kind = FetchKind::HttpStatus;
        const std::string line = facts.Header.substr(0, facts.Header.find('\n'));
        size_t end = line.size();
        while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n'))
            --end;
        outcome.Text = line.substr(0, end);
    } else if (facts.CutAtBound) {
        outcome.Kind = FetchKind::BodyCut;
    } else if (facts.ExpectedBytes > 0 && facts.ReceivedBytes < facts.ExpectedBytes) {
        outcome.Kind = FetchKind::Reset;
    }
    return outcome;
}

const char* FetchKindName(FetchKind kind) {
    for (const auto& [value, name] : KindNames)
        if (value == kind)
            return name;
    return "other";
}

FetchKind FetchKindFromName(const std::string& name) {
    for (const auto& [value, known] : KindNames)
        if (name == known)
            return value;
    return FetchKind::Other;
}

const char* CertificateCheckName(CertificateCheck check) {
    for (const auto& [value, name] : CheckNames)
        if (value == check)
            return name;
    return "other";
}

CertificateCheck CertificateCheckFromName(const std::string& name) {
    for (const auto& [value, known] : CheckNames)
        if (name == known)
            return value;
    return CertificateCheck::Other;
}

}  // namespace app
