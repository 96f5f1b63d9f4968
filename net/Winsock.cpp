#include "net/Winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "net/SocketWindow.h"
#include "rtl/GbText.h"

namespace net {

namespace {

thread_local int gLastError = 0;
TWinsockCounters gCounters;
uint64_t gNextTicket = 1;

// One socket under asynchronous selection.
struct TRegistration {
    TSocket Socket = InvalidSocket;
    QPointer<QObject> Window;
    uint32_t Msg = 0;
    int32_t Events = 0;
    uint64_t Ticket = 0;
    enum class TState { Idle, Connecting, Connected, Listening } State = TState::Idle;
    bool ClosePosted = false;
    std::unique_ptr<QSocketNotifier> ReadNotifier;
    std::unique_ptr<QSocketNotifier> WriteNotifier;
};

void CompleteLookup(uint64_t Task, const QHostInfo& Info);

// Takes the answer of one host lookup. The answer reaches it as a queued call
// of a slot, not through a functor: a functor is kept in an object that an
// aborted lookup never frees, while an answer still queued for a receiver is
// simply dropped when the receiver goes.
class TLookupReceiver : public QObject {
    Q_OBJECT
public:
    TLookupReceiver(uint64_t Task, QObject* Window) : QObject(Window), FTask(Task) {}

public Q_SLOTS:
    void LookedUp(const QHostInfo& Info) { CompleteLookup(FTask, Info); }

private:
    uint64_t FTask;
};

// One pending host lookup. The receiver is a child of the window, so it goes
// with the window and no answer arrives for a window that is gone.
struct TLookup {
    std::string Name;
    int QtId = -1;
    QPointer<QObject> Window;
    QPointer<TLookupReceiver> Receiver;
    uint32_t Msg = 0;
    char* Buffer = nullptr;
    int BufLen = 0;
    bool Completed = false;
};

std::unordered_map<TSocket, std::unique_ptr<TRegistration>>& Registrations() {
    static std::unordered_map<TSocket, std::unique_ptr<TRegistration>> map;
    return map;
}

// Lookups by task handle (which is also their message ticket).
std::unordered_map<uint64_t, TLookup>& Lookups() {
    static std::unordered_map<uint64_t, TLookup> map;
    return map;
}

using TLookupIterator = std::unordered_map<uint64_t, TLookup>::iterator;

// Drops a lookup and its receiver; an answer still on its way is dropped too.
void ForgetLookup(TLookupIterator Lookup) {
    delete Lookup->second.Receiver.data();
    Lookups().erase(Lookup);
}

// Lookups answered from a fixed list instead of the resolver.
std::map<std::string, std::vector<TSockAddress>>& FixedHosts() {
    static std::map<std::string, std::vector<TSockAddress>> map;
    return map;
}

// Writes the answer into the caller's buffer and posts the completion message.
// A cancelled lookup finds no entry and touches nothing.
void Deliver(uint64_t Task, const std::vector<TSockAddress>& Addresses, int Error) {
    auto& map = Lookups();
    auto it = map.find(Task);
    if (it == map.end() || it->second.Completed)
        return;
    TLookup& done = it->second;
    done.Completed = true;
    const size_t room =
        (static_cast<size_t>(done.BufLen) - HostEntryHeaderSize) / sizeof(THostAddress);
    uint32_t count = 0;
    for (const TSockAddress& address : Addresses) {
        if (count == room)
            break;
        THostAddress entry{};
        entry.Family = static_cast<uint32_t>(address.Family());
        if (address.Family() == AF_INET) {
            const auto& v4 = reinterpret_cast<const sockaddr_in&>(address.Storage);
            std::memcpy(entry.Bytes, &v4.sin_addr, 4);
        } else if (address.Family() == AF_INET6) {
            const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address.Storage);
            std::memcpy(entry.Bytes, &v6.sin6_addr, 16);
            entry.ScopeId = v6.sin6_scope_id;
        } else {
            continue;
        }
        std::memcpy(done.Buffer + HostEntryHeaderSize + count * sizeof entry, &entry, sizeof entry);
        ++count;
    }
    std::memcpy(done.Buffer, &count, 4);
    if (!done.Window.isNull())
        PostWindowMessage(done.Window.data(), done.Msg, static_cast<uintptr_t>(Task),
                          WSAMakeSelectReply(0, Error), Task);
}

TSockAddress FromQt(const QHostAddress& Address) {
    if (Address.protocol() == QAbstractSocket::IPv4Protocol)
        return TSockAddress::IPv4(htonl(Address.toIPv4Address()));
    if (Address.protocol() != QAbstractSocket::IPv6Protocol)
        return {};
    const Q_IPV6ADDR bytes = Address.toIPv6Address();
    in6_addr v6{};
    std::memcpy(&v6, &bytes, sizeof v6);
    // A link-local address is only reachable through the interface it names.
    uint32_t scope = 0;
    if (const QString zone = Address.scopeId(); !zone.isEmpty()) {
        bool numeric = false;
        scope = zone.toUInt(&numeric);
        if (!numeric)
            scope = ::if_nametoindex(zone.toLocal8Bit().constData());
    }
    return TSockAddress::IPv6(v6, 0, scope);
}

bool IsLocalhost(std::string Name) {
    if (Name.ends_with('.'))
        Name.pop_back();
    for (char& c : Name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return Name == "localhost";
}

// A host table may name localhost by one loopback address only; both belong
// to it. The ones the table named keep their place in front.
void AddLoopbacks(std::vector<TSockAddress>& Addresses) {
    const bool hasV4 = std::any_of(Addresses.begin(), Addresses.end(),
                                   [](const TSockAddress& a) { return a.Family() == AF_INET; });
    const bool hasV6 = std::any_of(Addresses.begin(), Addresses.end(),
                                   [](const TSockAddress& a) { return a.Family() == AF_INET6; });
    if (!hasV6)
        Addresses.push_back(TSockAddress::IPv6(in6addr_loopback));
    if (!hasV4)
        Addresses.push_back(TSockAddress::IPv4(htonl(INADDR_LOOPBACK)));
}

void CompleteLookup(uint64_t Task, const QHostInfo& Info) {
    const auto it = Lookups().find(Task);
    if (it == Lookups().end())
        return;
    int error = 0;
    std::vector<TSockAddress> addresses;
    if (Info.error() == QHostInfo::NoError) {
        for (const QHostAddress& address : Info.addresses())
            if (TSockAddress converted = FromQt(address); !converted.Empty())
                addresses.push_back(converted);
    } else if (Info.error() == QHostInfo::HostNotFound) {
        error = WSAHOST_NOT_FOUND;
    } else {
        error = WSATRY_AGAIN;
    }
    if (IsLocalhost(it->second.Name)) {
        AddLoopbacks(addresses);
        error = 0;
    }
    if (error == 0 && addresses.empty())
        error = WSANO_DATA;
    Deliver(Task, addresses, error);
}

TRegistration* Find(TSocket Socket) {
    auto& map = Registrations();
    auto it = map.find(Socket);
    return it == map.end() ? nullptr : it->second.get();
}

int Fail(int Code) {
    gLastError = Code;
    return SocketError;
}

int FailErrno() {
    return Fail(WSAErrorFromErrno(errno));
}

void Post(TRegistration& Reg, int32_t Event, int Error) {
    if (!(Reg.Events & Event) || Reg.Window.isNull())
        return;
    PostWindowMessage(Reg.Window.data(), Reg.Msg, static_cast<uintptr_t>(Reg.Socket),
                      WSAMakeSelectReply(Event, Error), Reg.Ticket);
}

// The end of the stream (or a broken connection) is announced once; the read
// notifier stays off from then on, so nothing is posted in a loop.
void PostClose(TRegistration& Reg, int Error) {
    if (Reg.ClosePosted)
        return;
    Reg.ClosePosted = true;
    Reg.ReadNotifier->setEnabled(false);
    Post(Reg, FD_CLOSE, Error);
}

void EnableRead(TRegistration& Reg) {
    if (Reg.ClosePosted)
        return;
    if (Reg.State != TRegistration::TState::Connected &&
        Reg.State != TRegistration::TState::Listening)
        return;
    if (!Reg.ReadNotifier->isEnabled())
        Reg.ReadNotifier->setEnabled(true);
}

// The read notifier is armed only while no unread byte is known to be queued:
// an armed notifier on a readable socket would wake every event-loop pass.
// After a recv or peek that leaves bytes queued, FD_READ is posted at once, as
// Winsock does. Asking the socket how much is queued costs one cheap call per
// chunk of a bulk transfer, where re-arming the notifier would cost two
// event-loop wake-ups, a poll and a peek.
void ReadTaken(TRegistration& Reg) {
    if (Reg.ClosePosted || Reg.State != TRegistration::TState::Connected ||
        !(Reg.Events & FD_READ)) {
        EnableRead(Reg);
        return;
    }
    int queued = 0;
    if (::ioctl(Reg.Socket, FIONREAD, &queued) != 0 || queued <= 0) {
        EnableRead(Reg);
        return;
    }
    if (Reg.ReadNotifier->isEnabled())
        Reg.ReadNotifier->setEnabled(false);
    Post(Reg, FD_READ, 0);
}

void OnReadable(TRegistration& Reg) {
    Reg.ReadNotifier->setEnabled(false);
    if (Reg.State == TRegistration::TState::Listening) {
        Post(Reg, FD_ACCEPT, 0);  // re-enabled by the next accept
        return;
    }
    // Peek, so that FD_CLOSE is posted only once no unread byte is left.
    char probe;
    const ssize_t n = ::recv(Reg.Socket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        Post(Reg, FD_READ, 0);  // re-enabled by the next recv or peek
    } else if (n == 0) {
        PostClose(Reg, 0);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        Reg.ReadNotifier->setEnabled(true);
    } else {
        PostClose(Reg, WSAErrorFromErrno(errno));
    }
}

void OnWritable(TRegistration& Reg) {
    Reg.WriteNotifier->setEnabled(false);
    if (Reg.State != TRegistration::TState::Connecting)
        return;  // a send waiter woke
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Reg.Socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    // A peer that accepts, sends and resets at once can leave ECONNRESET here
    // before this notification is seen. The connection was established (a
    // refused attempt reports ECONNREFUSED), so report the connect as done and
    // let the reads find the data and the end of the stream.
    if (error == ECONNRESET || error == EPIPE)
        error = 0;
    if (error == 0) {
        Reg.State = TRegistration::TState::Connected;
        EnableRead(Reg);
        Post(Reg, FD_CONNECT, 0);
    } else {
        Reg.State = TRegistration::TState::Idle;
        Post(Reg, FD_CONNECT, WSAErrorFromErrno(error));
    }
}

void Unregister(TSocket Socket) {
    Registrations().erase(Socket);
}

bool Started() {
    return gCounters.Users > 0;
}

// Whether a socket that fails a send with EPIPE ever had a connection. Linux
// answers EPIPE both for a connection that is gone and for a socket that was
// never connected (fresh, replaced after a close, or after a failed connect),
// and once a connection is gone the socket has no peer name either. A
// registration knows whether its connect succeeded; a socket without one
// counts as connected once it holds a local port, which only a connect (or a
// bind, which no socket here gets before sending) gives it.
bool HadConnection(TSocket Socket, const TRegistration* Reg) {
    if (Reg != nullptr)
        return Reg->State == TRegistration::TState::Connected;
    TSockAddress local;
    local.Length = sizeof local.Storage;
    return ::getsockname(Socket, local.Raw(), &local.Length) == 0 && local.Port() != 0;
}

}  // namespace

TSockAddress TSockAddress::IPv4(uint32_t Address, uint16_t Port) {
    TSockAddress result;
    auto& v4 = reinterpret_cast<sockaddr_in&>(result.Storage);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = Address;
    v4.sin_port = ::htons(Port);
    result.Length = sizeof(sockaddr_in);
    return result;
}

TSockAddress TSockAddress::IPv6(const in6_addr& Address, uint16_t Port, uint32_t ScopeId) {
    TSockAddress result;
    auto& v6 = reinterpret_cast<sockaddr_in6&>(result.Storage);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = Address;
    v6.sin6_port = ::htons(Port);
    v6.sin6_scope_id = ScopeId;
    result.Length = sizeof(sockaddr_in6);
    return result;
}

TSockAddress TSockAddress::FromIPv6Text(const std::string& Text, uint16_t Port) {
    in6_addr address{};
    if (Text.find('\0') != std::string::npos || ::inet_pton(AF_INET6, Text.c_str(), &address) != 1)
        return {};
    return IPv6(address, Port);
}

uint16_t TSockAddress::Port() const {
    if (Family() == AF_INET)
        return ::ntohs(reinterpret_cast<const sockaddr_in&>(Storage).sin_port);
    if (Family() == AF_INET6)
        return ::ntohs(reinterpret_cast<const sockaddr_in6&>(Storage).sin6_port);
    return 0;
}

void TSockAddress::SetPort(uint16_t Port) {
    if (Family() == AF_INET)
        reinterpret_cast<sockaddr_in&>(Storage).sin_port = ::htons(Port);
    else if (Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(Storage).sin6_port = ::htons(Port);
}

bool TSockAddress::Unspecified() const {
    if (Family() == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(Storage).sin_addr.s_addr == INADDR_ANY;
    if (Family() == AF_INET6)
        return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6&>(Storage).sin6_addr);
    return true;
}

std::string TSockAddress::Text() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(Storage).sin_addr, text,
                    sizeof text);
    else if (Family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(Storage).sin6_addr, text,
                    sizeof text);
    return text;
}

std::vector<TSockAddress> HostEntryAddresses(const char* Buffer, int BufLen) {
    std::vector<TSockAddress> addresses;
    if (Buffer == nullptr || BufLen < HostEntryHeaderSize)
        return addresses;
    uint32_t count = 0;
    std::memcpy(&count, Buffer, 4);
    const size_t room = (static_cast<size_t>(BufLen) - HostEntryHeaderSize) / sizeof(THostAddress);
    for (size_t i = 0; i < std::min<size_t>(count, room); ++i) {
        THostAddress entry{};
        std::memcpy(&entry, Buffer + HostEntryHeaderSize + i * sizeof entry, sizeof entry);
        if (entry.Family == AF_INET) {
            uint32_t v4 = 0;
            std::memcpy(&v4, entry.Bytes, 4);
            addresses.push_back(TSockAddress::IPv4(v4));
        } else if (entry.Family == AF_INET6) {
            in6_addr v6{};
            std::memcpy(&v6, entry.Bytes, 16);
            addresses.push_back(TSockAddress::IPv6(v6, 0, entry.ScopeId));
        }
    }
    return addresses;
}

int WSAErrorFromErrno(int Errno) {
    switch (Errno) {
        case 0:
            return 0;
        case EINTR:
            return WSAEINTR;
        case EBADF:
            return WSAENOTSOCK;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EFAULT:
            return WSAEFAULT;
        case EINVAL:
            return WSAEINVAL;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
        case EAGAIN:
#endif
        case EWOULDBLOCK:
        case EINPROGRESS:
            return WSAEWOULDBLOCK;
        case EALREADY:
            return WSAEALREADY;
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EDESTADDRREQ:
            return WSAEDESTADDRREQ;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case EPROTOTYPE:
            return WSAEPROTOTYPE;
        case ENOPROTOOPT:
            return WSAENOPROTOOPT;
        case EPROTONOSUPPORT:
            return WSAEPROTONOSUPPORT;
        case ESOCKTNOSUPPORT:
            return WSAESOCKTNOSUPPORT;
        case EOPNOTSUPP:
            return WSAEOPNOTSUPP;
        case EPFNOSUPPORT:
            return WSAEPFNOSUPPORT;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ENETRESET:
            return WSAENETRESET;
        case ECONNABORTED:
            return WSAECONNABORTED;
        // A send on a connection the peer has torn down: to the user this is
        // the peer resetting the connection. (A send on a socket that never
        // had a connection also fails with EPIPE; send tells the two apart.)
        case ECONNRESET:
        case EPIPE:
            return WSAECONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return WSAENOBUFS;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case ETOOMANYREFS:
            return WSAETOOMANYREFS;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case ELOOP:
            return WSAELOOP;
        case ENAMETOOLONG:
            return WSAENAMETOOLONG;
        case EHOSTDOWN:
            return WSAEHOSTDOWN;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH;
        case ENOTEMPTY:
            return WSAENOTEMPTY;
        case EUSERS:
            return WSAEUSERS;
        case EDQUOT:
            return WSAEDQUOT;
        case ESTALE:
            return WSAESTALE;
        case EREMOTE:
            return WSAEREMOTE;
        default:
            return WSAUnmappedErrnoBase + Errno;
    }
}

int WSAGetLastError() {
    return gLastError;
}
void WSASetLastError(int Code) {
    gLastError = Code;
}

int WSAStartup(uint16_t VersionRequested, TWSAData& Data) {
    // Version 1.1 is the lowest this layer speaks; anything older is refused.
    const int major = VersionRequested & 0xFF;
    const int minor = (VersionRequested >> 8) & 0xFF;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    Data = TWSAData{};
    Data.wVersion = 0x0101;
    Data.wHighVersion = 0x0101;
    std::strncpy(Data.szDescription, "Perchly sockets over POSIX", sizeof Data.szDescription - 1);
    std::strncpy(Data.szSystemStatus, "Running", sizeof Data.szSystemStatus - 1);
    rlimit limit{};
    rlim_t sockets = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        sockets = limit.rlim_cur;
    Data.iMaxSockets = static_cast<uint16_t>(std::min<rlim_t>(sockets, 0xFFFF));
    Data.iMaxUdpDg = 65507;  // the largest IPv4 UDP payload
    ++gCounters.Startups;
    ++gCounters.Users;
    return 0;
}

int WSACleanup() {
    if (!Started())
        return Fail(WSANOTINITIALISED);
    ++gCounters.Cleanups;
    --gCounters.Users;
    return 0;
}

TWinsockCounters WinsockCounters() {
    return gCounters;
}

int WSAAsyncSelect(TSocket Socket, QObject* Window, uint32_t Msg, int32_t Events) {
    if (!Started())
        return Fail(WSANOTINITIALISED);
    const int flags = ::fcntl(Socket, F_GETFL);
    if (flags < 0)
        return FailErrno();
    if (Events == 0) {
        Unregister(Socket);
        return 0;
    }
    if (!(flags & O_NONBLOCK) && ::fcntl(Socket, F_SETFL, flags | O_NONBLOCK) < 0)
        return FailErrno();

    auto reg = std::make_unique<TRegistration>();
    reg->Socket = Socket;
    reg->Window = Window;
    reg->Msg = Msg;
    reg->Events = Events;
    reg->Ticket = gNextTicket++;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int listening = 0;
    socklen_t optLength = sizeof listening;
    if (::getpeername(Socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
        reg->State = TRegistration::TState::Connected;
    } else if (::getsockopt(Socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &optLength) == 0 &&
               listening) {
        reg->State = TRegistration::TState::Listening;
    }
    TRegistration* raw = reg.get();
    reg->ReadNotifier = std::make_unique<QSocketNotifier>(Socket, QSocketNotifier::Read);
    reg->ReadNotifier->setEnabled(false);
    QObject::connect(reg->ReadNotifier.get(), &QSocketNotifier::activated,
                     [raw] { OnReadable(*raw); });
    reg->WriteNotifier = std::make_unique<QSocketNotifier>(Socket, QSocketNotifier::Write);
    reg->WriteNotifier->setEnabled(false);
    QObject::connect(reg->WriteNotifier.get(), &QSocketNotifier::activated,
                     [raw] { OnWritable(*raw); });
    // Replacing a registration drops the messages the old one still has queued.
    Registrations()[Socket] = std::move(reg);
    EnableRead(*raw);
    return 0;
}

int WSAAsyncGetHostByName(QObject* Window, uint32_t Msg, const char* Name, char* Buffer,
                          int BufLen) {
    if (!Started()) {
        gLastError = WSANOTINITIALISED;
        return 0;
    }
    if (Window == nullptr || Buffer == nullptr ||
        BufLen < HostEntryHeaderSize + static_cast<int>(sizeof(THostAddress))) {
        gLastError = WSAEINVAL;
        return 0;
    }
    const uint64_t task = gNextTicket++;
    TLookup& lookup = Lookups()[task];
    lookup.Name = Name;
    lookup.Window = Window;
    lookup.Msg = Msg;
    lookup.Buffer = Buffer;
    lookup.BufLen = BufLen;
    lookup.Receiver = new TLookupReceiver(task, Window);
    if (const auto fixed = FixedHosts().find(Name); fixed != FixedHosts().end()) {
        // Queued on the receiver, so it is dropped with it, as a resolver's
        // answer would be.
        QMetaObject::invokeMethod(
            lookup.Receiver.data(),
            [task, addresses = fixed->second] { Deliver(task, addresses, 0); },
            Qt::QueuedConnection);
        return static_cast<int>(task);
    }
    lookup.QtId =
        QHostInfo::lookupHost(rtl::FromGb(Name), lookup.Receiver.data(), SLOT(LookedUp(QHostInfo)));
    return static_cast<int>(task);
}

void WSASetFixedHostAddresses(const std::string& Name, std::vector<TSockAddress> Addresses) {
    if (Addresses.empty())
        FixedHosts().erase(Name);
    else
        FixedHosts()[Name] = std::move(Addresses);
}

int WSACancelAsyncRequest(int Task) {
    auto& map = Lookups();
    auto it = map.find(static_cast<uint64_t>(Task));
    if (it == map.end())
        return Fail(WSAEINVAL);
    if (!it->second.Completed && it->second.QtId >= 0)
        QHostInfo::abortHostLookup(it->second.QtId);
    ForgetLookup(it);
    return 0;
}

bool WSAMessageIsCurrent(const TWindowMessage& Message) {
    if (Message.Ticket == 0)
        return true;
    auto& lookups = Lookups();
    auto lookup = lookups.find(Message.Ticket);
    if (lookup != lookups.end()) {
        ForgetLookup(lookup);  // a lookup completes once
        return true;
    }
    if (Message.Msg == 0)
        return false;
    const TRegistration* reg = Find(static_cast<TSocket>(Message.WParam));
    return reg != nullptr && reg->Ticket == Message.Ticket;
}

namespace ws {

TSocket socket(int Af, int Type, int Protocol) {
    if (!Started())
        return Fail(WSANOTINITIALISED);
    const TSocket s = ::socket(Af, Type | SOCK_CLOEXEC, Protocol);
    if (s < 0)
        return FailErrno();
    return s;
}

int setsockopt(TSocket Socket, int Level, int OptName, const void* OptVal, int OptLen) {
    if (::setsockopt(Socket, Level, OptName, OptVal, static_cast<socklen_t>(OptLen)) != 0)
        return FailErrno();
    return 0;
}

int connect(TSocket Socket, const TSockAddress& Address) {
    TRegistration* reg = Find(Socket);
    if (::connect(Socket, Address.Raw(), Address.Length) == 0) {
        if (reg) {
            reg->State = TRegistration::TState::Connected;
            EnableRead(*reg);
            Post(*reg, FD_CONNECT, 0);
        }
        return 0;
    }
    const int error = errno;
    if (reg == nullptr)
        return FailErrno();
    if (error == EINPROGRESS || error == EAGAIN) {
        reg->State = TRegistration::TState::Connecting;
        reg->WriteNotifier->setEnabled(true);
        return Fail(WSAEWOULDBLOCK);
    }
    // As under Winsock, the outcome of an asynchronous connect arrives only as
    // FD_CONNECT, even when the system knew it at once.
    switch (error) {
        case ECONNREFUSED:
        case ETIMEDOUT:
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ECONNRESET:
        case EADDRNOTAVAIL:
            Post(*reg, FD_CONNECT, WSAErrorFromErrno(error));
            return Fail(WSAEWOULDBLOCK);
        default:
            return Fail(WSAErrorFromErrno(error));
    }
}

int bind(TSocket Socket, const TSockAddress& Address) {
    if (::bind(Socket, Address.Raw(), Address.Length) != 0)
        return FailErrno();
    return 0;
}

int listen(TSocket Socket, int Backlog) {
    if (::listen(Socket, Backlog) != 0)
        return FailErrno();
    if (TRegistration* reg = Find(Socket)) {
        reg->State = TRegistration::TState::Listening;
        EnableRead(*reg);
    }
    return 0;
}

TSocket accept(TSocket Socket, TSockAddress* Address) {
    TSockAddress peer;
    peer.Length = sizeof peer.Storage;
    const TSocket s = ::accept4(Socket, peer.Raw(), &peer.Length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    const int error = errno;
    if (TRegistration* reg = Find(Socket))
        EnableRead(*reg);
    if (s < 0)
        return Fail(WSAErrorFromErrno(error));
    if (Address)
        *Address = peer;
    return s;
}

int send(TSocket Socket, const char* Buffer, int Length, int Flags) {
    const ssize_t n = ::send(Socket, Buffer, static_cast<size_t>(std::max(Length, 0)),
                             Flags | MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0)
        return static_cast<int>(n);
    const int error = errno;
    TRegistration* reg = Find(Socket);
    // Wake the waiting sender once the peer drains the connection.
    if (reg && (error == EAGAIN || error == EWOULDBLOCK))
        reg->WriteNotifier->setEnabled(true);
    if (error == EPIPE && !HadConnection(Socket, reg))
        return Fail(WSAENOTCONN);
    return Fail(WSAErrorFromErrno(error));
}

int recv(TSocket Socket, char* Buffer, int Length, int Flags) {
    const ssize_t n =
        ::recv(Socket, Buffer, static_cast<size_t>(std::max(Length, 0)), Flags | MSG_DONTWAIT);
    const int error = errno;
    TRegistration* reg = Find(Socket);
    if (n > 0) {
        if (reg)
            ReadTaken(*reg);
        return static_cast<int>(n);
    }
    if (n == 0) {
        if (reg && Length > 0 && reg->State == TRegistration::TState::Connected)
            PostClose(*reg, 0);
        return 0;
    }
    if (reg) {
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) {
            EnableRead(*reg);
        } else if (reg->State == TRegistration::TState::Connected) {
            PostClose(*reg, WSAErrorFromErrno(error));
        }
    }
    return Fail(WSAErrorFromErrno(error));
}

int getsockname(TSocket Socket, TSockAddress& Address) {
    Address = TSockAddress{};
    Address.Length = sizeof Address.Storage;
    if (::getsockname(Socket, Address.Raw(), &Address.Length) != 0) {
        Address.Length = 0;
        return FailErrno();
    }
    return 0;
}

int closesocket(TSocket Socket) {
    // The notifiers must go before the descriptor does.
    Unregister(Socket);
    if (::close(Socket) != 0)
        return FailErrno();
    return 0;
}

uint32_t inet_addr(const char* Text) {
    return ::inet_addr(Text);
}

uint16_t htons(uint16_t Value) {
    return ::htons(Value);
}

}  // namespace ws

}  // namespace net

#include "Winsock.moc"
