#pragma once

// The socket plumbing the test servers share: listening sockets on one
// loopback address, "127.0.0.1" or "::1", and an abrupt close. An IPv6 socket takes IPv6 only, so
// the same port of the other family's loopback stays free and refuses connections.
#include <cstdint>
#include <string>

namespace testsupport {

// A listening socket (close-on-exec, plus the extra socket() flags given) on
// Address and Port (0: chosen by the system); the port it got goes to BoundPort.
// Throws std::runtime_error naming the address when it cannot listen there, as
// on a machine whose lo has no ::1.
int ListenOnLoopback(const std::string& Address, uint16_t Port, int Backlog, uint16_t& BoundPort,
                     int ExtraFlags = 0);

// Makes the next close of fd send a reset instead of an orderly end.
void ResetOnClose(int fd);

// A loopback port whose connection attempts are never answered: it listens
// with a queue of one and keeps that queue full with a connection of its own,
// so the system drops every further attempt as a host that has gone away
// would. Closed at destruction.
class UnansweredPort {
public:
    UnansweredPort(const std::string& Address, uint16_t Port);
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;
    uint16_t Port() const { return FPort; }

private:
    int FListen = -1;
    int FFiller = -1;
    uint16_t FPort = 0;
};

}  // namespace testsupport
