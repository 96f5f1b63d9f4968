#include "tests/support/ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/LoopbackListener.h"

namespace testsupport {

ScriptedPeer::ScriptedPeer(const std::string& ListenAddress) {
    FListen = ListenOnLoopback(ListenAddress, 0, 4, FPort);
}

ScriptedPeer::~ScriptedPeer() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    if (FListen >= 0)
        ::close(FListen);
}

ScriptedPeer& ScriptedPeer::Send(std::string Bytes) {
    FSteps.push_back({TStep::TKind::Send, std::move(Bytes)});
    return *this;
}
ScriptedPeer& ScriptedPeer::SendSlowly(std::string Bytes, std::chrono::milliseconds Pause) {
    TStep step{TStep::TKind::SendSlowly, std::move(Bytes)};
    step.Pause = Pause;
    FSteps.push_back(step);
    return *this;
}
ScriptedPeer& ScriptedPeer::ReadBytes(size_t Count) {
    TStep step{TStep::TKind::ReadBytes, {}};
    step.Count = Count;
    FSteps.push_back(step);
    return *this;
}
ScriptedPeer& ScriptedPeer::ReadLine() {
    return ReadUntil("\n");
}
ScriptedPeer& ScriptedPeer::ReadUntil(std::string Marker) {
    FSteps.push_back({TStep::TKind::ReadUntil, std::move(Marker)});
    return *this;
}
ScriptedPeer& ScriptedPeer::Close() {
    FSteps.push_back({TStep::TKind::Close, {}});
    return *this;
}
ScriptedPeer& ScriptedPeer::Reset() {
    FSteps.push_back({TStep::TKind::Reset, {}});
    return *this;
}
ScriptedPeer& ScriptedPeer::Hold() {
    FSteps.push_back({TStep::TKind::Hold, {}});
    return *this;
}

void ScriptedPeer::Start() {
    FThread = std::thread([this] { Run(); });
}

bool ScriptedPeer::Wait(std::chrono::milliseconds Deadline) {
    const auto end = std::chrono::steady_clock::now() + Deadline;
    while (!FDone) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
        ::poll(nullptr, 0, 5);
    }
    return true;
}

std::string ScriptedPeer::Received() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FReceived;
}

bool ScriptedPeer::WaitReadable(int Fd, int TimeoutMs) {
    pollfd entry{Fd, POLLIN, 0};
    return ::poll(&entry, 1, TimeoutMs) > 0;
}

bool ScriptedPeer::SendAll(int Fd, const char* Data, size_t Length) {
    while (Length > 0 && !FStop) {
        pollfd entry{Fd, POLLOUT, 0};
        if (::poll(&entry, 1, 50) <= 0)
            continue;
        const ssize_t n = ::send(Fd, Data, Length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return false;
        }
        Data += n;
        Length -= static_cast<size_t>(n);
    }
    return Length == 0;
}

void ScriptedPeer::Run() {
    int fd = -1;
    while (!FStop && fd < 0) {
        if (WaitReadable(FListen, 50))
            fd = ::accept(FListen, nullptr, nullptr);
    }
    if (fd < 0) {
        FDone = true;
        return;
    }
    FAccepted = true;
    bool closed = false;
    for (const TStep& step : FSteps) {
        if (FStop || closed)
            break;
        switch (step.Kind) {
            case TStep::TKind::Send:
                SendAll(fd, step.Bytes.data(), step.Bytes.size());
                break;
            case TStep::TKind::SendSlowly:
                for (const char c : step.Bytes) {
                    if (FStop || !SendAll(fd, &c, 1))
                        break;
                    std::this_thread::sleep_for(step.Pause);
                }
                break;
            case TStep::TKind::ReadBytes:
            case TStep::TKind::ReadUntil: {
                size_t got = 0;
                std::string taken;
                for (;;) {
                    if (FStop)
                        break;
                    if (step.Kind == TStep::TKind::ReadBytes && got >= step.Count)
                        break;
                    if (!WaitReadable(fd, 50))
                        continue;
                    char c[4096];
                    // Read byte by byte up to the marker, so nothing beyond it is taken.
                    const size_t room = step.Kind == TStep::TKind::ReadUntil
                                            ? 1
                                            : std::min(sizeof c, step.Count - got);
                    const ssize_t n = ::recv(fd, c, room, 0);
                    if (n <= 0)
                        break;
                    got += static_cast<size_t>(n);
                    {
                        std::lock_guard<std::mutex> lock(FMutex);
                        FReceived.append(c, static_cast<size_t>(n));
                    }
                    if (step.Kind == TStep::TKind::ReadUntil) {
                        taken += c[0];
                        if (taken.ends_with(step.Bytes))
                            break;
                    }
                }
                break;
            }
            case TStep::TKind::Close:
                ::close(fd);
                closed = true;
                break;
            case TStep::TKind::Reset: {
                ResetOnClose(fd);
                ::close(fd);
                closed = true;
                break;
            }
            case TStep::TKind::Hold:
                FDone = true;
                while (!FStop)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                break;
        }
    }
    if (!closed)
        ::close(fd);
    FDone = true;
}

}  // namespace testsupport
