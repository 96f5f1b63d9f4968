#include "tests/support/HostileServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <list>
#include <stdexcept>
#include <vector>

#include "tests/support/LoopbackListener.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t MaxRequestBytes = 64 * 1024;
constexpr size_t FillBytes = 256 * 1024;
constexpr char Garbage[] =
    "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\xff\xfe\r\n"
    "\x00\x07\x80\x81garbage\r\n\r\n\x00\x01\x02 not a page";

// What one connection is sent once its request has arrived: Head, then Pattern
// Repeats times (forever when negative), then Tail, then the end step.
struct Reply {
    enum class End { Close, Reset, Hold };
    std::string Head;
    std::string Pattern;
    int64_t Repeats = 0;
    std::string Tail;
    End Finish = End::Close;
    bool Dribble = false;
};

Reply ReplyFor(HostileServer::Behaviour behaviour, uint16_t port, const std::string& path) {
    using B = HostileServer::Behaviour;
    Reply reply;
    const std::string pageHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
    switch (behaviour) {
        case B::Silent:
        case B::Refuse:
            reply.Finish = Reply::End::Hold;
            break;
        case B::Dribble:
            reply.Head = pageHead + "<html><body>";
            reply.Pattern = "x";
            reply.Repeats = -1;
            reply.Dribble = true;
            break;
        case B::EndlessBody:
            reply.Head = pageHead;
            for (int i = 0; i < 4096; ++i)
                reply.Pattern += "<p>filler</p>\r\n";
            reply.Repeats = -1;
            break;
        case B::ManyHeaderLines:
            reply.Head = "HTTP/1.0 200 OK\r\n";
            reply.Pattern = "X-Filler: one of very many header lines\r\n";
            reply.Repeats = 100000;
            reply.Tail = "Content-Type: text/html\r\n\r\n<html>many header lines</html>";
            break;
        case B::HugeHeaderLine:
            reply.Head = "HTTP/1.0 200 OK\r\nX-Huge: ";
            reply.Pattern = std::string(64 * 1024, 'h');
            reply.Repeats = 160;  // 10 MiB
            reply.Tail = "\r\nContent-Type: text/html\r\n\r\n<html>huge header line</html>";
            break;
        case B::ResetMidBody:
            reply.Head =
                "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1048576\r\n\r\n";
            reply.Pattern = std::string(1024, 'z');
            reply.Repeats = 64;
            reply.Finish = Reply::End::Reset;
            break;
        case B::GarbageStatusLine:
            // Bytes of a TLS hello and other binary where the status line belongs.
            reply.Head.assign(Garbage, sizeof Garbage - 1);
            break;
        case B::RedirectToSelf:
            reply.Head =
                "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(port) + path +
                "\r\nContent-Length: 0\r\n\r\n";
            break;
    }
    return reply;
}

struct Connection {
    int Fd = -1;
    std::string Request;
    bool Responding = false;
    Reply Plan;
    int Stage = 0;  // 0 head, 1 pattern, 2 tail, 3 all produced
    int64_t RepeatsDone = 0;
    std::string Out;  // produced, not yet sent, from OutOffset on
    size_t OutOffset = 0;
    bool Finished = false;  // the end step has run
    Clock::time_point NextByte{};

    bool Produced() const { return Stage == 3; }
    size_t Pending() const { return Out.size() - OutOffset; }

    // Tops Out up to limit bytes from the plan.
    void Fill(size_t limit) {
        if (OutOffset > 0) {
            Out.erase(0, OutOffset);
            OutOffset = 0;
        }
        while (Out.size() < limit && Stage < 3) {
            if (Stage == 0) {
                Out += Plan.Head;
                Stage = 1;
            } else if (Stage == 1) {
                if (Plan.Pattern.empty() || (Plan.Repeats >= 0 && RepeatsDone >= Plan.Repeats)) {
                    Stage = 2;
                    continue;
                }
                Out += Plan.Pattern;
                ++RepeatsDone;
            } else {
                Out += Plan.Tail;
                Stage = 3;
            }
        }
    }
};

// Request path: the second word of the request line.
std::string PathOf(const std::string& request) {
    const size_t first = request.find(' ');
    if (first == std::string::npos)
        return "/";
    const size_t second = request.find_first_of(" \r\n", first + 1);
    return request.substr(first + 1,
                          second == std::string::npos ? std::string::npos : second - first - 1);
}

}  // namespace

const char* HostileServer::Name(Behaviour behaviour) {
    switch (behaviour) {
        case Behaviour::Silent:
            return "Silent";
        case Behaviour::Dribble:
            return "Dribble";
        case Behaviour::EndlessBody:
            return "EndlessBody";
        case Behaviour::ManyHeaderLines:
            return "ManyHeaderLines";
        case Behaviour::HugeHeaderLine:
            return "HugeHeaderLine";
        case Behaviour::ResetMidBody:
            return "ResetMidBody";
        case Behaviour::GarbageStatusLine:
            return "GarbageStatusLine";
        case Behaviour::RedirectToSelf:
            return "RedirectToSelf";
        case Behaviour::Refuse:
            return "Refuse";
    }
    return "?";
}

HostileServer::HostileServer(Behaviour behaviour) : FBehaviour(behaviour) {
    FListen = ListenOnLoopback("127.0.0.1", 0, 64, FPort, SOCK_NONBLOCK);
    if (behaviour == Behaviour::Refuse) {
        // The port was ours a moment ago; with nothing listening, connects are refused.
        ::close(FListen);
        FListen = -1;
        return;
    }
    FThread = std::thread([this] { Run(); });
}

HostileServer::~HostileServer() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    if (FListen >= 0)
        ::close(FListen);
}

std::string HostileServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void HostileServer::Run() {
    std::list<Connection> connections;
    auto drop = [this, &connections](std::list<Connection>::iterator it) {
        ::close(it->Fd);
        --FOpen;
        return connections.erase(it);
    };
    std::vector<pollfd> polls;
    std::vector<std::list<Connection>::iterator> owners;
    while (!FStop) {
        const auto now = Clock::now();
        int timeout = 50;
        polls.assign(1, pollfd{FListen, POLLIN, 0});
        owners.clear();
        for (auto it = connections.begin(); it != connections.end(); ++it) {
            short events = POLLIN;
            if (it->Responding && !it->Finished) {
                if (!it->Plan.Dribble) {
                    events |= POLLOUT;
                } else if (it->NextByte <= now) {
                    events |= POLLOUT;
                } else {
                    const auto wait =
                        std::chrono::duration_cast<std::chrono::milliseconds>(it->NextByte - now)
                            .count() +
                        1;
                    timeout = std::min<int>(timeout, static_cast<int>(wait));
                }
            }
            polls.push_back(pollfd{it->Fd, events, 0});
            owners.push_back(it);
        }
        if (::poll(polls.data(), polls.size(), timeout) < 0 && errno != EINTR)
            return;

        if (polls[0].revents & POLLIN) {
            while (true) {
                const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0)
                    break;
                ++FConnections;
                ++FOpen;
                Connection connection;
                connection.Fd = fd;
                connections.push_back(std::move(connection));
            }
        }

        for (size_t i = 1; i < polls.size(); ++i) {
            auto it = owners[i - 1];
            Connection& c = *it;
            bool gone = false;
            if (polls[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[16384];
                const ssize_t got = ::recv(c.Fd, buffer, sizeof buffer, 0);
                if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                    gone = true;
                } else if (got > 0 && !c.Responding) {
                    c.Request.append(buffer, static_cast<size_t>(got));
                    if (c.Request.find("\r\n\r\n") != std::string::npos ||
                        c.Request.size() > MaxRequestBytes) {
                        c.Responding = true;
                        c.Plan = ReplyFor(FBehaviour, FPort, PathOf(c.Request));
                        c.NextByte = Clock::now();
                    }
                }
            }
            if (!gone && c.Responding && !c.Finished && (polls[i].revents & POLLOUT)) {
                c.Fill(c.Plan.Dribble ? 1 : FillBytes);
                const size_t chunk =
                    c.Plan.Dribble ? std::min<size_t>(1, c.Pending()) : c.Pending();
                if (chunk > 0) {
                    const ssize_t sent =
                        ::send(c.Fd, c.Out.data() + c.OutOffset, chunk, MSG_NOSIGNAL);
                    if (sent > 0) {
                        c.OutOffset += static_cast<size_t>(sent);
                        FSent += sent;
                        c.NextByte = Clock::now() + std::chrono::milliseconds(FDribblePauseMs);
                    } else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                        gone = true;
                    }
                }
                if (!gone && c.Produced() && c.Pending() == 0) {
                    c.Finished = true;
                    if (c.Plan.Finish == Reply::End::Close) {
                        // The client reads to the end; the close follows once it has.
                        ::shutdown(c.Fd, SHUT_WR);
                    } else if (c.Plan.Finish == Reply::End::Reset) {
                        ResetOnClose(c.Fd);
                        gone = true;
                    }
                }
            }
            if (gone)
                drop(it);
        }
    }
    while (!connections.empty())
        drop(connections.begin());
}

}  // namespace testsupport
