#include "tests/support/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testsupport {

namespace {

struct Address {
    sockaddr_storage Storage{};
    socklen_t Length = 0;
    int Family = AF_UNSPEC;
};

Address LoopbackAddress(const std::string& text, uint16_t port) {
    Address address;
    if (text == "::1") {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address.Storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        v6.sin6_port = htons(port);
        address.Length = sizeof v6;
        address.Family = AF_INET6;
    } else if (text == "127.0.0.1") {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address.Storage);
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4.sin_port = htons(port);
        address.Length = sizeof v4;
        address.Family = AF_INET;
    } else {
        throw std::invalid_argument("not a loopback address: " + text);
    }
    return address;
}

}  // namespace

int ListenOnLoopback(const std::string& text, uint16_t port, int backlog, uint16_t& boundPort,
                     int extraFlags) {
    Address address = LoopbackAddress(text, port);
    const int fd = ::socket(address.Family, SOCK_STREAM | SOCK_CLOEXEC | extraFlags, 0);
    const int on = 1;
    const bool v6Only = address.Family != AF_INET6 ||
                        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0;
    if (fd < 0 || !v6Only ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address.Storage), address.Length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address.Storage), &address.Length) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot listen on " + text + " port " + std::to_string(port) +
                                 ": " + reason + (text == "::1" ? " (is ::1 on lo?)" : ""));
    }
    boundPort = ntohs(address.Family == AF_INET6
                          ? reinterpret_cast<sockaddr_in6&>(address.Storage).sin6_port
                          : reinterpret_cast<sockaddr_in&>(address.Storage).sin_port);
    return fd;
}

void ResetOnClose(int fd) {
    const linger abrupt{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
}

UnansweredPort::UnansweredPort(const std::string& text, uint16_t port) {
    FListen = ListenOnLoopback(text, port, 0, FPort);
    Address address = LoopbackAddress(text, FPort);
    FFiller = ::socket(address.Family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FFiller < 0 ||
        ::connect(FFiller, reinterpret_cast<sockaddr*>(&address.Storage), address.Length) != 0) {
        if (FFiller >= 0)
            ::close(FFiller);
        ::close(FListen);
        throw std::runtime_error("cannot fill the queue of " + text);
    }
}

UnansweredPort::~UnansweredPort() {
    ::close(FFiller);
    ::close(FListen);
}

}  // namespace testsupport
