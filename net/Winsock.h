#pragma once

// A thin Windows-sockets 1.1 layer over POSIX sockets. The session code above it
// is written against the Winsock contract: error codes are the 100xx/110xx WSA
// codes, sockets are non-blocking once registered for asynchronous selection,
// and readiness arrives as WM_SOCKETEVENT window messages on the GUI thread.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

class QObject;

namespace net {

class TWindowMessage;

// Socket handles keep the platform's type; "no socket" is InvalidSocket.
using TSocket = int;
inline constexpr TSocket InvalidSocket = -1;
inline constexpr int SocketError = -1;

// The WSA error codes this layer reports (the ones errno values map to, plus the
// start-up and host lookup codes).
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// An errno value without a WSA counterpart is reported as this base plus the
// errno, so it is never mistaken for a code that has a meaning (such as 10035).
inline constexpr int WSAUnmappedErrnoBase = 20000;

// Socket events of asynchronous selection (low 16 bits of the message's second
// parameter; the error code travels in the high 16 bits).
inline constexpr int32_t FD_READ = 1;
inline constexpr int32_t FD_WRITE = 2;
inline constexpr int32_t FD_OOB = 4;
inline constexpr int32_t FD_ACCEPT = 8;
inline constexpr int32_t FD_CONNECT = 16;
inline constexpr int32_t FD_CLOSE = 32;

constexpr intptr_t WSAMakeSelectReply(int32_t Event, int Error) {
    return static_cast<intptr_t>((static_cast<uint32_t>(Error) << 16) |
                                 (static_cast<uint32_t>(Event) & 0xFFFF));
}
constexpr int32_t WSAGetSelectEvent(intptr_t LParam) {
    return static_cast<int32_t>(static_cast<uint32_t>(LParam) & 0xFFFF);
}
constexpr int WSAGetSelectError(intptr_t LParam) {
    return static_cast<int>((static_cast<uint32_t>(LParam) >> 16) & 0xFFFF);
}

// The start-up record.
struct TWSAData {
    uint16_t wVersion = 0;
    uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    uint16_t iMaxSockets = 0;
    uint16_t iMaxUdpDg = 0;
};

// One IPv4 or IPv6 socket address (address and port) as the socket calls take
// and return it. An empty one (Length 0) stands for "no address".
struct TSockAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;

    // Port in host order; the address in network order.
    static TSockAddress IPv4(uint32_t Address, uint16_t Port = 0);
    static TSockAddress IPv6(const in6_addr& Address, uint16_t Port = 0, uint32_t ScopeId = 0);
    // An IPv6 address written as text ("::1", "2001:db8::1"), without
    // brackets or zone; empty for any other text.
    static TSockAddress FromIPv6Text(const std::string& Text, uint16_t Port = 0);

    bool Empty() const { return Length == 0; }
    int Family() const { return Empty() ? AF_UNSPEC : Storage.ss_family; }
    uint16_t Port() const;
    void SetPort(uint16_t Port);
    // 0.0.0.0 or ::, which name no host to connect to.
    bool Unspecified() const;
    // The address as text ("127.0.0.1", "::1"), empty for an empty one.
    std::string Text() const;
    const sockaddr* Raw() const { return reinterpret_cast<const sockaddr*>(&Storage); }
    sockaddr* Raw() { return reinterpret_cast<sockaddr*>(&Storage); }
};

// Start-up and clean-up are counted: every successful WSAStartup needs its
// WSACleanup. Socket creation and host lookups fail with WSANOTINITIALISED while
// the layer is not started.
int WSAStartup(uint16_t VersionRequested, TWSAData& Data);
int WSACleanup();

// The WSA code of the last failed call on this thread.
int WSAGetLastError();
void WSASetLastError(int Code);
int WSAErrorFromErrno(int Errno);

// How often the layer was started and cleaned up in this process, and whether
// it is started now. Lets callers check that start-up happens once.
struct TWinsockCounters {
    int Startups = 0;
    int Cleanups = 0;
    int Users = 0;
};
TWinsockCounters WinsockCounters();

// Registers a socket for asynchronous selection: the socket becomes non-blocking
// and the events of the mask are posted to Window as message Msg (first parameter
// the socket, second the event and its error). A mask of 0 ends the registration.
// FD_READ follows Winsock's re-enabling rule: after one FD_READ no other is
// posted until the next recv (or peek) on that socket. FD_CLOSE is posted once,
// when the end of the stream or an error is found after all data was read.
int WSAAsyncSelect(TSocket Socket, QObject* Window, uint32_t Msg, int32_t Events);

// Starts an asynchronous lookup of a host name. When it completes, the addresses
// are written to Buffer (layout: THostEntry) and Msg is posted to Window with the
// task handle as first parameter and the error code in the high 16 bits of the
// second. Returns the task handle, 0 on failure. A cancelled lookup, or one whose
// window is gone, touches nothing when it completes.
// Every IPv4 and IPv6 address of the name is kept, in the resolver's order, as
// many as fit. "localhost" always yields both loopback addresses: where the
// system's table names only one of them, the other follows it, so a server
// that listens on ::1 or on 127.0.0.1 alone is reached by that name.
int WSAAsyncGetHostByName(QObject* Window, uint32_t Msg, const char* Name, char* Buffer,
                          int BufLen);
int WSACancelAsyncRequest(int Task);

// Answers every later lookup of Name with Addresses (still asynchronously, as
// the resolver would) instead of asking the resolver; an empty list ends that.
// For tests that need a name with several addresses in a given order, which
// the system's host table cannot be asked for.
void WSASetFixedHostAddresses(const std::string& Name, std::vector<TSockAddress> Addresses);

// What a completed lookup leaves in its buffer: the number of addresses
// followed by the addresses themselves.
struct THostAddress {
    uint32_t Family;    // AF_INET or AF_INET6
    uint32_t ScopeId;   // the interface of a link-local IPv6 address, else 0
    uint8_t Bytes[16];  // the address in network order (IPv4: the first four)
};
struct THostEntry {
    uint32_t AddressCount;
    THostAddress Addresses[1];
};
inline constexpr int HostEntryHeaderSize = 4;

// The addresses a completed lookup left in Buffer, in their order, port 0.
std::vector<TSockAddress> HostEntryAddresses(const char* Buffer, int BufLen);

// True when a posted socket or lookup message still belongs to a live
// registration. A message for a socket that was closed meanwhile (its number may
// already belong to a new socket) or for a cancelled lookup is dropped.
bool WSAMessageIsCurrent(const TWindowMessage& Message);

// The socket calls, with Winsock's names and error reporting (SocketError and
// WSAGetLastError). Kept in their own namespace so they never mix with the
// POSIX functions of the same names.
namespace ws {
TSocket socket(int Af, int Type, int Protocol);
int setsockopt(TSocket Socket, int Level, int OptName, const void* OptVal, int OptLen);
int connect(TSocket Socket, const TSockAddress& Address);
int bind(TSocket Socket, const TSockAddress& Address);
int listen(TSocket Socket, int Backlog);
TSocket accept(TSocket Socket, TSockAddress* Address);
int send(TSocket Socket, const char* Buffer, int Length, int Flags);
int recv(TSocket Socket, char* Buffer, int Length, int Flags);
int getsockname(TSocket Socket, TSockAddress& Address);
int closesocket(TSocket Socket);
// INADDR_NONE for a text that is not a dotted address.
uint32_t inet_addr(const char* Text);
uint16_t htons(uint16_t Value);
}  // namespace ws

}  // namespace net
