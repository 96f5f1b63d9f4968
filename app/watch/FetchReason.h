#pragma once

#include <string>

#include "app/watch/FetchOutcome.h"

namespace app {

// Why a fetch did not give a good page, as a short Chinese sentence a user
// understands ("连接被拒绝: 该端口没有服务", "找不到主机 nosuch.example",
// "服务器 8 秒内没有应答", "服务器返回 404: 页面不存在"), GB18030 text; empty
// for a good page. The certificate's details, when known (given here or held
// by the outcome), make a certificate sentence precise: "证书已于 2026-11-30 过期".
std::string ReasonSentence(const FetchOutcome& outcome,
                           const CertificateDetails* certificate = nullptr);

// The sentence with the component's own text kept beside it in brackets, so
// the precise words are still there to search for or report:
// "连接被拒绝: 该端口没有服务 (Connection Failed)".
std::string ReasonLine(const FetchOutcome& outcome,
                       const CertificateDetails* certificate = nullptr);

}  // namespace app
