#include "net/TlsChannel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "net/Psock.h"
#include "net/TrustFolder.h"

namespace net {

namespace {

// One client context for the process, built again when the trust store
// changes: the one the environment names (SSL_CERT_FILE, SSL_CERT_DIR) or the
// extra trust folder and what it holds. Building it loads the whole CA bundle,
// which every connection would otherwise pay for; telling whether the folder
// changed costs a listing and a stat per file. It is never freed: connections
// hold their own reference, and OpenSSL's clean-up at exit must not find it
// freed after itself.
SSL_CTX* gContext = nullptr;
std::string* gContextKey = nullptr;

std::string TrustStoreKey() {
    std::string key;
    for (const char* name : {"SSL_CERT_FILE", "SSL_CERT_DIR"}) {
        const char* value = std::getenv(name);
        key += value ? "=" + std::string(value) : "-";
        key += '\n';
    }
    return key;
}

std::string LastErrorReason(unsigned long Error) {
    if (Error == 0)
        return "unknown error";
    if (const char* reason = ERR_reason_error_string(Error))
        return reason;
    return "error " + std::to_string(ERR_GET_REASON(Error));
}

SSL_CTX* ClientContext(const std::string& TrustFolder) {
    const std::string folderKey =
        TrustFolder.empty() ? std::string() : TrustFolder + '\n' + TrustFolderStamp(TrustFolder);
    const std::string key = TrustStoreKey() + folderKey;
    if (gContext != nullptr && gContextKey != nullptr && *gContextKey == key)
        return gContext;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr)
        return nullptr;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // A missing file or folder leaves the store empty, and every handshake
    // then fails with a verify error that says so.
    SSL_CTX_set_default_verify_paths(context);
    if (!TrustFolder.empty()) {
        TTrustFolderReading reading = ReadTrustFolder(TrustFolder, SSL_CTX_get_cert_store(context));
        // A server certificate in the folder is trusted as it is, though no
        // CA of the store signed it.
        if (reading.Certificates > 0)
            X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context), X509_V_FLAG_PARTIAL_CHAIN);
        NoteTrustFolderReading(folderKey, std::move(reading.Skipped));
    }
    // Partial writes: a send takes what fits, as a socket's send does. The
    // send loops retry a blocked write with the same bytes, but not always
    // from the same address (the work buffer is reused by other operations).
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                  SSL_MODE_AUTO_RETRY);
    ERR_clear_error();
    if (gContext != nullptr)
        SSL_CTX_free(gContext);
    gContext = context;
    if (gContextKey == nullptr)
        gContextKey = new std::string;
    *gContextKey = key;
    return gContext;
}

TTlsChannel* ChannelOf(BIO* Bio) {
    return static_cast<TTlsChannel*>(BIO_get_data(Bio));
}

int BioReadCallback(BIO* Bio, char* Buffer, int Length) {
    return ChannelOf(Bio)->BioRead(Bio, Buffer, Length);
}

int BioWriteCallback(BIO* Bio, const char* Buffer, int Length) {
    return ChannelOf(Bio)->BioWrite(Bio, Buffer, Length);
}

long BioControl(BIO*, int Command, long, void*) {
    // Writes go straight to the socket; there is nothing to flush.
    return Command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* Bio) {
    BIO_set_init(Bio, 1);
    return 1;
}

BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "perchly socket");
        if (m != nullptr) {
            BIO_meth_set_read(m, BioReadCallback);
            BIO_meth_set_write(m, BioWriteCallback);
            BIO_meth_set_ctrl(m, BioControl);
            BIO_meth_set_create(m, BioCreate);
        }
        return m;
    }();
    return method;
}

// Keeps which certificate of the chain failed; the verdict itself stays
// OpenSSL's.
int VerifyCallback(int Ok, X509_STORE_CTX* Store) {
    if (Ok == 0) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(Store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (auto* channel = ssl ? static_cast<TTlsChannel*>(SSL_get_app_data(ssl)) : nullptr)
            channel->NoteVerifyFailure(X509_STORE_CTX_get_error_depth(Store));
    }
    return Ok;
}

}  // namespace

TTlsChannel::TTlsChannel(TSocket Socket, const std::string& HostName,
                         const std::string& TrustFolder)
    : FSocket(Socket) {
    ERR_clear_error();
    // Without a name there is nothing to check the certificate against, and
    // OpenSSL would then accept any name.
    if (HostName.empty() || HostName.find('\0') != std::string::npos)
        throw ESockError("TLS needs a host name");
    SSL_CTX* context = ClientContext(TrustFolder);
    BIO_METHOD* method = SocketMethod();
    if (context == nullptr || method == nullptr)
        Raise("TLS cannot be set up: " + LastErrorReason(ERR_peek_last_error()));
    FSsl = SSL_new(context);
    BIO* bio = FSsl ? BIO_new(method) : nullptr;
    if (bio == nullptr) {
        SSL_free(FSsl);
        FSsl = nullptr;
        Raise("TLS cannot be set up: " + LastErrorReason(ERR_peek_last_error()));
    }
    BIO_set_data(bio, this);
    SSL_set_bio(FSsl, bio, bio);
    SSL_set_connect_state(FSsl);
    SSL_set_app_data(FSsl, this);
    SSL_set_verify(FSsl, SSL_VERIFY_PEER, VerifyCallback);

    X509_VERIFY_PARAM* param = SSL_get0_param(FSsl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // An address is matched against the certificate's addresses and sent
    // without SNI, which carries names only.
    if (X509_VERIFY_PARAM_set1_ip_asc(param, HostName.c_str()) != 1) {
        ERR_clear_error();
        char* name = const_cast<char*>(HostName.c_str());
        if (X509_VERIFY_PARAM_set1_host(param, name, HostName.size()) != 1 ||
            SSL_ctrl(FSsl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, name) != 1) {
            SSL_free(FSsl);
            FSsl = nullptr;
            ERR_clear_error();
            throw ESockError("Invalid host name for TLS: " + HostName);
        }
    }
}

TTlsChannel::~TTlsChannel() {
    SSL_free(FSsl);
    ERR_clear_error();
}

void TTlsChannel::Raise(const std::string& Text) {
    ERR_clear_error();
    throw ESockError(Text);
}

int TTlsChannel::BioRead(bio_st* Bio, char* Buffer, int Length) {
    BIO_clear_retry_flags(Bio);
    const int n = ws::recv(FSocket, Buffer, Length, 0);
    if (n > 0) {
        if (FFirstBytes.size() < 5)
            FFirstBytes.append(Buffer, std::min<size_t>(5 - FFirstBytes.size(), n));
        return n;
    }
    if (n == 0) {
        FSocketEnded = true;
        return 0;
    }
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK || code == WSAEINTR) {
        BIO_set_retry_read(Bio);
        return -1;
    }
    FSocketError = code;
    return -1;
}

int TTlsChannel::BioWrite(bio_st* Bio, const char* Buffer, int Length) {
    BIO_clear_retry_flags(Bio);
    const int n = ws::send(FSocket, Buffer, Length, 0);
    if (n >= 0)
        return n;
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK || code == WSAEINTR) {
        BIO_set_retry_write(Bio);
        return -1;
    }
    FSocketError = code;
    return -1;
}

TTlsChannel::TStep TTlsChannel::Handshake(std::string& Reason, int& SocketCode) {
    Reason.clear();
    SocketCode = 0;
    if (FEstablished)
        return TStep::Done;
    if (!FBroken.empty()) {
        Reason = FBroken;
        return TStep::Failed;
    }
    ERR_clear_error();
    FSocketError = 0;
    const int result = SSL_do_handshake(FSsl);
    if (result == 1) {
        FEstablished = true;
        return TStep::Done;
    }
    const int error = SSL_get_error(FSsl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return TStep::Wait;

    const long verify = SSL_get_verify_result(FSsl);
    const unsigned long queued = ERR_peek_last_error();
    if (FFirstBytes == "HTTP/") {
        // OpenSSL would only say "wrong version number".
        Reason = "the server answered in plain HTTP";
    } else if (verify != X509_V_OK) {
        Reason = std::string("certificate verify failed (") +
                 X509_verify_cert_error_string(verify) + ")";
    } else if (FSocketError != 0) {
        SocketCode = FSocketError;
    } else if (FSocketEnded || queued == 0 ||
               ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
        // The server closed: the caller says so in its own words.
    } else {
        Reason = LastErrorReason(queued);
    }
    FBroken = Reason.empty() ? "TLS handshake not completed" : "TLS handshake failed: " + Reason;
    ERR_clear_error();
    return TStep::Failed;
}

int TTlsChannel::Failed(int Error, const char* Operation) {
    const unsigned long queued = ERR_peek_last_error();
    if (Error == SSL_ERROR_ZERO_RETURN ||
        (Error == SSL_ERROR_SSL && ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING) ||
        (Error == SSL_ERROR_SYSCALL && FSocketError == 0)) {
        // close_notify, or a close without it: either way the stream ended,
        // and what arrived before stays valid, as with a plain close.
        FEnded = true;
        ERR_clear_error();
        return 0;
    }
    if (Error == SSL_ERROR_SYSCALL) {
        ERR_clear_error();
        WSASetLastError(FSocketError);
        return -1;
    }
    FBroken = std::string("TLS ") + Operation + " failed: " + LastErrorReason(queued);
    Raise(FBroken);
}

int TTlsChannel::ReadSome(char* Buffer, int Length) {
    int total = 0;
    while (total < Length && !FEnded && FBroken.empty()) {
        ERR_clear_error();
        FSocketError = 0;
        size_t got = 0;
        if (SSL_read_ex(FSsl, Buffer + total, static_cast<size_t>(Length - total), &got) == 1) {
            total += static_cast<int>(got);
            continue;
        }
        const int error = SSL_get_error(FSsl, 0);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (total > 0)
                return total;
            WSASetLastError(WSAEWOULDBLOCK);
            return -1;
        }
        // What arrived before the end or the failure is handed over first;
        // the next call reports the end (or the failure) itself.
        if (total > 0) {
            try {
                const int outcome = Failed(error, "read");
                if (outcome < 0)
                    FPendingError = WSAGetLastError();
            } catch (const ESockError&) {
            }
            return total;
        }
        return Failed(error, "read");
    }
    if (total > 0)
        return total;
    if (!FBroken.empty())
        Raise(FBroken);
    return 0;
}

int TTlsChannel::Receive(char* Buffer, int Length, bool Peek) {
    if (!FEstablished)
        Raise(FBroken.empty() ? "TLS handshake not completed" : FBroken);
    if (FPendingError != 0 && FAheadStart == FAheadEnd) {
        WSASetLastError(FPendingError);
        return -1;
    }
    if (Length <= 0)
        return 0;
    if (FAheadStart == FAheadEnd) {
        if (!Peek)
            return ReadSome(Buffer, Length);
        FAheadStart = FAheadEnd = 0;
        const int n = ReadSome(FAhead.data(), static_cast<int>(FAhead.size()));
        if (n <= 0)
            return n;
        FAheadEnd = static_cast<size_t>(n);
    }
    const size_t count = std::min(static_cast<size_t>(Length), FAheadEnd - FAheadStart);
    std::memcpy(Buffer, FAhead.data() + FAheadStart, count);
    if (!Peek)
        FAheadStart += count;
    return static_cast<int>(count);
}

int TTlsChannel::Send(const char* Buffer, int Length) {
    if (!FEstablished)
        Raise(FBroken.empty() ? "TLS handshake not completed" : FBroken);
    if (!FBroken.empty())
        Raise(FBroken);
    if (FPendingError != 0) {
        WSASetLastError(FPendingError);
        return -1;
    }
    if (Length <= 0)
        return 0;
    ERR_clear_error();
    FSocketError = 0;
    size_t written = 0;
    if (SSL_write_ex(FSsl, Buffer, static_cast<size_t>(Length), &written) == 1)
        return static_cast<int>(written);
    const int error = SSL_get_error(FSsl, 0);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    if (Failed(error, "write") == 0) {
        // The server has gone: a send can no more reach it than a plain
        // send on a connection the peer tore down.
        WSASetLastError(WSAECONNRESET);
    }
    return -1;
}

void TTlsChannel::NoteVerifyFailure(int Depth) {
    if (FVerifyDepth < 0)
        FVerifyDepth = Depth;
}

TPeerCertificate TTlsChannel::PeerCertificate() const {
    // A certificate that failed verification is not the session's peer
    // certificate, but it heads the chain the server sent.
    X509* leaf = SSL_get0_peer_certificate(FSsl);
    if (leaf == nullptr) {
        STACK_OF(X509)* chain = SSL_get_peer_cert_chain(FSsl);
        if (chain != nullptr && sk_X509_num(chain) > 0)
            leaf = sk_X509_value(chain, 0);
    }
    TPeerCertificate peer = DescribeCertificate(leaf, SSL_get_verify_result(FSsl), FVerifyDepth);
    ERR_clear_error();
    return peer;
}

bool TTlsChannel::Pending() const {
    return FAheadStart < FAheadEnd || (FEstablished && SSL_pending(FSsl) > 0);
}

void TTlsChannel::Close() {
    if (FEstablished && FBroken.empty() && FPendingError == 0 && !FEnded) {
        ERR_clear_error();
        SSL_shutdown(FSsl);
    }
    ERR_clear_error();
}

}  // namespace net
