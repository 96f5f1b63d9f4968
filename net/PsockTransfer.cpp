// The data-moving operations of the session: sends, line reads, captures and
// accept. Every wait processes the application's events; a pass that found
// nothing to do (would-block) blocks in WaitForMessages until the socket's
// notifier, the time-out timer or user input wakes it, so waiting costs no CPU.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "net/Psock.h"
#include "rtl/IntConv.h"
#include "rtl/MessagePump.h"

namespace net {

namespace {

// Disarms the time-out timer on every way out of an operation.
class TTimerGuard {
public:
    explicit TTimerGuard(TPowersock& Session) : FSession(Session) {}
    ~TTimerGuard() {
        try {
            FSession.TimerOff();
        } catch (...) {
        }
    }
    TTimerGuard(const TTimerGuard&) = delete;
    TTimerGuard& operator=(const TTimerGuard&) = delete;

private:
    TPowersock& FSession;
};

// Closes a file descriptor on every way out.
class TFileGuard {
public:
    explicit TFileGuard(int Fd) : FFd(Fd) {}
    ~TFileGuard() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileGuard(const TFileGuard&) = delete;
    TFileGuard& operator=(const TFileGuard&) = delete;

private:
    int FFd;
};

[[noreturn]] void RaiseFileError(int Errno) {
    switch (Errno) {
        case ENOENT:
        case ENOTDIR:
            throw rtl::EInOutError("File not found");
        case EACCES:
        case EPERM:
        case EROFS:
            throw rtl::EInOutError("File access denied");
        case ENOSPC:
        case EDQUOT:
            throw rtl::EInOutError("Disk full");
        default:
            throw rtl::EInOutError("I/O error " + rtl::IntToStr(Errno));
    }
}

void WriteAll(int Fd, const char* Data, size_t Length) {
    while (Length > 0) {
        const ssize_t n = ::write(Fd, Data, Length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError(errno);
        }
        Data += n;
        Length -= static_cast<size_t>(n);
    }
}

// A large capture spends much of its time in page faults: every 4 KiB of a
// freshly reserved string faults on its first write, inside the copy of each
// chunk. Asking the kernel to map the next stretch of the reserved capacity in
// one call costs much less than faulting its pages one by one. Only capacity
// the caller reserved is mapped, never more than one stretch beyond the text,
// so the capture holds hardly more memory than it received; the contents are
// not touched. Where the kernel lacks the call, nothing happens.
class TCapacityMapper {
public:
    static constexpr size_t Stretch = size_t{2} << 20;

    // Called before Incoming bytes are appended to Text.
    void Before(const std::string& Text, size_t Incoming) {
#ifdef MADV_POPULATE_WRITE
        const size_t end = Text.size() + Incoming;
        if (!Supported || end > Text.capacity())
            return;  // the append reallocates; the new buffer is mapped later
        const char* base = Text.data();
        if (base != FBase) {
            // A new buffer: what it already holds was mapped by the copy.
            FBase = base;
            FMapped = Text.size();
        }
        if (end <= FMapped)
            return;
        const size_t upTo = std::min(Text.capacity(), std::max(end, FMapped + Stretch));
        // Whole pages inside the buffer only.
        const uintptr_t first =
            (reinterpret_cast<uintptr_t>(base) + FMapped + PageMask) & ~PageMask;
        const uintptr_t last = (reinterpret_cast<uintptr_t>(base) + upTo) & ~PageMask;
        FMapped = upTo;
        if (last > first &&
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE) != 0 &&
            errno == EINVAL)
            Supported = false;
#else
        (void)Text;
        (void)Incoming;
#endif
    }

private:
    static inline const uintptr_t PageMask = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE)) - 1;
    static inline bool Supported = true;
    const char* FBase = nullptr;
    size_t FMapped = 0;
};

}  // namespace

void TPowersock::SendBytes(const char* Buffer, size_t Length) {
    while (Length > 0 && !Canceled) {
        const int chunk = static_cast<int>(std::min<size_t>(Length, WorkBufferChunk));
        const int n = Transmit(Buffer, chunk);
        if (n == 0)
            break;
        if (n < 0) {
            std::string text;
            CheckSocketError(WSAEWOULDBLOCK, text);
            // The peer is not draining: wait for writability (or the time-out,
            // or a cancel) instead of retrying at once.
            rtl::WaitForMessages();
            continue;
        }
        Buffer += n;
        Length -= static_cast<size_t>(n);
    }
}

void TPowersock::SendBuffer(const char* Buffer, uint16_t Length) {
    ReportStatus(4, "Sending Buffer");
    TimerOn();
    TTimerGuard guard(*this);
    if (!Canceled) {
        size_t length = Length;
        if (length == 0) {
            length = strnlen(Buffer, WorkBufferChunk);
            if (length > 65535)
                throw rtl::ERangeError();
        }
        SendBytes(Buffer, length);
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

void TPowersock::Write(const std::string& Text) {
    ReportStatus(8, "Write");
    const size_t length = std::min<size_t>(Text.size(), WorkBufferChunk);
    std::memcpy(WorkBuffer.data(), Text.data(), length);
    WorkBuffer[length] = '\0';
    SendBuffer(WorkBuffer.data(), 0);
}

void TPowersock::Writeln(const std::string& Text) {
    ReportStatus(8, "Writeln");
    Write(Text + "\r\n");
}

void TPowersock::ReadLn(std::string& Line) {
    ReportStatus(8, "ReadLn");
    TimerOn();
    TTimerGuard guard(*this);
    ReadLnInto(Line);
}

void TPowersock::ReadLnInto(std::string& Line) {
    Line.clear();
    size_t taken = 0;  // bytes of the line already consumed into Line
    size_t lineEnd = 0;
    bool found = false;
    do {
        // WorkBuffer mirrors the line from position 0, so the peek's room ends
        // at the buffer's end; a line that fills it is delivered as a piece.
        const int room = static_cast<int>(WorkBufferChunk - taken);
        const int n = Receive(WorkBuffer.data() + taken, room, MSG_PEEK);
        if (n == 0) {
            Line.clear();
            return;
        }
        if (n < 0) {
            LastErrorNo = WSAGetLastError();
            if (LastErrorNo == WSAENOTCONN) {
                Line.clear();
                return;
            }
            std::string text;
            CheckSocketError(WSAEWOULDBLOCK, text);
            rtl::WaitForMessages();
            continue;
        }
        const char* start = WorkBuffer.data() + taken;
        if (const void* lf = std::memchr(start, '\n', static_cast<size_t>(n))) {
            lineEnd = taken + static_cast<size_t>(static_cast<const char*>(lf) - start) + 1;
            found = true;
            break;
        }
        Line.resize(taken + static_cast<size_t>(n));
        const int got = Receive(Line.data() + taken, n, 0);
        if (got > 0)
            taken += static_cast<size_t>(got);
        Line.resize(taken);
        if (taken == static_cast<size_t>(WorkBufferChunk)) {
            lineEnd = taken;
            found = true;
            break;
        }
        rtl::ProcessMessages();
    } while (!Canceled);

    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket readln aborted");
    }
    if (!found)
        return;
    Line.resize(lineEnd);
    while (taken < lineEnd) {
        const int got = Receive(Line.data() + taken, static_cast<int>(lineEnd - taken), 0);
        if (got <= 0) {
            // The peeked bytes are buffered, so this only fails when the
            // connection broke in between; the line is then incomplete.
            Line.resize(taken);
            if (got < 0) {
                std::string text;
                CheckSocketError(WSAEWOULDBLOCK, text);
            }
            return;
        }
        taken += static_cast<size_t>(got);
    }
}

void TPowersock::Transaction(const std::string& Command, std::string& Reply) {
    ReportStatus(8, "Transaction");
    ReplyNumber = 0;
    Writeln(Command);
    ReadLn(LastReply);
    if (!LastReply.empty()) {
        ReportStatus(1, LastReply);
        std::string digits;
        for (size_t i = 0; i < LastReply.size() && i < 10; ++i) {
            const char c = LastReply[i];
            if (c < '0' || c > '9')
                break;
            digits += c;
        }
        if (!digits.empty()) {
            const int32_t value = rtl::TryStrToInt(digits).value_or(0);
            if (value < -32768 || value > 32767)
                throw rtl::ERangeError();
            ReplyNumber = static_cast<int16_t>(value);
        }
    }
    Reply = LastReply;
}

void TPowersock::SendFile(const std::string& FileName) {
    ReportStatus(8, "SendFile");
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        RaiseFileError(errno);
    TFileGuard file(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        RaiseFileError(errno);
    const off_t size = info.st_size;
    off_t position = 0;
    // Armed, so a peer that never reads cannot hold the send forever.
    TimerOn();
    TTimerGuard guard(*this);
    while (position < size && !Canceled) {
        const ssize_t count = ::read(fd, WorkBuffer.data(), WorkBufferChunk);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError(errno);
        }
        if (count == 0)
            break;  // the file shrank while being sent
        position += count;
        size_t offset = 0;
        auto remaining = static_cast<size_t>(count);
        while (remaining > 0 && !Canceled) {
            const int n = Transmit(WorkBuffer.data() + offset, static_cast<int>(remaining));
            if (n == 0)
                break;
            if (n < 0) {
                std::string text;
                CheckSocketError(WSAEWOULDBLOCK, text);
                rtl::WaitForMessages();
                continue;
            }
            offset += static_cast<size_t>(n);
            remaining -= static_cast<size_t>(n);
            BytesSent += n;
            if (OnPacketSent)
                OnPacketSent(*this);
            rtl::ProcessMessages();
        }
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

void TPowersock::ReceiveUntilClosed(const std::function<bool()>& WantMore,
                                    const std::function<void(const char*, size_t)>& Store) {
    while (!Canceled && WantMore()) {
        const int n = Receive(WorkBuffer.data(), WorkBufferChunk, 0);
        if (n > 0) {
            Store(WorkBuffer.data(), static_cast<size_t>(n));
            BytesRecvd += n;
            if (OnPacketRecvd)
                OnPacketRecvd(*this);
            TimerOn();
            rtl::ProcessMessages();
        } else if (n < 0) {
            LastErrorNo = WSAGetLastError();
            if (LastErrorNo == WSAENOTCONN)
                break;
            std::string text;
            CheckSocketError(WSAEWOULDBLOCK, text);
            rtl::WaitForMessages();
        } else {
            break;
        }
    }
}

void TPowersock::CaptureFile(const std::string& FileName) {
    ReportStatus(8, "CaptureFile");
    BytesRecvd = 0;
    TimerOn();
    TTimerGuard guard(*this);
    const int fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        RaiseFileError(errno);
    TFileGuard file(fd);
    ReceiveUntilClosed([] { return true; },
                       [fd](const char* data, size_t size) { WriteAll(fd, data, size); });
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

void TPowersock::CaptureString(std::string& Text, int32_t MaxLength) {
    ReportStatus(8, "Capture String");
    Text.clear();
    BytesRecvd = 0;
    TimerOn();
    TTimerGuard guard(*this);
    TCapacityMapper mapper;
    ReceiveUntilClosed(
        [&] { return MaxLength == -1 || Text.size() < static_cast<size_t>(MaxLength); },
        [&](const char* data, size_t size) {
            mapper.Before(Text, size);
            Text.append(data, size);
        });
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket capture aborted");
    }
}

void TPowersock::CaptureBlocks(const std::function<bool(const char*, size_t)>& Store) {
    ReportStatus(8, "Capture String");
    BytesRecvd = 0;
    TimerOn();
    TTimerGuard guard(*this);
    bool more = true;
    ReceiveUntilClosed(
        [&more] { return more; },
        [&more, &Store](const char* data, size_t size) { more = Store(data, size); });
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket capture aborted");
    }
}

TSocket TPowersock::Accept() {
    ReportStatus(4, "Accepting");
    while (!EventDone && !Canceled)
        rtl::WaitForMessages();
    if (Canceled)
        throw ESockError("Accepting Canceled");
    if (!EventOK)
        throw ESockError("Error creating Data Connection");
    TSockAddress peer;
    const TSocket accepted = ws::accept(SocketHandle, &peer);
    // The pending connection is taken: the next Accept waits for another.
    EventDone = false;
    if (accepted == InvalidSocket) {
        std::string text;
        CheckSocketError(0, text);
        throw ESockError("Error creating Data Connection");
    }
    WSAAsyncSelect(accepted, EventWindow.get(), WM_SOCKETEVENT, 61);
    RemoteAddress = peer;
    if (Canceled) {
        ws::closesocket(accepted);
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
    return accepted;
}

}  // namespace net
