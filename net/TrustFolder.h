#pragma once

// A folder of certificates the user trusts besides the system's store: PEM
// files of CAs (trusted for the sites they signed) and of servers themselves
// (self-signed or not, trusted exactly as they are). The TLS client reads it
// when it builds its context, which it does again only when the folder
// changed; names and dates are still checked for every server.

#include <string>
#include <vector>

struct x509_store_st;

namespace net {

// A file of the folder that gave no certificate, and why (English).
struct TSkippedTrustFile {
    std::string File;  // its path
    std::string Reason;
};

struct TTrustFolderReading {
    int Certificates = 0;
    std::vector<TSkippedTrustFile> Skipped;
};

// Reads every file of Folder whose name does not begin with '.' (hidden ones
// are left alone, as are sub-folders). Every
// certificate of a PEM file goes into Store (when it is not null); a file that
// holds none, is damaged, too large or unreadable is skipped, with its reason.
// A missing folder is read as an empty one.
TTrustFolderReading ReadTrustFolder(const std::string& Folder, x509_store_st* Store);

// What the folder holds now (names, sizes, modification times), cheap to take:
// equal stamps mean there is nothing new to read. Empty for a missing folder.
std::string TrustFolderStamp(const std::string& Folder);

// The files skipped at the latest reading of a trust folder that differed from
// the reading before it, handed out once: taking them empties the list until a
// changed folder is read again. So a file that is not a certificate is told
// once, not at every fetch.
std::vector<TSkippedTrustFile> TakeSkippedTrustFiles();
// Called by the TLS client with each reading; Stamp identifies the folder's
// state, so reading an unchanged folder again tells nothing new.
void NoteTrustFolderReading(const std::string& Stamp, std::vector<TSkippedTrustFile> Skipped);

// The file name under which Host's own certificate is kept: the host in lower
// case, every character but letters, digits, '-' and '.' made '_' (so is a
// leading '.', which would hide the file), at most 200 of them, then ".pem":
// "Chat.Example.org" -> "chat.example.org.pem", "[::1]" -> "___1_.pem".
std::string TrustFileName(const std::string& Host);

// Trusts exactly Certificate (PEM text; its first certificate is kept) for
// Host: writes it into Folder under TrustFileName(Host), replacing the host's
// earlier file atomically and creating Folder (mode 0700) when it is missing,
// so the next TLS connection trusts it. Returns the file's path. Raises
// rtl::EInOutError when Host is empty, the text holds no certificate or the
// file cannot be written.
std::string SaveTrustedCertificate(const std::string& Folder, const std::string& Host,
                                   const std::string& Certificate);

}  // namespace net
