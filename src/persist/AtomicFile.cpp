#include "persist/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>

namespace qel {
namespace {

constexpr int kMaxLinks = 40;         // the kernel's limit on links in one lookup
constexpr size_t kMaxStemBytes = 96;  // of the target's name in the temporary's, to stay under NAME_MAX

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Failed(std::string& reason) {
    reason = std::strerror(errno);
    return false;
}

// Follows links to the name that is finally written. `stream` is set for a device or FIFO,
// `existing` (with its stat) for a regular file.
bool ResolveTarget(std::string& path, bool& stream, bool& existing, struct stat& info, std::string& reason) {
    stream = existing = false;
    // A device or FIFO is opened by the name given, whatever links lead to it: /dev/stdout leads
    // through /proc/self/fd/1 to a "pipe:[...]" that is no path at all.
    if (stat(path.c_str(), &info) == 0 && (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)))
        return stream = true;
    for (int links = 0;; ++links) {
        if (lstat(path.c_str(), &info) != 0) return errno == ENOENT ? true : Failed(reason);
        if (!S_ISLNK(info.st_mode)) break;
        if (links >= kMaxLinks) return errno = ELOOP, Failed(reason);
        std::string link(PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return Failed(reason);
        if (static_cast<size_t>(n) >= link.size()) return errno = ENAMETOOLONG, Failed(reason);
        link.resize(static_cast<size_t>(n));
        // A relative link is relative to the directory that holds it.
        path = link.starts_with('/') ? link : DirectoryOf(path) + "/" + link;
    }
    if (S_ISREG(info.st_mode)) return existing = true;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)) return stream = true;
    reason = S_ISDIR(info.st_mode) ? "is a directory" : "is not a regular file, device or FIFO";
    return false;
}

bool WriteAll(int fd, std::span<const uint8_t> bytes, std::string& reason) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(reason);
        if (n == 0) return errno = EIO, Failed(reason);
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

// Opens a new, exclusive temporary beside `target`: ".NAME.XXXXXX.partial".
int OpenTemporary(const std::string& target, std::string& name) {
    const size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string dir = DirectoryOf(target);
    if (dir != "/") dir += '/';
    uint64_t tag = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   (static_cast<uint64_t>(getpid()) << 32);
    constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix) c = kDigits[(tag = tag * 6364136223846793005ull + 1442695040888963407ull) >> 59];
        name = dir + "." + base.substr(0, kMaxStemBytes) + "." + suffix + ".partial";
        // 0666: the umask decides a new file's permissions, as for any file a program creates.
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& reason) {
    std::string target = path;
    bool stream = false, existing = false;
    struct stat info {};
    if (!ResolveTarget(target, stream, existing, info, reason)) return false;

    if (stream) {
        const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return Failed(reason);
        const bool written = WriteAll(fd, bytes, reason);
        if (close(fd) != 0 && written) return Failed(reason);
        return written;
    }

    std::string temporary;
    const int fd = OpenTemporary(target, temporary);
    if (fd < 0) return Failed(reason);
    bool ok = true;
    if (existing) {
        // The replacement keeps the old file's permissions and, where allowed, its owner.
        ok = fchmod(fd, info.st_mode & 07777) == 0 || Failed(reason);
        struct stat mine {};
        if (ok && fstat(fd, &mine) == 0 && (mine.st_uid != info.st_uid || mine.st_gid != info.st_gid))
            (void)!fchown(fd, info.st_uid, info.st_gid);
    }
    ok = ok && WriteAll(fd, bytes, reason);
    ok = ok && (fsync(fd) == 0 || Failed(reason));
    // close() reports late write errors of some file systems.
    if (close(fd) != 0 && ok) ok = Failed(reason);
    ok = ok && (rename(temporary.c_str(), target.c_str()) == 0 || Failed(reason));
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename reaches the disk with its directory.
    if (const int dir = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        (void)fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace qel
