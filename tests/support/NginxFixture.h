#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

class QProcess;

namespace testsupport {

// A real nginx on a free loopback port, serving a temporary document root from a
// temporary configuration; every path it writes (pid, logs, temp files) lies in
// its own temporary folder, so it needs no system paths. Stopped at destruction.
//
//   NginxFixture nginx;
//   nginx.AddFile("index.html", "<p>hi</p>");
//   nginx.AddLocation("= /old", "return 301 /index.html;");
//   nginx.Start();
//   client.Get(nginx.Url("/old"));
class NginxFixture {
public:
    NginxFixture();
    ~NginxFixture();
    NginxFixture(const NginxFixture&) = delete;
    NginxFixture& operator=(const NginxFixture&) = delete;

    // Files may be added at any time; they are served from disk.
    void AddFile(const std::string& relativePath, const std::string& content);
    // A file of `size` bytes of a repeating pattern, written in blocks.
    void AddLargeFile(const std::string& relativePath, int64_t size);
    std::string FilePath(const std::string& relativePath) const;

    // A location block: `match` is what follows "location" ("= /a", "/dir/"),
    // `body` the directives inside the braces. Takes effect at the next Start.
    void AddLocation(const std::string& match, const std::string& body);
    // Shorthand for a redirect: "location = from { return code to; }".
    void AddRedirect(const std::string& from, int code, const std::string& to);
    // Extra directives for the server block (e.g. "add_header X-A b;").
    void AddServerDirective(const std::string& directive);
    // Serves TLS instead of plain HTTP with the given PEM files (see
    // TestCertificates); takes effect at the next Start.
    void EnableTls(const std::string& certificateFile, const std::string& keyFile);

    // Starts nginx (restarting it when running) and returns once it accepts
    // connections. Throws std::runtime_error with nginx's error log on failure.
    void Start();
    void Stop();

    uint16_t Port() const { return FPort; }
    // "http://127.0.0.1:<port>" + path ("https://..." with TLS).
    std::string Url(const std::string& path) const;
    std::string ErrorLog() const;

    // Sends raw request bytes over a plain blocking socket and returns everything
    // nginx answers until it closes: the reference the client is compared with.
    std::string RawRequest(const std::string& request) const;

private:
    bool TryStart(uint16_t port, std::string& failure);
    std::string Config(uint16_t port) const;

    TempFolder FFolder;
    std::string FRoot;
    std::vector<std::string> FLocations;
    std::vector<std::string> FServerDirectives;
    std::string FCertificate;  // empty: plain HTTP
    std::string FKey;
    std::unique_ptr<QProcess> FProcess;
    uint16_t FPort = 0;
};

// A loopback port that was free a moment ago (bound to port 0, then closed).
uint16_t FreeLoopbackPort();

}  // namespace testsupport
