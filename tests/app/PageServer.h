#pragma once

#include <QObject>
#include <QTcpServer>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QTcpSocket;

namespace testsupport {

// A small HTTP server on 127.0.0.1 (port chosen by the system) that runs in the
// test's own event loop, so it is served while the client under test pumps
// events. It records every request and answers by path, or misbehaves on purpose.
class PageServer : public QObject {
public:
    enum class Behaviour {
        Answer,   // the scripted reply for the path, then close
        Hang,     // read the request, answer nothing, keep the connection open
        Dribble,  // one byte every few milliseconds, never closing
        Flood,    // an endless stream of filler after a first page, as fast as it goes
    };
    struct Request {
        std::string Raw;          // request line and header lines as received
        std::string RequestLine;  // first line, without its line end
        std::string Path;         // second word of the request line
    };

    PageServer();
    ~PageServer() override;

    uint16_t Port() const { return FServer.serverPort(); }
    // "127.0.0.1:<port>" + path, an address without a scheme.
    std::string Address(const std::string& path) const;

    // The reply for a path: status line, a Content-Type line, the body.
    void SetPage(const std::string& path, const std::string& body, int status = 200);
    // The whole reply for a path, status line and header included, as given.
    void SetReply(const std::string& path, const std::string& reply) { FPages[path] = reply; }
    // The reply for paths without a page of their own.
    void SetDefaultPage(const std::string& body) { FDefaultBody = body; }
    // How a path is served (Answer unless set).
    void SetBehaviour(const std::string& path, Behaviour behaviour) {
        FBehaviours[path] = behaviour;
    }

    // Runs when a whole request has arrived, before it is answered.
    std::function<void(const Request&)> OnRequest;

    const std::vector<Request>& Requests() const { return FRequests; }
    std::vector<std::string> Paths() const;
    int Connections() const { return FConnections; }
    // Bytes sent by Dribble and Flood so far.
    int64_t StreamedBytes() const { return FStreamed; }

private:
    void Accept();
    void Serve(QTcpSocket* socket, const std::string& raw);
    void Stream(QTcpSocket* socket, Behaviour behaviour, const std::string& first);

    QTcpServer FServer;
    std::map<std::string, std::string> FPages;
    std::map<std::string, Behaviour> FBehaviours;
    std::string FDefaultBody = "<html><body>nobody here</body></html>";
    std::vector<Request> FRequests;
    int FConnections = 0;
    int64_t FStreamed = 0;
};

}  // namespace testsupport
