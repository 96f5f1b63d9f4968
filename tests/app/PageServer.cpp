#include "tests/app/PageServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <stdexcept>

namespace testsupport {

PageServer::PageServer() {
    if (!FServer.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the page server cannot listen on 127.0.0.1");
    QObject::connect(&FServer, &QTcpServer::newConnection, this, [this] { Accept(); });
}

PageServer::~PageServer() = default;

std::string PageServer::Address(const std::string& path) const {
    return "127.0.0.1:" + std::to_string(Port()) + path;
}

void PageServer::SetPage(const std::string& path, const std::string& body, int status) {
    FPages[path] = "HTTP/1.0 " + std::to_string(status) + " Scripted\r\n" +
                   "Content-Type: text/html\r\n\r\n" + body;
}

std::vector<std::string> PageServer::Paths() const {
    std::vector<std::string> paths;
    for (const Request& request : FRequests)
        paths.push_back(request.Path);
    return paths;
}

void PageServer::Accept() {
    while (QTcpSocket* socket = FServer.nextPendingConnection()) {
        ++FConnections;
        socket->setParent(this);
        auto received = std::make_shared<std::string>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
            const bool complete = received->find("\r\n\r\n") != std::string::npos;
            const QByteArray bytes = socket->readAll();
            if (complete)
                return;  // anything after the header is ignored
            received->append(bytes.constData(), static_cast<size_t>(bytes.size()));
            if (received->find("\r\n\r\n") != std::string::npos)
                Serve(socket, *received);
        });
    }
}

void PageServer::Serve(QTcpSocket* socket, const std::string& raw) {
    Request request;
    request.Raw = raw.substr(0, raw.find("\r\n\r\n") + 4);
    request.RequestLine = raw.substr(0, raw.find("\r\n"));
    const size_t firstBlank = request.RequestLine.find(' ');
    const size_t secondBlank = request.RequestLine.find(' ', firstBlank + 1);
    if (firstBlank != std::string::npos)
        request.Path = request.RequestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    FRequests.push_back(request);
    QPointer<QTcpSocket> alive(socket);
    if (OnRequest)
        OnRequest(request);
    if (!alive)
        return;

    const auto behaviour = FBehaviours.find(request.Path);
    const Behaviour how = behaviour == FBehaviours.end() ? Behaviour::Answer : behaviour->second;
    const auto page = FPages.find(request.Path);
    const std::string reply =
        page != FPages.end() ? page->second
                             : "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + FDefaultBody;
    switch (how) {
        case Behaviour::Answer:
            socket->write(reply.data(), static_cast<qint64>(reply.size()));
            socket->disconnectFromHost();
            break;
        case Behaviour::Hang:
            break;
        case Behaviour::Dribble:
        case Behaviour::Flood:
            Stream(socket, how, reply);
            break;
    }
}

void PageServer::Stream(QTcpSocket* socket, Behaviour behaviour, const std::string& first) {
    socket->write(first.data(), static_cast<qint64>(first.size()));
    if (behaviour == Behaviour::Dribble) {
        auto* ticker = new QTimer(socket);
        QObject::connect(ticker, &QTimer::timeout, socket, [this, socket] {
            if (socket->state() != QAbstractSocket::ConnectedState)
                return;
            socket->write("x", 1);
            ++FStreamed;
        });
        ticker->start(20);
        return;
    }
    // Flood: keep a few blocks queued; refill whenever some have gone out.
    const QByteArray block(64 * 1024, 'y');
    auto refill = [this, socket, block] {
        while (socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < 4 * block.size()) {
            socket->write(block);
            FStreamed += block.size();
        }
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, refill);
    refill();
}

}  // namespace testsupport
