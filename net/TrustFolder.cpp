#include "net/TrustFolder.h"

#include <dirent.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "rtl/Exceptions.h"
#include "rtl/FileFolders.h"
#include "rtl/TextFile.h"

namespace net {

namespace {

// A certificate file is a few kilobytes; a bundle of every CA in the world is
// well under a megabyte. Anything larger is not what this folder is for.
constexpr off_t MaxTrustFileBytes = 1 << 20;

struct TEntry {
    std::string Name;
    struct stat Info {};
};

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// The folder's visible regular files (links followed), by name.
std::vector<TEntry> ListFiles(const std::string& Folder) {
    std::vector<TEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(Folder.c_str()), &::closedir);
    if (!dir)
        return entries;
    while (const dirent* item = ::readdir(dir.get())) {
        TEntry entry{item->d_name};
        if (entry.Name.empty() || entry.Name.front() == '.')
            continue;
        if (::stat((Folder + entry.Name).c_str(), &entry.Info) != 0 || !S_ISREG(entry.Info.st_mode))
            continue;
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; });
    return entries;
}

std::string ErrorText(unsigned long Error) {
    if (const char* reason = ERR_reason_error_string(Error))
        return reason;
    return "error " + std::to_string(ERR_GET_REASON(Error));
}

// The certificates of PEM text, or why there are none usable: a file with a
// damaged block is refused whole rather than trusted in part.
std::vector<X509*> PemCertificates(const std::string& Text, std::string& Reason) {
    std::vector<X509*> found;
    ERR_clear_error();
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(Text.data(), static_cast<int>(Text.size())), &BIO_free);
    while (bio) {
        X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
        if (certificate == nullptr)
            break;
        found.push_back(certificate);
    }
    // Running out of blocks is the normal end; anything else is damage.
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    if (!bio || (error != 0 && !(ERR_GET_LIB(error) == ERR_LIB_PEM &&
                                 ERR_GET_REASON(error) == PEM_R_NO_START_LINE))) {
        Reason = bio ? "damaged certificate (" + ErrorText(error) + ")" : "out of memory";
        for (X509* certificate : found)
            X509_free(certificate);
        found.clear();
    } else if (found.empty()) {
        Reason = "no PEM certificate in it";
    }
    return found;
}

struct TNotes {
    bool Noted = false;
    std::string Stamp;
    std::vector<TSkippedTrustFile> Pending;
};

TNotes& Notes() {
    static TNotes notes;
    return notes;
}

}  // namespace

TTrustFolderReading ReadTrustFolder(const std::string& Folder, x509_store_st* Store) {
    TTrustFolderReading reading;
    const std::string folder = WithSlash(Folder);
    if (folder.empty())
        return reading;
    for (const TEntry& entry : ListFiles(folder)) {
        const std::string path = folder + entry.Name;
        std::string reason;
        std::string text;
        if (entry.Info.st_size > MaxTrustFileBytes) {
            reason = "larger than 1 MiB";
        } else {
            try {
                text = rtl::ReadWholeFile(path);
            } catch (const rtl::EInOutError& error) {
                reason = "cannot be read: " + error.Message();
            }
        }
        std::vector<X509*> certificates;
        if (reason.empty())
            certificates = PemCertificates(text, reason);
        for (X509* certificate : certificates) {
            // A certificate the store holds already counts all the same.
            if (Store != nullptr)
                X509_STORE_add_cert(Store, certificate);
            X509_free(certificate);
            ++reading.Certificates;
        }
        if (!reason.empty())
            reading.Skipped.push_back({path, reason});
    }
    ERR_clear_error();
    return reading;
}

std::string TrustFolderStamp(const std::string& Folder) {
    const std::string folder = WithSlash(Folder);
    std::string stamp;
    if (folder.empty())
        return stamp;
    for (const TEntry& entry : ListFiles(folder)) {
        const struct stat& info = entry.Info;
        stamp += entry.Name + '\0' + std::to_string(info.st_size) + ' ' +
                 std::to_string(info.st_mtim.tv_sec) + '.' + std::to_string(info.st_mtim.tv_nsec) +
                 ' ' + std::to_string(info.st_ino) + '\n';
    }
    return stamp;
}

std::vector<TSkippedTrustFile> TakeSkippedTrustFiles() {
    return std::exchange(Notes().Pending, {});
}

void NoteTrustFolderReading(const std::string& Stamp, std::vector<TSkippedTrustFile> Skipped) {
    TNotes& notes = Notes();
    if (notes.Noted && notes.Stamp == Stamp)
        return;
    notes.Noted = true;
    notes.Stamp = Stamp;
    notes.Pending = std::move(Skipped);
}

std::string TrustFileName(const std::string& Host) {
    std::string name;
    for (const char c : Host.substr(0, 200)) {
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        const bool safe = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') ||
                          lower == '-' || (lower == '.' && !name.empty());
        name += safe ? lower : '_';
    }
    return name + ".pem";
}

std::string SaveTrustedCertificate(const std::string& Folder, const std::string& Host,
                                   const std::string& Certificate) {
    if (Host.empty())
        throw rtl::EInOutError("No host to trust a certificate for");
    if (Folder.empty())
        throw rtl::EInOutError("No folder to keep trusted certificates in");
    std::string reason;
    std::vector<X509*> certificates = PemCertificates(Certificate, reason);
    if (certificates.empty())
        throw rtl::EInOutError("No certificate to trust for " + Host + ": " + reason);
    // Only the first one is kept, written out afresh, so the file holds exactly
    // the certificate the user chose and nothing that came along with it.
    std::string pem;
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (bio && PEM_write_bio_X509(bio.get(), certificates.front()) == 1) {
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio.get(), &data);
        pem.assign(data, static_cast<size_t>(std::max(length, 0L)));
    }
    for (X509* certificate : certificates)
        X509_free(certificate);
    ERR_clear_error();
    if (pem.empty())
        throw rtl::EInOutError("No certificate to trust for " + Host + ": out of memory");

    const std::string folder = WithSlash(Folder);
    rtl::CreatePrivateFolders(folder);
    const std::string path = folder + TrustFileName(Host);
    if (!rtl::ReplaceWholeFile(path, pem))
        throw rtl::EInOutError("Cannot write " + path + ": " + std::strerror(errno));
    return path;
}

}  // namespace net
