#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// A loopback HTTP server with a script: each accepted connection reads one whole
// request (header and Content-Length body), records its exact bytes and gets the
// next scripted answer. Runs on the test's event loop, which the client's
// waiting loops keep pumping.
class HttpTestPeer {
public:
    struct Answer {
        std::string Bytes;
        // Close once the bytes are written; false keeps the connection open
        // (a server that never finishes its body).
        bool Close = true;
    };

    // Listens on 127.0.0.1 or, given QHostAddress::LocalHostIPv6, on ::1 alone.
    explicit HttpTestPeer(const QHostAddress& address = QHostAddress::LocalHost);
    ~HttpTestPeer();

    uint16_t Port() const;
    // "http://127.0.0.1:<port>" (or "http://[::1]:<port>") + path.
    std::string Url(const std::string& path) const;

    void Reply(const std::string& bytes, bool close = true) { FScript.push_back({bytes, close}); }
    // The same answer for every connection from now on (a server in a loop).
    void ReplyAlways(const std::string& bytes) { FAlways = bytes; }

    const std::vector<std::string>& Requests() const { return FRequests; }
    int Connections() const { return FConnections; }

private:
    void OnConnection();
    void OnData(QTcpSocket* socket);

    std::unique_ptr<QTcpServer> FServer;
    std::deque<Answer> FScript;
    std::string FAlways;
    std::vector<std::string> FRequests;
    int FConnections = 0;
};

// "HTTP/1.0 <status>\r\n" + header lines + blank line + body.
std::string Response(const std::string& status, const std::vector<std::string>& lines,
                     const std::string& body = "");
