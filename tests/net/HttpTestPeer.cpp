#include "tests/net/HttpTestPeer.h"

#include <QHostAddress>
#include <stdexcept>

#include "net/NMExtstr.h"

namespace {
// Bytes a complete request occupies in `data`, or 0 while it is incomplete.
size_t RequestSize(const std::string& data) {
    const size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos)
        return 0;
    size_t length = 0;
    size_t start = 0;
    while (start < end) {
        const size_t next = data.find("\r\n", start);
        const std::string line = data.substr(start, next - start);
        if (net::CompareText(net::LineName(line), "Content-Length") == 0)
            length = std::stoul(line.substr(line.find(':') + 1));
        start = next + 2;
    }
    const size_t total = end + 4 + length;
    return data.size() >= total ? total : 0;
}
}  // namespace

std::string Response(const std::string& status, const std::vector<std::string>& lines,
                     const std::string& body) {
    std::string text = "HTTP/1.0 " + status + "\r\n";
    for (const auto& line : lines)
        text += line + "\r\n";
    return text + "\r\n" + body;
}

HttpTestPeer::HttpTestPeer(const QHostAddress& address) : FServer(std::make_unique<QTcpServer>()) {
    if (!FServer->listen(address, 0))
        throw std::runtime_error("cannot listen on " + address.toString().toStdString() + ": " +
                                 FServer->errorString().toStdString());
    QObject::connect(FServer.get(), &QTcpServer::newConnection, [this] { OnConnection(); });
}

HttpTestPeer::~HttpTestPeer() = default;

uint16_t HttpTestPeer::Port() const {
    return FServer->serverPort();
}

std::string HttpTestPeer::Url(const std::string& path) const {
    const QHostAddress address = FServer->serverAddress();
    const std::string host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? "[" + address.toString().toStdString() + "]"
                                 : address.toString().toStdString();
    return "http://" + host + ":" + std::to_string(Port()) + path;
}

void HttpTestPeer::OnConnection() {
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        ++FConnections;
        socket->setParent(FServer.get());
        socket->setProperty("received", QByteArray());
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [this, socket] { OnData(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpTestPeer::OnData(QTcpSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray received = socket->property("received").toByteArray() + socket->readAll();
    socket->setProperty("received", received);
    const std::string data = received.toStdString();
    const size_t size = RequestSize(data);
    if (size == 0)
        return;
    FRequests.push_back(data.substr(0, size));
    socket->setProperty("answered", true);

    Answer answer;
    if (!FScript.empty()) {
        answer = FScript.front();
        FScript.pop_front();
    } else {
        answer.Bytes = FAlways;
    }
    socket->write(answer.Bytes.data(), static_cast<qint64>(answer.Bytes.size()));
    if (answer.Close)
        socket->disconnectFromHost();
}
