// From what the fetch raised (or the reply it gave) to its kind and to the
// line a user reads: the sentence with the component's own text in brackets.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/watch/FetchOutcome.h"
#include "app/watch/FetchReason.h"
#include "rtl/GbText.h"

namespace {

using app::CertificateCheck;
using app::FetchKind;

struct ReasonCase {
    const char* Name;
    app::FetchFailureFacts Facts;  // a failure, unless Reply is set
    std::optional<int> Reply;      // the reply code of a whole reply
    bool Cut = false;
    FetchKind Kind;
    const char* Line;  // UTF-8
    std::optional<app::CertificateDetails> Certificate = std::nullopt;
};

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
        c.Reply
            ? app::ClassifyReply(*c.Reply, "HTTP/1.1 " + std::to_string(*c.Reply) + " X\r\n", c.Cut)
            : app::ClassifyFailure(c.Facts);
    outcome.Host = "nosuch.example";
    outcome.TimeLimitMs = 7500;
    outcome.ByteLimit = 4 * 1024 * 1024;
    outcome.Bytes = c.Kind == FetchKind::DeadlineCut ? 65536 : 0;
    outcome.ReplyCode = c.Reply.value_or(0);
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

INSTANTIATE_TEST_SUITE_P(
    Outcomes, FetchReason,
    testing::Values(
        ReasonCase{"Refused",
                   Raised("Connection Failed", false, false, false, 10061),
                   {},
                   false,
                   FetchKind::Refused,
                   "连接被拒绝: 该端口没有服务 (Connection Failed)"},
        ReasonCase{"RefusedWithoutACode",
                   Raised("Connection Failed"),
                   {},
                   false,
                   FetchKind::Refused,
                   "连接被拒绝: 该端口没有服务 (Connection Failed)"},
        ReasonCase{"Unreachable",
                   Raised("Connection Failed", false, false, false, 10065),
                   {},
                   false,
                   FetchKind::Other,
                   "无法连接到服务器: 没有到该主机的路由 (Connection Failed)"},
        ReasonCase{"HostNotFound",
                   Raised("Null Remote Address"),
                   {},
                   false,
                   FetchKind::HostNotFound,
                   "找不到主机 nosuch.example (Null Remote Address)"},
        ReasonCase{"LookupCut",
                   Raised("Host Lookup Canceled", true),
                   {},
                   false,
                   FetchKind::ConnectTimeout,
                   "8 秒内没有查到主机 nosuch.example (Host Lookup Canceled)"},
        ReasonCase{"ConnectCut",
                   Raised("Connection Canceled", true),
                   {},
                   false,
                   FetchKind::ConnectTimeout,
                   "服务器 8 秒内没有接受连接 (Connection Canceled)"},
        ReasonCase{"ConnectTimedOut",
                   Raised("Connection Timed out"),
                   {},
                   false,
                   FetchKind::ConnectTimeout,
                   "服务器 8 秒内没有接受连接 (Connection Timed out)"},
        ReasonCase{"HandshakeCut",
                   Raised("Connection Canceled", true, true),
                   {},
                   false,
                   FetchKind::TlsHandshake,
                   "安全连接 (TLS) 8 秒内没有建立 (Connection Canceled)"},
        ReasonCase{"NoReply",
                   Raised("Socket readln aborted", true, true),
                   {},
                   false,
                   FetchKind::FirstByteTimeout,
                   "服务器 8 秒内没有应答 (Socket readln aborted)"},
        ReasonCase{"RequestNotTaken",
                   Raised("Socket send aborted", true, true),
                   {},
                   false,
                   FetchKind::FirstByteTimeout,
                   "服务器 8 秒内没有应答 (Socket send aborted)"},
        ReasonCase{"HeaderCut",
                   Raised("Socket readln aborted", true, true, true),
                   {},
                   false,
                   FetchKind::DeadlineCut,
                   "页面 8 秒内没有传完, 已收到 65536 字节 (Socket readln aborted)"},
        ReasonCase{"BodyCutByTheDeadline",
                   Raised("Socket capture aborted", true, true, true),
                   {},
                   false,
                   FetchKind::DeadlineCut,
                   "页面 8 秒内没有传完, 已收到 65536 字节 (Socket capture aborted)"},
        ReasonCase{"EndedByTheWindow",
                   Raised("Socket readln aborted", false, true),
                   {},
                   false,
                   FetchKind::Canceled,
                   "检查被中断 (Socket readln aborted)"},
        ReasonCase{"Reset",
                   Raised("10054:Connection reset by peer", false, true, true),
                   {},
                   false,
                   FetchKind::Reset,
                   "连接被服务器重置 (10054:Connection reset by peer)"},
        ReasonCase{"ResetInTheHandshake",
                   Raised("TLS handshake failed: 10054:Connection reset by peer"),
                   {},
                   false,
                   FetchKind::TlsHandshake,
                   "建立安全连接 (TLS) 时连接被服务器重置 "
                   "(TLS handshake failed: 10054:Connection reset by peer)"},
        ReasonCase{"PlainHttpOnTheTlsPort",
                   Raised("TLS handshake failed: the server answered in plain HTTP"),
                   {},
                   false,
                   FetchKind::TlsHandshake,
                   "服务器在这个端口上不用 HTTPS, 而是普通 HTTP "
                   "(TLS handshake failed: the server answered in plain HTTP)"},
        ReasonCase{"Expired",
                   Raised(Expired),
                   {},
                   false,
                   FetchKind::Certificate,
                   "证书已过期 (TLS handshake failed: certificate verify failed (certificate "
                   "has expired))"},
        ReasonCase{"ExpiredWithItsDate",
                   Raised(Expired),
                   {},
                   false,
                   FetchKind::Certificate,
                   "证书已于 2026-11-30 过期 (TLS handshake failed: certificate verify failed "
                   "(certificate has expired))",
                   Expiring()},
        ReasonCase{"SelfSigned",
                   Raised("TLS handshake failed: certificate verify failed (self-signed "
                          "certificate)"),
                   {},
                   false,
                   FetchKind::Certificate,
                   "证书不受信任: 自签名 (TLS handshake failed: certificate verify failed "
                   "(self-signed certificate))"},
        ReasonCase{"WrongHost",
                   Raised("TLS handshake failed: certificate verify failed (hostname mismatch)"),
                   {},
                   false,
                   FetchKind::Certificate,
                   "证书属于 chat.example.org, 不属于主机 nosuch.example (TLS handshake failed: "
                   "certificate verify failed (hostname mismatch))",
                   Expiring()},
        ReasonCase{"UnknownIssuer",
                   Raised("TLS handshake failed: certificate verify failed (unable to get local "
                          "issuer certificate)"),
                   {},
                   false,
                   FetchKind::Certificate,
                   "证书不受信任: 签发机构未知 (TLS handshake failed: certificate verify failed "
                   "(unable to get local issuer certificate))"},
        ReasonCase{"Redirects",
                   Raised("Too many redirects", false, true, true),
                   {},
                   false,
                   FetchKind::TooManyRedirects,
                   "重定向次数太多 (Too many redirects)"},
        ReasonCase{"PortNotANumber",
                   Raised("'abc' is not a valid integer value"),
                   {},
                   false,
                   FetchKind::Other,
                   "网址有误 ('abc' is not a valid integer value)"},
        ReasonCase{"NotFound",
                   {},
                   404,
                   false,
                   FetchKind::HttpStatus,
                   "服务器返回 404: 页面不存在 (HTTP/1.1 404 X)"},
        ReasonCase{"Unavailable",
                   {},
                   503,
                   false,
                   FetchKind::HttpStatus,
                   "服务器返回 503: 服务暂时不可用 (HTTP/1.1 503 X)"},
        ReasonCase{
            "Teapot", {}, 418, false, FetchKind::HttpStatus, "服务器返回 418 (HTTP/1.1 418 X)"},
        ReasonCase{"Good", {}, 200, false, FetchKind::Ok, ""},
        ReasonCase{"Cut", {}, 200, true, FetchKind::BodyCut, "页面超过 4 MiB, 只检查了前 4 MiB"}),
    [](const testing::TestParamInfo<ReasonCase>& param) { return std::string(param.param.Name); });

}  // namespace
