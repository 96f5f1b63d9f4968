// From what the fetch raised (or the reply it gave) to its kind and to the
// line a user reads: the sentence with the component's own text in brackets.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/watch/FetchOutcome.h"
#include "app/watch/FetchReason.h"
#include "rtl/GbText.h"

namespace {

using app::FetchKind;

struct ReasonCase {
    const char* Name;
    app::FetchFailureFacts Facts;               // a failure, unless Reply is set
    std::optional<app::FetchReplyFacts> Reply;  // a fetch that raised nothing
    FetchKind Kind;
    const char* Line;  // UTF-8
    std::optional<app::CertificateDetails> Certificate = std::nullopt;
};

// Named in the test list by its name alone.
void PrintTo(const ReasonCase& c, std::ostream* out) {
    *out << c.Name;
}

app::FetchFailureFacts Raised(const char* text, bool deadline = false, bool connected = false,
                              bool replyStarted = false, int32_t socketError = 0) {
    app::FetchFailureFacts facts;
    facts.Text = text;
    facts.DeadlineHit = deadline;
    facts.TcpConnected = connected;
    facts.ReplyStarted = replyStarted;
    facts.SocketError = socketError;
    return facts;
}

// A reply with this code and its status line; expected and received are body
// lengths.
app::FetchReplyFacts Reply(int code, int64_t expected = 0, int64_t received = 10,
                           bool cut = false) {
    app::FetchReplyFacts facts;
    facts.ReplyCode = static_cast<int32_t>(code);
    facts.Header = "HTTP/1.1 " + std::to_string(code) + " X\r\nServer: s\r\n\r\n";
    facts.ExpectedBytes = expected;
    facts.ReceivedBytes = received;
    facts.CutAtBound = cut;
    return facts;
}

app::CertificateDetails Expiring() {
    app::CertificateDetails details;
    details.Subject = "chat.example.org";
    details.Issuer = "Example CA";
    details.NotAfter = "2026-11-30";
    return details;
}

class FetchReason : public testing::TestWithParam<ReasonCase> {};

TEST_P(FetchReason, KindAndLineFollowWhatTheFetchSaw) {
    const ReasonCase& c = GetParam();
    app::FetchOutcome outcome =
        c.Reply ? app::ClassifyReply(*c.Reply) : app::ClassifyFailure(c.Facts);
    outcome.Host = "nosuch.example";
    outcome.TimeLimitMs = 7500;
    outcome.ByteLimit = 4 * 1024 * 1024;
    outcome.Bytes = c.Kind == FetchKind::DeadlineCut ? 65536 : 0;
    EXPECT_EQ(outcome.Kind, c.Kind) << app::FetchKindName(outcome.Kind);
    const app::CertificateDetails* details = c.Certificate ? &*c.Certificate : nullptr;
    EXPECT_EQ(rtl::FromGb(app::ReasonLine(outcome, details)).toStdString(), c.Line);
    // A good page has nothing to explain; everything else counts against the
    // site, except a fetch the window itself ended.
    EXPECT_EQ(outcome.CountsAsFailure(), c.Kind != FetchKind::Ok && c.Kind != FetchKind::BodyCut &&
                                             c.Kind != FetchKind::Canceled);
    EXPECT_EQ(app::FetchKindFromName(app::FetchKindName(outcome.Kind)), outcome.Kind);
}

constexpr const char* Expired =
    "TLS handshake failed: certificate verify failed (certificate has expired)";

// Name, what the fetch raised (or the reply it ended with), kind, line.
ReasonCase Failure(const char* name, app::FetchFailureFacts facts, FetchKind kind, const char* line,
                   std::optional<app::CertificateDetails> certificate = std::nullopt) {
    return {name, std::move(facts), std::nullopt, kind, line, std::move(certificate)};
}
ReasonCase Ended(const char* name, app::FetchReplyFacts reply, FetchKind kind, const char* line) {
    return {name, {}, std::move(reply), kind, line, std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, FetchReason,
    testing::Values(
        Failure("Refused", Raised("Connection Failed", false, false, false, 10061),
                FetchKind::Refused, "连接被拒绝: 该端口没有服务 (Connection Failed)"),
        Failure("RefusedWithoutACode", Raised("Connection Failed"), FetchKind::Refused,
                "连接被拒绝: 该端口没有服务 (Connection Failed)"),
        Failure("Unreachable", Raised("Connection Failed", false, false, false, 10065),
                FetchKind::Other, "无法连接到服务器: 没有到该主机的路由 (Connection Failed)"),
        Failure("HostNotFound", Raised("Null Remote Address"), FetchKind::HostNotFound,
                "找不到主机 nosuch.example (Null Remote Address)"),
        Failure("LookupCut", Raised("Host Lookup Canceled", true), FetchKind::ConnectTimeout,
                "8 秒内没有查到主机 nosuch.example (Host Lookup Canceled)"),
        Failure("ConnectCut", Raised("Connection Canceled", true), FetchKind::ConnectTimeout,
                "服务器 8 秒内没有接受连接 (Connection Canceled)"),
        Failure("ConnectTimedOut", Raised("Connection Timed out"), FetchKind::ConnectTimeout,
                "服务器 8 秒内没有接受连接 (Connection Timed out)"),
        Failure("HandshakeCut", Raised("Connection Canceled", true, true), FetchKind::TlsHandshake,
                "安全连接 (TLS) 8 秒内没有建立 (Connection Canceled)"),
        Failure("NoReply", Raised("Socket readln aborted", true, true), FetchKind::FirstByteTimeout,
                "服务器 8 秒内没有应答 (Socket readln aborted)"),
        Failure("RequestNotTaken", Raised("Socket send aborted", true, true),
                FetchKind::FirstByteTimeout, "服务器 8 秒内没有应答 (Socket send aborted)"),
        Failure("HeaderCut", Raised("Socket readln aborted", true, true, true),
                FetchKind::DeadlineCut,
                "页面 8 秒内没有传完, 已收到 65536 字节 (Socket readln aborted)"),
        Failure("BodyCutByTheDeadline", Raised("Socket capture aborted", true, true, true),
                FetchKind::DeadlineCut,
                "页面 8 秒内没有传完, 已收到 65536 字节 (Socket capture aborted)"),
        Failure("EndedByTheWindow", Raised("Socket readln aborted", false, true),
                FetchKind::Canceled, "检查被中断 (Socket readln aborted)"),
        Failure("Reset", Raised("10054:Connection reset by peer", false, true, true),
                FetchKind::Reset, "连接被服务器重置 (10054:Connection reset by peer)"),
        Failure("ResetInTheHandshake",
                Raised("TLS handshake failed: 10054:Connection reset by peer"),
                FetchKind::TlsHandshake,
                "建立安全连接 (TLS) 时连接被服务器重置 "
                "(TLS handshake failed: 10054:Connection reset by peer)"),
        Failure("PlainHttpOnTheTlsPort",
                Raised("TLS handshake failed: the server answered in plain HTTP"),
                FetchKind::TlsHandshake,
                "服务器在这个端口上不用 HTTPS, 而是普通 HTTP "
                "(TLS handshake failed: the server answered in plain HTTP)"),
        Failure("Expired", Raised(Expired), FetchKind::Certificate,
                "证书已过期 (TLS handshake failed: certificate verify failed (certificate has "
                "expired))"),
        Failure("ExpiredWithItsDate", Raised(Expired), FetchKind::Certificate,
                "证书已于 2026-11-30 过期 (TLS handshake failed: certificate verify failed "
                "(certificate has expired))",
                Expiring()),
        Failure("SelfSigned",
                Raised("TLS handshake failed: certificate verify failed (self-signed "
                       "certificate)"),
                FetchKind::Certificate,
                "证书不受信任: 自签名 (TLS handshake failed: certificate verify failed "
                "(self-signed certificate))"),
        Failure("WrongHost",
                Raised("TLS handshake failed: certificate verify failed (hostname mismatch)"),
                FetchKind::Certificate,
                "证书属于 chat.example.org, 不属于主机 nosuch.example (TLS handshake failed: "
                "certificate verify failed (hostname mismatch))",
                Expiring()),
        Failure("UnknownIssuer",
                Raised("TLS handshake failed: certificate verify failed (unable to get local "
                       "issuer certificate)"),
                FetchKind::Certificate,
                "证书不受信任: 签发机构未知 (TLS handshake failed: certificate verify failed "
                "(unable to get local issuer certificate))"),
        Failure("Redirects", Raised("Too many redirects", false, true, true),
                FetchKind::TooManyRedirects, "重定向次数太多 (Too many redirects)"),
        Failure("BadRedirect", Raised("Invalid redirect location: http://", false, true, true),
                FetchKind::Other, "服务器重定向到的地址有误 (Invalid redirect location: http://)"),
        Failure("PortNotANumber", Raised("'abc' is not a valid integer value"), FetchKind::Other,
                "网址有误 ('abc' is not a valid integer value)"),
        Ended("NotFound", Reply(404), FetchKind::HttpStatus,
              "服务器返回 404: 页面不存在 (HTTP/1.1 404 X)"),
        Ended("Unavailable", Reply(503, 100, 20), FetchKind::HttpStatus,
              "服务器返回 503: 服务暂时不可用 (HTTP/1.1 503 X)"),
        Ended("Teapot", Reply(418), FetchKind::HttpStatus, "服务器返回 418 (HTTP/1.1 418 X)"),
        Ended("Good", Reply(200, 10, 10), FetchKind::Ok, ""),
        Ended("EmptyPage", Reply(200, 0, 0), FetchKind::Ok, ""),
        Ended("Cut", Reply(200, 0, 5000000, true), FetchKind::BodyCut,
              "页面超过 4 MiB, 只检查了前 4 MiB"),
        Ended("ShortOfItsLength", Reply(200, 1048576, 65536), FetchKind::Reset,
              "页面没有传完连接就断开了: 收到 65536 字节, 应有 1048576 字节"),
        Ended("NothingCame", app::FetchReplyFacts{}, FetchKind::Closed,
              "服务器没有应答就关闭了连接")),
    [](const testing::TestParamInfo<ReasonCase>& param) { return std::string(param.param.Name); });

}  // namespace
