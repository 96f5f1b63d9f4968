#include "net/Psock.h"

#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "rtl/IntConv.h"
#include "rtl/MessagePump.h"

namespace net {

namespace {

int32_t gWinsockUsers = 0;

struct TErrorRow {
    int32_t Code;
    const char* Text;
};

constexpr TErrorRow ErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};
static_assert(std::size(ErrorTable) == 50);

std::string VersionText(uint16_t Version) {
    return rtl::IntToStr(Version >> 8) + "." + rtl::IntToStr(Version & 0xFF);
}

// A dotted IPv4 or an IPv6 address; empty for a host name.
TSockAddress AddressLiteral(const char* Name) {
    const uint32_t v4 = ws::inet_addr(Name);
    if (v4 != INADDR_NONE)
        return TSockAddress::IPv4(v4);
    return TSockAddress::FromIPv6Text(Name);
}

}  // namespace

int32_t TPowersock::WinsockUsers() {
    return gWinsockUsers;
}

TPowersock::TPowersock() {
    ReportStatus(8, "Create");
    EventWindow = CreateSocketWindow(this);
    Proxy.clear();
    HostEntBuffer.assign(1024, 0);
    FTimeoutTimer = std::make_unique<TThreadTimer>();
    FTimeoutTimer->SetEnabled(false);
    FTimeoutTimer->SetOnTimer([this](TThreadTimer& Sender) { TimerTriggered(Sender); });
    FAttemptTimer = std::make_unique<TThreadTimer>();
    FAttemptTimer->SetEnabled(false);
    FAttemptTimer->SetOnTimer([this](TThreadTimer& Sender) {
        Sender.SetEnabled(false);
        FAttemptExpired = true;
    });
    TimeOut = 0;
    Canceled = false;
    ShuttingDown = false;
    Connected = false;
    InitWinsock();
}

TPowersock::~TPowersock() {
    BeginDestroying();
    ReportStatus(8, "Destroy");
    TPowersock::Abort();
    Cancel();
    // A lookup still running must not write into the buffer freed below.
    if (FLookupTask != 0)
        WSACancelAsyncRequest(FLookupTask);
    FLookupTask = 0;
    FTimeoutTimer.reset();
    FAttemptTimer.reset();
    EventWindow.reset();
    ShuttingDown = true;
    try {
        RequestCloseSocket();
    } catch (...) {
        // A failing close must not stop the release of the sockets layer.
    }
    if (--gWinsockUsers == 0)
        WSACleanup();
}

void TPowersock::InitWinsock() {
    ReportStatus(8, "Initializing Winsock");
    try {
        if (++gWinsockUsers == 1) {
            WSAStartup(0x0101, WinsockData);
            WinsockInfo.push_back("Version= " + VersionText(WinsockData.wVersion));
            WinsockInfo.push_back("High Version= " + VersionText(WinsockData.wHighVersion));
            WinsockInfo.push_back(
                "Description= " +
                std::string(WinsockData.szDescription, strnlen(WinsockData.szDescription, 257)));
            WinsockInfo.push_back(
                "System= " +
                std::string(WinsockData.szSystemStatus, strnlen(WinsockData.szSystemStatus, 129)));
            WinsockInfo.push_back("Max Sockets= " + rtl::IntToStr(WinsockData.iMaxSockets));
            WinsockInfo.push_back("Max Udp pack size= " + rtl::IntToStr(WinsockData.iMaxUdpDg));
        }
        try {
            SocketHandle = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            if (SocketHandle == InvalidSocket) {
                std::string text;
                CheckSocketError(WSAEWOULDBLOCK, text);
                throw ESockError("no socket");
            }
            FSocketFamily = AF_INET;
            FSocketFresh = true;
            // Closing this first socket resets the connection at once.
            FResetOnClose = true;
            const linger option{1, 0};
            ws::setsockopt(SocketHandle, SOL_SOCKET, SO_LINGER, &option, sizeof option);
            // Without the registration the socket would stay blocking, and a
            // receive could hang the GUI thread: treat that as a failure too.
            if (WSAAsyncSelect(SocketHandle, EventWindow.get(), WM_SOCKETEVENT, 61) != 0) {
                std::string text;
                CheckSocketError(0, text);
            }
        } catch (...) {
            if (SocketHandle != InvalidSocket)
                ws::closesocket(SocketHandle);
            SocketHandle = InvalidSocket;
            if (--gWinsockUsers == 0)
                WSACleanup();
            throw;
        }
    } catch (...) {
        throw ESockError("Initializaton of windows sockets failed");
    }
}

void TPowersock::ReportStatus(uint8_t Level, const std::string& Text) {
    if (static_cast<int32_t>(Level) > ReportLevel)
        return;
    try {
        LastStatus = Text;
        if (!FDestroying && OnStatus)
            OnStatus(*this, LastStatus);
    } catch (...) {
        // A status handler never breaks the operation that reports.
    }
}

void TPowersock::GetErrorMessage(uint16_t Code, std::string& Text) {
    ReportStatus(8, "Looking Up Error Message" + Text);
    Text.clear();
    if (Code == 0)
        return;
    for (const TErrorRow& row : ErrorTable) {
        if (row.Code == Code)
            Text = rtl::IntToStr(Code) + ":" + row.Text;
    }
    if (Text.empty())
        Text = "Unknown Error No. " + rtl::IntToStr(Code);
}

void TPowersock::CheckSocketError(uint16_t IgnoredCode, std::string& Text) {
    const int code = WSAGetLastError();
    LastErrorNo = code;
    if (code != IgnoredCode && code > 10000) {
        Text.clear();
        GetErrorMessage(static_cast<uint16_t>(code), Text);
        if (!FDestroying && OnSocketError)
            OnSocketError(*this, static_cast<uint16_t>(code), Text);
        throw ESockError(Text);
    }
    Text.clear();
}

bool TPowersock::DataAvailable() {
    ReportStatus(8, "Data Available");
    // Peeked into a byte of its own: WorkBuffer may hold a chunk being sent
    // while this runs from inside the send's wait.
    char probe;
    // Handshake bytes are the handshake's to read; it finds a close itself.
    if (FTls && !FTls->Established())
        return ws::recv(SocketHandle, &probe, 1, MSG_PEEK) >= 1;
    // Bytes OpenSSL or the read-ahead already hold raise no socket event.
    if (FTls && FTls->Pending())
        return true;
    try {
        return Receive(&probe, 1, MSG_PEEK) >= 1;
    } catch (const ESockError&) {
        // A broken TLS stream: left for the reader, which reports it, rather
        // than closed as if the page had simply ended.
        return true;
    }
}

int TPowersock::Receive(char* Buffer, int Length, int Flags) {
    if (!FTls)
        return ws::recv(SocketHandle, Buffer, Length, Flags);
    return FTls->Receive(Buffer, Length, (Flags & MSG_PEEK) != 0);
}

int TPowersock::Transmit(const char* Buffer, int Length) {
    if (!FTls)
        return ws::send(SocketHandle, Buffer, Length, 0);
    return FTls->Send(Buffer, Length);
}

void TPowersock::ResolveHost() {
    ReportStatus(8, "Resolve Host");
    RemoteAddresses.clear();
    RemoteAddress = TSockAddress{};
    const std::string& name = Proxy.empty() ? Host : Proxy;
    if (name.size() > static_cast<size_t>(WorkBufferChunk))
        throw ESockError("Host name too long");
    std::memcpy(WorkBuffer.data(), name.data(), name.size());
    WorkBuffer[name.size()] = '\0';
    // An address needs no lookup and fires no event; 0.0.0.0 and :: name no
    // host and leave the list empty.
    if (const TSockAddress literal = AddressLiteral(WorkBuffer.data()); !literal.Empty()) {
        if (!literal.Unspecified()) {
            RemoteAddresses.push_back(literal);
            RemoteAddress = literal;
        }
        return;
    }

    TimerOn();
    EventDone = false;
    if (FLookupTask != 0)
        WSACancelAsyncRequest(FLookupTask);
    FLookupTask =
        WSAAsyncGetHostByName(EventWindow.get(), WM_HOSTLOOKUP, WorkBuffer.data(),
                              HostEntBuffer.data(), static_cast<int>(HostEntBuffer.size()));
    const int task = FLookupTask;
    if (task == 0) {
        EventOK = false;
        EventDone = true;
    }
    while (!EventDone && !TimedOut && !Canceled)
        rtl::WaitForMessages();
    TimerOff();
    // The lookup message clears FLookupTask; one still set is pending or
    // abandoned, and must not complete into a later lookup.
    const bool completed = task != 0 && FLookupTask == 0;
    if (FLookupTask != 0)
        WSACancelAsyncRequest(FLookupTask);
    FLookupTask = 0;

    if (TimedOut)
        throw ESockError("Host Lookup Timed Out");
    if (Canceled)
        throw ESockError("Host Lookup Canceled");
    if (!EventOK || !completed)
        throw ESockError("Host Lookup Failed");
    for (const TSockAddress& address :
         HostEntryAddresses(HostEntBuffer.data(), static_cast<int>(HostEntBuffer.size())))
        if (!address.Unspecified())
            RemoteAddresses.push_back(address);
    if (!RemoteAddresses.empty())
        RemoteAddress = RemoteAddresses.front();
    if (OnHostResolved)
        OnHostResolved(*this);
}

void TPowersock::Connect() {
    ReportStatus(8, "Connecting");
    Canceled = false;
    if (Connected)
        throw ESockError("Already connected");
    FPeerCertificate = {};
    int attempts = 0;
    for (;;) {
        try {
            ResolveHost();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& error) {
            const std::string& text = error.Message();
            if (text == "Host Lookup Timed Out" || text == "Host Lookup Canceled" ||
                text == "Host name too long")
                throw;
            RemoteAddresses.clear();
        }
        if (!RemoteAddresses.empty())
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Null Remote Address");
        ++attempts;
    }
    const int32_t port = Proxy.empty() ? Port : ProxyPort;
    EventDone = false;
    EventOK = true;
    FCloseError = 0;
    FTls.reset();

    TimerOn();
    const auto started = std::chrono::steady_clock::now();
    TAttempt outcome = TAttempt::Failed;
    int failedAtOnce = 0;
    try {
        const size_t count = RemoteAddresses.size();
        for (size_t i = 0; i < count; ++i) {
            TSockAddress address = RemoteAddresses[i];
            address.SetPort(static_cast<uint16_t>(port & 0xFFFF));
            // Every address but the last gets an equal part of the time left;
            // the last one waits for the session's own time-out.
            uint32_t share = 0;
            if (i + 1 < count && TimeOut > 0) {
                const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - started)
                                       .count();
                const int64_t left = std::max<int64_t>(TimeOut - spent, 1);
                share = static_cast<uint32_t>(
                    std::max<int64_t>(left / static_cast<int64_t>(count - i), 1));
            }
            outcome = TryAddress(address, share);
            if (outcome == TAttempt::FailedAtOnce)
                failedAtOnce = WSAGetLastError();
            if (outcome == TAttempt::Connected || outcome == TAttempt::Stopped)
                break;
        }
    } catch (...) {
        TimerOff();
        throw;
    }
    TimerOff();

    std::string failure;
    if (outcome == TAttempt::Connected) {
        if (!FTls)
            return;
        failure = Handshake();
        if (failure.empty())
            return;
    } else if (outcome == TAttempt::FailedAtOnce) {
        // As a single connect call that fails at once: its own error text.
        WSASetLastError(failedAtOnce);
        std::string text;
        CheckSocketError(WSAEWOULDBLOCK, text);
    }
    if (OnConnectionFailed)
        OnConnectionFailed(*this);
    if (!failure.empty())
        throw ESockError(failure);
    if (TimedOut)
        throw ESockError("Connection Timed out");
    if (Canceled)
        throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

TPowersock::TAttempt TPowersock::TryAddress(const TSockAddress& Address, uint32_t Share) {
    RemoteAddress = Address;
    EventOK = true;
    FTls.reset();
    if (!FreshSocketFor(Address.Family()))
        return TAttempt::FailedAtOnce;
    FSocketFresh = false;
    // Set up before connecting, so a TLS client that cannot be made fails
    // before anything reaches the server.
    if (UseTls) {
        FTls = std::make_unique<TTlsChannel>(SocketHandle, Host, TrustFolder);
        // Each TLS write is a record of its own: the request's last record
        // would otherwise wait for the acknowledgement of the handshake's
        // last flight, which the server delays (Nagle against delayed ACK).
        const int noDelay = 1;
        ws::setsockopt(SocketHandle, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    }
    if (ws::connect(SocketHandle, Address) != 0 && WSAGetLastError() != WSAEWOULDBLOCK)
        return TAttempt::FailedAtOnce;
    FAttemptExpired = false;
    if (Share > 0) {
        FAttemptTimer->SetInterval(Share);
        FAttemptTimer->SetEnabled(true);
    }
    while (!Connected && !TimedOut && !Canceled && EventOK && !FAttemptExpired)
        rtl::WaitForMessages();
    FAttemptTimer->SetEnabled(false);
    if (TimedOut || Canceled)
        return TAttempt::Stopped;
    if (Connected && EventOK)
        return TAttempt::Connected;
    return TAttempt::Failed;
}

bool TPowersock::FreshSocketFor(int Family) {
    if (SocketHandle != InvalidSocket && FSocketFresh && FSocketFamily == Family)
        return true;
    // The socket never had a connection: it goes without OnDisconnect.
    if (SocketHandle != InvalidSocket)
        ws::closesocket(SocketHandle);
    SocketHandle = ws::socket(Family, SOCK_STREAM, IPPROTO_TCP);
    if (SocketHandle == InvalidSocket)
        return false;
    FSocketFamily = Family;
    FSocketFresh = true;
    if (FResetOnClose) {
        const linger option{1, 0};
        ws::setsockopt(SocketHandle, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    if (WSAAsyncSelect(SocketHandle, EventWindow.get(), WM_SOCKETEVENT, 61) != 0) {
        const int error = WSAGetLastError();
        ws::closesocket(SocketHandle);
        SocketHandle = InvalidSocket;
        WSASetLastError(error);
        return false;
    }
    return true;
}

std::string TPowersock::Handshake() {
    ReportStatus(8, "TLS Handshake");
    TimerOn();
    std::string reason;
    int socketError = 0;
    TTlsChannel::TStep step = TTlsChannel::TStep::Wait;
    // Every step goes as far as the socket allows, then waits for the next
    // socket event (or the time-out, or a cancel). A close message that finds
    // nothing left to read closes the socket and drops the channel.
    while (!Canceled && FTls) {
        step = FTls->Handshake(reason, socketError);
        if (step != TTlsChannel::TStep::Wait)
            break;
        rtl::WaitForMessages();
    }
    TimerOff();
    if (FTls)
        FPeerCertificate = FTls->PeerCertificate();
    if (step == TTlsChannel::TStep::Done)
        return {};
    if (TimedOut)
        return "Connection Timed out";
    if (Canceled)
        return "Connection Canceled";
    if (!reason.empty())
        return "TLS handshake failed: " + reason;
    if (socketError == 0 && FCloseError == 0) {
        // The channel found the end of the stream; the close message posted
        // with it says whether the server reset the connection.
        rtl::ProcessMessages();
    }
    if (socketError == 0)
        socketError = FCloseError;
    if (socketError == 0)
        return "TLS handshake failed: the server closed the connection";
    std::string text;
    GetErrorMessage(static_cast<uint16_t>(socketError), text);
    return "TLS handshake failed: " + text;
}

void TPowersock::Disconnect() {
    ReportStatus(8, "Disconnecting");
    RequestCloseSocket();
}

void TPowersock::RegisterSocket() {
    if (SocketHandle != InvalidSocket)
        WSAAsyncSelect(SocketHandle, EventWindow.get(), WM_SOCKETEVENT, 61);
}

void TPowersock::RequestCloseSocket() {
    ReportStatus(4, "Request Close Socket");
    Connected = false;
    if (FTls) {
        FTls->Close();
        FTls.reset();
    }
    if (SocketHandle == InvalidSocket)
        return;
    const bool closed = ws::closesocket(SocketHandle) == 0;
    const int closeError = WSAGetLastError();
    // The descriptor is released even when close reports an error, so the
    // session never keeps a handle that may already name another file.
    SocketHandle = InvalidSocket;
    if (closed && !FDestroying && OnDisconnect)
        OnDisconnect(*this);
    if (!ShuttingDown) {
        SocketHandle = ws::socket(AF_INET, SOCK_STREAM, 0);
        FSocketFamily = AF_INET;
        FSocketFresh = true;
        FResetOnClose = false;
        RegisterSocket();
    }
    if (!closed) {
        WSASetLastError(closeError);
        std::string text;
        CheckSocketError(WSAEWOULDBLOCK, text);
    }
}

void TPowersock::HandleSocketMessage(TMessage& Message) {
    try {
        EventOK = WSAGetSelectError(Message.LParam) == 0;
        if (Message.Msg == WM_SOCKETEVENT) {
            switch (WSAGetSelectEvent(Message.LParam)) {
                case FD_READ:
                    if (OnReadReady)
                        OnReadReady(*this);
                    break;
                case FD_ACCEPT:
                    Connected = true;
                    // A pending connection ends Accept's wait.
                    EventDone = true;
                    if (OnAcceptReady)
                        OnAcceptReady(*this);
                    break;
                case FD_CONNECT:
                    if (EventOK) {
                        Connected = true;
                        if (OnConnect)
                            OnConnect(*this);
                    } else {
                        // Kept, so a caller can tell a refused connect from
                        // an unreachable host behind "Connection Failed".
                        LastErrorNo = WSAGetSelectError(Message.LParam);
                    }
                    break;
                case FD_CLOSE:
                    FCloseError = WSAGetSelectError(Message.LParam);
                    // Unread data stays for the reading operations to find.
                    if (!DataAvailable())
                        RequestCloseSocket();
                    break;
                default:
                    break;
            }
        } else if (Message.Msg == WM_HOSTLOOKUP) {
            if (static_cast<int>(Message.WParam) == FLookupTask)
                FLookupTask = 0;
            EventDone = true;
        }
    } catch (...) {
        // Nothing may escape into the event dispatch.
    }
    Message.Result = 0;
}

void TPowersock::Cancel() {
    ReportStatus(8, "Canceling");
    Canceled = true;
}

void TPowersock::Abort() {
    ReportStatus(8, "Abort");
    Cancel();
}

void TPowersock::TimerOn() {
    ReportStatus(8, "Timer On");
    TimedOut = false;
    if (TimeOut < 0)
        throw rtl::ERangeError();
    FTimeoutTimer->SetInterval(static_cast<uint32_t>(TimeOut));
    FTimeoutTimer->SetEnabled(true);
}

void TPowersock::TimerOff() {
    ReportStatus(8, "Timer Off");
    if (FTimeoutTimer)
        FTimeoutTimer->SetEnabled(false);
}

void TPowersock::TimerTriggered(TThreadTimer&) {
    ReportStatus(8, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    EventDone = true;
    Abort();
}

uint16_t TPowersock::Listen(uint16_t ListenPort) {
    TSockAddress address = TSockAddress::IPv4(ws::inet_addr("127.0.0.1"), ListenPort);
    std::string text;
    if (!FreshSocketFor(AF_INET) || ws::bind(SocketHandle, address) != 0 ||
        ws::listen(SocketHandle, 5) != 0 || ws::getsockname(SocketHandle, address) != 0)
        CheckSocketError(0, text);
    FSocketFresh = false;
    EventDone = false;
    return address.Port();
}

std::string ExtractField(const std::string& Text, char Delimiter, int32_t N) {
    std::string result;
    if (Text.empty() || N < 1)
        return result;
    int32_t count = 0;
    for (const char c : Text) {
        if (c == Delimiter) {
            if (++count == N)
                break;
        } else if (count == N - 1) {
            result += c;
        }
    }
    return result;
}

int32_t FindNthChar(const std::string& Text, char Ch, int32_t N) {
    const auto length = static_cast<int32_t>(Text.size());
    int32_t count = 0;
    for (int32_t i = 0; i < length; ++i) {
        if (Text[static_cast<size_t>(i)] == Ch && ++count == N) {
            return i + 1 == length ? length + 1 : i + 1;
        }
    }
    return length + 1;
}

}  // namespace net
