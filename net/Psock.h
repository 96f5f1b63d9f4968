#pragma once

// TPowersock: one TCP socket with blocking-looking operations (resolve, connect,
// read a line, send and capture buffers, strings and files, disconnect). Every
// operation runs on the GUI thread and, while it waits, keeps processing the
// application's events, so socket notifications, the time-out timer and the
// user's own commands (a "stop" that calls Abort or Cancel) run inside the wait.

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/SocketWindow.h"
#include "net/ThreadTimer.h"
#include "net/TlsChannel.h"
#include "net/Winsock.h"
#include "rtl/Exceptions.h"

namespace net {

// Every failure of the session; the message is the user-visible text.
class ESockError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// A transfer ended by Cancel, Abort or the time-out.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// The size of one transfer chunk; the work buffer holds one more byte for a NUL.
inline constexpr int32_t WorkBufferChunk = 65536;

class TPowersock {
public:
    using TNotifyEvent = std::function<void(TPowersock& Sender)>;
    using TOnHostResolved = std::function<void(TPowersock& Sender)>;
    using TOnStatus = std::function<void(TPowersock& Sender, const std::string& Status)>;
    using THandlerEvent = std::function<void(bool& Handled)>;
    using TOnSocketError =
        std::function<void(TPowersock& Sender, uint16_t ErrorNo, const std::string& ErrorMsg)>;

    // Starts the sockets layer (once per process) and opens the first socket;
    // raises ESockError "Initializaton of windows sockets failed" when that fails.
    TPowersock();
    // Aborts, closes the socket without a replacement and releases the layer.
    // Note: a destructor only reaches this class's own Abort; a descendant that
    // overrides Abort calls its own from its destructor when it needs it.
    virtual ~TPowersock();
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // --- Virtual operations -------------------------------------------------
    // Waits for a pending connection on a listening socket (see Listen),
    // accepts it and puts it under the event window; returns the new socket.
    virtual TSocket Accept();
    // Resolves Host (or Proxy), connects to Port (or ProxyPort) and waits until
    // connected, failed, timed out or cancelled. A name with several addresses
    // has them tried in turn, each on a socket of its own family: a refused
    // address moves on at once, and while TimeOut is set each address but the
    // last gets an equal share of what is left of it, so one that never
    // answers cannot use up the whole time-out. The failure of the last
    // address is the one raised. With UseTls it then runs the
    // TLS handshake in the same way; a failed handshake raises ESockError
    // "TLS handshake failed: " with the reason, its time-out and cancel the
    // texts of the connect ("Connection Timed out", "Connection Canceled").
    virtual void Connect();
    virtual void Disconnect();
    // Writeln(Command), then ReadLn one reply line into LastReply and Reply;
    // ReplyNumber takes the reply's leading number.
    virtual void Transaction(const std::string& Command, std::string& Reply);
    // Reports "Abort" and cancels; the running operation notices the flag.
    virtual void Abort();

    // --- Plain operations ---------------------------------------------------
    void Cancel();
    // Sends Length bytes (0: up to the first NUL).
    void SendBuffer(const char* Buffer, uint16_t Length);
    // Sends Text up to its first NUL; 65,536 characters or more is a range error.
    void Write(const std::string& Text);
    void Writeln(const std::string& Text);
    // One line with its line end, consuming nothing beyond the line feed. An
    // empty Line means the peer closed before a line feed. A line longer than
    // the work buffer is delivered in pieces of WorkBufferChunk bytes without a
    // line feed; the next ReadLn continues with the rest.
    void ReadLn(std::string& Line);
    void SendFile(const std::string& FileName);
    void CaptureFile(const std::string& FileName);
    // Receives until the peer closes or Text reaches MaxLength (-1: no limit;
    // tested between chunks). Text is cleared with clear(), keeping its
    // capacity, so a caller can reserve the expected size beforehand; the
    // reserved room is then mapped a stretch ahead of the text as it fills,
    // which spares a large capture most of its page faults.
    void CaptureString(std::string& Text, int32_t MaxLength);
    bool DataAvailable();
    void GetErrorMessage(uint16_t Code, std::string& Text);
    void CheckSocketError(uint16_t IgnoredCode, std::string& Text);
    void ReportStatus(uint8_t Level, const std::string& Text);
    void ResolveHost();
    void RequestCloseSocket();
    void HandleSocketMessage(TMessage& Message);
    void TimerOn();
    void TimerOff();
    void TimerTriggered(TThreadTimer& Sender);

    // Puts the session's socket into the listening state on 127.0.0.1 (Port 0:
    // chosen by the system) and returns the port, for Accept. Raises ESockError
    // through CheckSocketError when the socket cannot listen.
    uint16_t Listen(uint16_t ListenPort);

    // The number of live sessions that started the sockets layer.
    static int32_t WinsockUsers();

    // --- Properties ---------------------------------------------------------
    std::string Host;     // a name, a dotted IPv4 or an IPv6 address (without brackets)
    int32_t Port = 0;     // low 16 bits used
    int32_t TimeOut = 0;  // milliseconds; 0 = no time-out
    int32_t ReportLevel = 0;
    std::string Proxy;      // when not empty, resolved and connected instead of Host
    int32_t ProxyPort = 0;  // low 16 bits used with Proxy
    // Read by Connect: true secures the connection with TLS, the server's
    // certificate verified for Host. Every transfer operation then moves its
    // bytes through TLS, unchanged otherwise.
    bool UseTls = false;
    // Read by Connect with UseTls: a folder of PEM certificates trusted
    // besides the system's store (see net/TrustFolder.h); empty for none.
    std::string TrustFolder;

    TNotifyEvent OnDisconnect;
    TNotifyEvent OnConnect;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;
    TNotifyEvent OnReadReady;
    TNotifyEvent OnAcceptReady;
    TOnSocketError OnSocketError;

    // --- Session state ------------------------------------------------------
    TSocket SocketHandle = InvalidSocket;
    bool Connected = false;
    bool Canceled = false;
    bool TimedOut = false;
    bool EventDone = false;
    bool EventOK = false;
    bool ShuttingDown = false;
    int32_t LastErrorNo = 0;
    std::string LastStatus;
    std::string LastReply;
    int16_t ReplyNumber = 0;
    // Every address the last lookup (or literal) gave, in the order they are
    // tried; the one being connected or last connected, with its port.
    std::vector<TSockAddress> RemoteAddresses;
    TSockAddress RemoteAddress;
    TWSAData WinsockData{};
    std::vector<std::string> WinsockInfo;
    // Byte counters are 64-bit so that transfers beyond 2 GiB do not overflow.
    int64_t BytesSent = 0;
    int64_t BytesRecvd = 0;

    // The certificate the server showed in the last Connect's TLS handshake,
    // whether it was accepted or refused (Check says which check failed); not
    // Present when that Connect made no handshake or the server sent none. It
    // stays valid after the connection closed, until the next Connect.
    const TPeerCertificate& PeerCertificate() const { return FPeerCertificate; }
    TThreadTimer& TimeoutTimer() { return *FTimeoutTimer; }

protected:
    void InitWinsock();
    // Sends Length bytes from Buffer, waiting for writability while the peer
    // does not drain, so the time-out and a cancel reach the loop.
    void SendBytes(const char* Buffer, size_t Length);
    // Receives until the peer closes, Store returns false, or the session is
    // cancelled (EAbortError "Socket capture aborted"); every block received
    // goes to Store as it arrives, for a capture that transforms the bytes.
    void CaptureBlocks(const std::function<bool(const char*, size_t)>& Store);
    // True while the component is being destroyed: no events are raised.
    bool Destroying() const { return FDestroying; }
    // The byte-moving calls under every operation, with the results and error
    // reporting of ws::recv and ws::send: the socket's own on a plain
    // connection, their TLS counterparts on a secured one.
    int Receive(char* Buffer, int Length, int Flags);
    int Transmit(const char* Buffer, int Length);
    // Marks the start of destruction. A descendant whose destructor still
    // works on the session (an Abort of its own) calls it first, since this
    // class's destructor runs only after the descendant's.
    void BeginDestroying() { FDestroying = true; }

    // The I/O buffer of every chunk sent, received or peeked, NUL-terminated
    // copy of a host name.
    std::array<char, WorkBufferChunk + 1> WorkBuffer{};

private:
    // The receive loop shared by the captures: hands every chunk to Store until
    // the peer closes, WantMore says enough, or the session is cancelled (the
    // caller raises its own abort text then).
    void ReceiveUntilClosed(const std::function<bool()>& WantMore,
                            const std::function<void(const char*, size_t)>& Store);

    void RegisterSocket();
    // How one address of Connect ended.
    enum class TAttempt { Connected, Failed, FailedAtOnce, Stopped };
    // Connects to Address and waits until connected, refused, Share ms passed
    // (0: no share of its own), timed out or cancelled. FailedAtOnce leaves
    // the sockets error in WSAGetLastError.
    TAttempt TryAddress(const TSockAddress& Address, uint32_t Share);
    // Makes SocketHandle a fresh socket of Family; false, with the sockets
    // error set, when none can be made.
    bool FreshSocketFor(int Family);
    void ReadLnInto(std::string& Line);
    // The handshake after the TCP connect; returns the failure text, empty
    // when the connection is secured.
    std::string Handshake();

    // The TLS client of a secured connection; null on a plain one.
    std::unique_ptr<TTlsChannel> FTls;
    TPeerCertificate FPeerCertificate;
    // The error carried by the last close message (0 for a plain close).
    int FCloseError = 0;

    std::unique_ptr<TSocketWindow> EventWindow;
    std::unique_ptr<TThreadTimer> FTimeoutTimer;
    // Ends the share of one address while Connect tries several.
    std::unique_ptr<TThreadTimer> FAttemptTimer;
    bool FAttemptExpired = false;
    // The family of SocketHandle, and whether it is still unused (no connect
    // tried, not listening), so Connect can take it as it is.
    int FSocketFamily = AF_INET;
    bool FSocketFresh = false;
    // The first socket resets its connection on close; a socket that
    // replaces it for another family or address does the same.
    bool FResetOnClose = false;
    std::vector<char> HostEntBuffer;
    int FLookupTask = 0;
    bool FDestroying = false;
};

// Field N (from 1) of Text, fields separated by single Delimiter characters;
// empty for empty Text, N below 1 or fewer than N fields.
std::string ExtractField(const std::string& Text, char Delimiter, int32_t N);

// 1-based position of the N-th Ch in Text; the length + 1 when there are fewer,
// and also when the N-th occurrence is the last character.
int32_t FindNthChar(const std::string& Text, char Ch, int32_t N);

}  // namespace net
