#pragma once

// The TLS client of one connected socket (OpenSSL). It never blocks: every call
// that cannot go on says "would block" (WSAEWOULDBLOCK), exactly as a send or
// receive on the non-blocking socket does, and the session waits for the next
// socket event before it calls again. OpenSSL moves its bytes through the
// sockets layer's own send and recv, so the layer's readiness messages (FD_READ
// re-enabled by every recv, FD_CLOSE at the end of the stream, the write wake-up
// of a send that would block) work for TLS as they do for plain TCP.

#include <array>
#include <cstdint>
#include <string>

#include "net/PeerCertificate.h"
#include "net/Winsock.h"

struct ssl_st;
struct bio_st;

namespace net {

class TTlsChannel {
public:
    // A client for HostName (a name: sent as SNI and matched against the
    // certificate's names; a dotted IPv4 or an IPv6 address: matched against
    // its addresses) over a connected, registered socket. The certificate chain
    // is verified against OpenSSL's default trust store, which SSL_CERT_FILE and
    // SSL_CERT_DIR name as in every OpenSSL program, and the certificates of
    // TrustFolder (see net/TrustFolder.h; empty for none). TLS 1.2 at least.
    // Raises ESockError when OpenSSL cannot be set up.
    TTlsChannel(TSocket Socket, const std::string& HostName, const std::string& TrustFolder = {});
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    enum class TStep { Done, Wait, Failed };
    // Runs the handshake as far as the socket allows. Failed leaves the reason
    // in plain English in Reason ("certificate verify failed (hostname
    // mismatch)"); when the socket itself failed, SocketCode holds its WSA
    // code and Reason is empty; when the server closed, both say nothing.
    TStep Handshake(std::string& Reason, int& SocketCode);
    bool Established() const { return FEstablished; }

    // As ws::recv: the count of decrypted bytes, 0 when the server ended the
    // stream (with close_notify or by simply closing), -1 with WSAGetLastError
    // set (WSAEWOULDBLOCK while nothing is decrypted yet). With Peek the bytes
    // stay in the read-ahead buffer for the next call. A broken TLS stream
    // raises ESockError with the reason.
    int Receive(char* Buffer, int Length, bool Peek);
    // As ws::send: the count of bytes taken (at most one record's worth when the
    // socket is full), -1 with WSAGetLastError set. Raises ESockError for a
    // broken TLS stream.
    int Send(const char* Buffer, int Length);
    // Decrypted bytes are waiting: in the read-ahead buffer or inside OpenSSL.
    // They raise no socket event, so readers must count them as readable.
    bool Pending() const;
    // Sends close_notify once, without waiting; nothing is reported.
    void Close();
    // The server's own certificate and how its verification went, as far as
    // the handshake got; not Present before the server sent it.
    TPeerCertificate PeerCertificate() const;

    // The socket calls of the BIO and the verify note; public for their C
    // callbacks only.
    int BioRead(bio_st* Bio, char* Buffer, int Length);
    int BioWrite(bio_st* Bio, const char* Buffer, int Length);
    void NoteVerifyFailure(int Depth);

private:
    // SSL_read into Buffer until it is full or OpenSSL would block.
    int ReadSome(char* Buffer, int Length);
    // Turns an SSL_get_error result into the recv/send convention, or raises.
    int Failed(int Error, const char* Operation);
    [[noreturn]] void Raise(const std::string& Text);

    TSocket FSocket;
    ssl_st* FSsl = nullptr;
    bool FEstablished = false;
    bool FEnded = false;        // the server ended the stream; reads give 0 from now on
    std::string FBroken;        // a fatal TLS error; every later call raises it again
    int FSocketError = 0;       // the WSA code of the last failed socket call of the BIO
    bool FSocketEnded = false;  // the BIO found the end of the socket's stream
    int FPendingError = 0;      // a socket failure found after bytes that were handed over
    std::string FFirstBytes;    // the first bytes the server sent, to name a plain HTTP answer
    int FVerifyDepth = -1;      // the chain position of the certificate that failed
    // Decrypted bytes read for a peek and not yet taken, from FAheadStart on.
    std::array<char, 16384> FAhead{};
    size_t FAheadStart = 0;
    size_t FAheadEnd = 0;
};

}  // namespace net
