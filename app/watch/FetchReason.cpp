#include "app/watch/FetchReason.h"

#include "rtl/GbText.h"

namespace app {
namespace {

// Every sentence is GB18030 text: the program's own words are turned from the
// source's UTF-8 one by one, while host names, the component's texts and the
// certificate's details are the program's bytes already and go in as they are.
using rtl::Gb;

bool Has(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

std::string Seconds(int32_t milliseconds) {
    const int32_t seconds = (milliseconds + 500) / 1000;
    return std::to_string(seconds < 1 ? 1 : seconds);
}

std::string Size(int64_t bytes) {
    constexpr int64_t KiB = 1024;
    constexpr int64_t MiB = 1024 * KiB;
    if (bytes > 0 && bytes % MiB == 0)
        return std::to_string(bytes / MiB) + " MiB";
    if (bytes > 0 && bytes % KiB == 0)
        return std::to_string(bytes / KiB) + " KiB";
    return std::to_string(bytes) + Gb(" 字节");
}

std::string Host(const FetchOutcome& outcome) {
    return outcome.Host.empty() ? "" : " " + outcome.Host;
}

std::string StatusMeaning(int32_t code) {
    switch (code) {
        case 400:
            return Gb("请求无效");
        case 401:
            return Gb("需要登录");
        case 403:
            return Gb("禁止访问");
        case 404:
            return Gb("页面不存在");
        case 410:
            return Gb("页面已被删除");
        case 429:
            return Gb("请求太频繁");
        case 500:
            return Gb("服务器内部错误");
        case 502:
            return Gb("网关错误");
        case 503:
            return Gb("服务暂时不可用");
        case 504:
            return Gb("网关超时");
        default:
            return "";
    }
}

// A connect that failed for a reason other than a refusal, by its sockets code.
std::string ConnectProblem(int32_t code, const std::string& text) {
    if (code == 10051 || Has(text, "10051:"))
        return Gb("无法连接到服务器: 网络不可达");
    if (code == 10065 || Has(text, "10065:"))
        return Gb("无法连接到服务器: 没有到该主机的路由");
    if (code == 10064 || Has(text, "10064:"))
        return Gb("无法连接到服务器: 主机已关闭");
    return "";
}

std::string CertificateSentence(const FetchOutcome& outcome, const CertificateDetails* details) {
    switch (outcome.Certificate) {
        case CertificateCheck::Expired:
            if (details && !details->NotAfter.empty())
                return Gb("证书已于 ") + details->NotAfter + Gb(" 过期");
            return Gb("证书已过期");
        case CertificateCheck::NotYetValid:
            if (details && !details->NotBefore.empty())
                return Gb("证书要到 ") + details->NotBefore + Gb(" 才生效");
            return Gb("证书尚未生效");
        case CertificateCheck::SelfSigned:
            if (details && !details->Subject.empty())
                return Gb("证书不受信任: ") + details->Subject + Gb(" 是自签名的");
            return Gb("证书不受信任: 自签名");
        case CertificateCheck::HostnameMismatch:
            if (details && !details->Subject.empty())
                return Gb("证书属于 ") + details->Subject + Gb(", 不属于主机") + Host(outcome);
            return Gb("证书不属于主机") + Host(outcome);
        case CertificateCheck::UnknownIssuer:
            if (details && !details->Issuer.empty())
                return Gb("证书不受信任: 签发机构 ") + details->Issuer + Gb(" 未知");
            return Gb("证书不受信任: 签发机构未知");
        case CertificateCheck::Revoked:
            return Gb("证书已被吊销");
        case CertificateCheck::None:
        case CertificateCheck::Other:
            break;
    }
    return Gb("证书验证失败");
}

std::string TlsSentence(const FetchOutcome& outcome) {
    const std::string& text = outcome.Text;
    if (text == "Connection Canceled" || text == "Connection Timed out")
        return Gb("安全连接 (TLS) ") + Seconds(outcome.TimeLimitMs) + Gb(" 秒内没有建立");
    if (Has(text, "plain HTTP"))
        return Gb("服务器在这个端口上不用 HTTPS, 而是普通 HTTP");
    if (Has(text, "closed the connection") || Has(text, "not completed"))
        return Gb("建立安全连接 (TLS) 时服务器关闭了连接");
    if (Has(text, "10054:") || Has(text, "10053:"))
        return Gb("建立安全连接 (TLS) 时连接被服务器重置");
    return Gb("无法建立安全连接 (TLS)");
}

std::string OtherSentence(const FetchOutcome& outcome) {
    const std::string& text = outcome.Text;
    if (std::string problem = ConnectProblem(outcome.SocketError, text); !problem.empty())
        return problem;
    if (text == "Connection Failed")
        return Gb("无法连接到服务器");
    if (text == "Response header too long")
        return Gb("服务器的应答头太长");
    if (text.rfind("Invalid redirect location", 0) == 0)
        return Gb("服务器重定向到的地址有误");
    if (text.rfind("Unsupported redirect location", 0) == 0)
        return Gb("服务器重定向到的地址不是 http 或 https");
    if (text == "Empty URL" || Has(text, "in URL") || Has(text, "not a valid integer"))
        return Gb("网址有误");
    if (Has(text, "through a proxy"))
        return Gb("不支持通过代理访问 HTTPS");
    return Gb("无法检查这个站点");
}

std::string Sentence(const FetchOutcome& outcome, const CertificateDetails* details) {
    switch (outcome.Kind) {
        case FetchKind::Ok:
            return "";
        case FetchKind::BodyCut:
            return Gb("页面超过 ") + Size(outcome.ByteLimit) + Gb(", 只检查了前 ") +
                   Size(outcome.ByteLimit);
        case FetchKind::HttpStatus: {
            std::string sentence = Gb("服务器返回 ") + std::to_string(outcome.ReplyCode);
            if (const std::string meaning = StatusMeaning(outcome.ReplyCode); !meaning.empty())
                sentence += Gb(": ") + meaning;
            return sentence;
        }
        case FetchKind::Refused:
            return Gb("连接被拒绝: 该端口没有服务");
        case FetchKind::HostNotFound:
            return Gb("找不到主机") + Host(outcome);
        case FetchKind::ConnectTimeout:
            if (outcome.Text.rfind("Host Lookup", 0) == 0)
                return Seconds(outcome.TimeLimitMs) + Gb(" 秒内没有查到主机") + Host(outcome);
            return Gb("服务器 ") + Seconds(outcome.TimeLimitMs) + Gb(" 秒内没有接受连接");
        case FetchKind::FirstByteTimeout:
            return Gb("服务器 ") + Seconds(outcome.TimeLimitMs) + Gb(" 秒内没有应答");
        case FetchKind::DeadlineCut: {
            std::string sentence = Gb("页面 ") + Seconds(outcome.TimeLimitMs) + Gb(" 秒内没有传完");
            if (outcome.Bytes > 0)
                sentence += Gb(", 已收到 ") + std::to_string(outcome.Bytes) + Gb(" 字节");
            return sentence;
        }
        case FetchKind::Closed:
            return Gb("服务器没有应答就关闭了连接");
        case FetchKind::Reset:
            if (outcome.Text.empty() && outcome.ExpectedBytes > 0)
                return Gb("页面没有传完连接就断开了: 收到 ") +
                       std::to_string(outcome.ReceivedBytes) + Gb(" 字节, 应有 ") +
                       std::to_string(outcome.ExpectedBytes) + Gb(" 字节");
            return Gb("连接被服务器重置");
        case FetchKind::TlsHandshake:
            return TlsSentence(outcome);
        case FetchKind::Certificate:
            return CertificateSentence(outcome, details);
        case FetchKind::TooManyRedirects:
            return Gb("重定向次数太多");
        case FetchKind::Canceled:
            return Gb("检查被中断");
        case FetchKind::Other:
            return OtherSentence(outcome);
    }
    return OtherSentence(outcome);
}

const CertificateDetails* DetailsOf(const FetchOutcome& outcome, const CertificateDetails* given) {
    if (given)
        return given;
    return outcome.CertificateInfo ? &*outcome.CertificateInfo : nullptr;
}

}  // namespace

std::string ReasonSentence(const FetchOutcome& outcome, const CertificateDetails* certificate) {
    return Sentence(outcome, DetailsOf(outcome, certificate));
}

std::string ReasonLine(const FetchOutcome& outcome, const CertificateDetails* certificate) {
    std::string line = Sentence(outcome, DetailsOf(outcome, certificate));
    if (!line.empty() && !outcome.Text.empty())
        line += " (" + outcome.Text + ")";
    return line;
}

}  // namespace app
