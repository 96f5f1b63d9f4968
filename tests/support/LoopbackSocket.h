#pragma once

// The socket plumbing the test servers share: a listening socket on
// 127.0.0.1 with a port the system chose, and an abrupt close.
#include <cstdint>

namespace testsupport {

struct LoopbackListener {
    int Fd = -1;
    uint16_t Port = 0;
};

// Binds a TCP socket to 127.0.0.1, port 0, and listens. flags are added to
// SOCK_STREAM (SOCK_CLOEXEC is always set: SOCK_NONBLOCK, say). Throws
// std::runtime_error naming who when any step fails; nothing is left open then.
LoopbackListener ListenOnLoopback(const char* who, int flags = 0, int backlog = 64);

// Makes the next close of fd send a reset instead of an orderly end.
void ResetOnClose(int fd);

}  // namespace testsupport
