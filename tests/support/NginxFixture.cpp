#include "tests/support/NginxFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace {
const char* const NginxPath = "/usr/sbin/nginx";

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}
}  // namespace

uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind a loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

NginxFixture::NginxFixture() : FRoot(FFolder.File("root")) {
    std::filesystem::create_directories(FRoot);
    std::filesystem::create_directories(FFolder.File("temp"));
}

NginxFixture::~NginxFixture() {
    Stop();
}

std::string NginxFixture::FilePath(const std::string& relativePath) const {
    return FRoot + "/" + relativePath;
}

void NginxFixture::AddFile(const std::string& relativePath, const std::string& content) {
    const std::filesystem::path path = FilePath(relativePath);
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path.string(), content);
}

void NginxFixture::AddLargeFile(const std::string& relativePath, int64_t size) {
    const std::filesystem::path path = FilePath(relativePath);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>('a' + i % 26);
    for (int64_t left = size; left > 0;) {
        const auto n = static_cast<std::streamsize>(std::min<int64_t>(left, block.size()));
        out.write(block.data(), n);
        left -= n;
    }
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void NginxFixture::AddLocation(const std::string& match, const std::string& body) {
    FLocations.push_back("location " + match + " { " + body + " }");
}

void NginxFixture::AddRedirect(const std::string& from, int code, const std::string& to) {
    AddLocation("= " + from, "return " + std::to_string(code) + " " + to + ";");
}

void NginxFixture::AddServerDirective(const std::string& directive) {
    FServerDirectives.push_back(directive);
}

void NginxFixture::EnableTls(const std::string& certificateFile, const std::string& keyFile) {
    FCertificate = certificateFile;
    FKey = keyFile;
}

std::string NginxFixture::Config(uint16_t port) const {
    const std::string temp = FFolder.File("temp");
    std::string config;
    config += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
    config += "pid " + FFolder.File("nginx.pid") + ";\n";
    config += "error_log " + FFolder.File("error.log") + " warn;\n";
    config += "events { worker_connections 64; }\n";
    config += "http {\n";
    config += "  access_log " + FFolder.File("access.log") + ";\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += std::string("  ") + kind + "_temp_path " + temp + "/" + kind + ";\n";
    config += "  types { text/html html htm; text/plain txt; application/octet-stream bin; }\n";
    config += "  default_type application/octet-stream;\n";
    config += "  sendfile on;\n";
    config += "  server {\n";
    config += "    listen 127.0.0.1:" + std::to_string(port) +
              (FCertificate.empty() ? "" : " ssl") + ";\n";
    config += "    server_name localhost;\n";
    if (!FCertificate.empty()) {
        config += "    ssl_certificate " + FCertificate + ";\n";
        config += "    ssl_certificate_key " + FKey + ";\n";
    }
    config += "    root " + FRoot + ";\n";
    for (const auto& directive : FServerDirectives)
        config += "    " + directive + "\n";
    for (const auto& location : FLocations)
        config += "    " + location + "\n";
    config += "  }\n}\n";
    return config;
}

bool NginxFixture::TryStart(uint16_t port, std::string& failure) {
    const std::string configPath = FFolder.File("nginx.conf");
    WriteFile(configPath, Config(port));
    WriteFile(FFolder.File("error.log"), "");
    FProcess = std::make_unique<QProcess>();
    FProcess->setProgram(NginxPath);
    FProcess->setArguments({"-p", QString::fromStdString(FFolder.Path()), "-e",
                            QString::fromStdString(FFolder.File("error.log")), "-c",
                            QString::fromStdString(configPath)});
    FProcess->setStandardOutputFile(QString::fromStdString(FFolder.File("nginx.out")));
    FProcess->setStandardErrorFile(QString::fromStdString(FFolder.File("nginx.out")),
                                   QIODevice::Append);
    FProcess->start();
    if (!FProcess->waitForStarted(10000)) {
        failure = "cannot start " + std::string(NginxPath);
        FProcess.reset();
        return false;
    }
    const bool up =
        PumpUntil([&] { return FProcess->state() != QProcess::Running || Accepts(port); },
                  std::chrono::seconds(20));
    if (up && FProcess->state() == QProcess::Running) {
        FPort = port;
        return true;
    }
    failure = ErrorLog() + ReadFile(FFolder.File("nginx.out"));
    Stop();
    return false;
}

void NginxFixture::Start() {
    Stop();
    std::string failure;
    // The port was free when chosen; another program may take it before nginx
    // binds it, so a few fresh ports are tried.
    for (int attempt = 0; attempt < 5; ++attempt)
        if (TryStart(FreeLoopbackPort(), failure))
            return;
    throw std::runtime_error("nginx did not start: " + failure);
}

void NginxFixture::Stop() {
    if (!FProcess)
        return;
    if (FProcess->state() != QProcess::NotRunning) {
        FProcess->terminate();
        if (!FProcess->waitForFinished(10000)) {
            FProcess->kill();
            FProcess->waitForFinished(10000);
        }
    }
    FProcess.reset();
    FPort = 0;
}

std::string NginxFixture::Url(const std::string& path) const {
    return (FCertificate.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") +
           std::to_string(FPort) + path;
}

std::string NginxFixture::RawRequest(const std::string& request) const {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address = Loopback(FPort);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect to nginx");
    }
    for (size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return answer;
}

std::string NginxFixture::ErrorLog() const {
    return ReadFile(FFolder.File("error.log"));
}

}  // namespace testsupport
