#include "base/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

namespace qel {
namespace {

constexpr int kMaxLinks = 40;         // as the kernel's limit on links in one lookup
constexpr size_t kMaxStemBytes = 96;  // of the target's name in the temporary's, to stay under NAME_MAX

std::string Reason() { return std::strerror(errno); }

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".NAME.XXXXXX.partial.EXT": hidden, recognisable, and with the target's extension, which is
// how ffmpeg chooses the container.
std::string TemporaryName(const std::string& target, std::mt19937& random) {
    const std::string name = NameOf(target);
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string tag(6, 'x');
    for (char& c : tag) c = kDigits[random() % (sizeof kDigits - 1)];
    std::string dir = DirectoryOf(target);
    if (dir != "/") dir += '/';
    return dir + "." + name.substr(0, kMaxStemBytes) + "." + tag + ".partial" + extension.substr(0, 16);
}

}  // namespace

bool ResolveOutput(const std::string& path, OutputTarget& out, std::string& error) {
    out = OutputTarget{};
    // A device or FIFO is opened by the name given, whatever links lead to it: /dev/stdout leads
    // through /proc/self/fd/1 to a "pipe:[...]" that is no path at all.
    if (struct stat followed {}; stat(path.c_str(), &followed) == 0 &&
        (S_ISCHR(followed.st_mode) || S_ISBLK(followed.st_mode) || S_ISFIFO(followed.st_mode))) {
        out.kind = OutputTarget::Kind::Stream;
        out.path = path;
        return true;
    }
    std::string current = path;
    for (int links = 0;; ++links) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) return error = Reason(), false;
            out.kind = OutputTarget::Kind::NewFile;  // a missing directory shows when writing
            out.path = current;
            return true;
        }
        if (S_ISLNK(info.st_mode)) {
            if (links >= kMaxLinks) return error = std::strerror(ELOOP), false;
            std::string link(PATH_MAX, '\0');
            const ssize_t n = readlink(current.c_str(), link.data(), link.size());
            if (n < 0) return error = Reason(), false;
            if (static_cast<size_t>(n) >= link.size()) return error = std::strerror(ENAMETOOLONG), false;
            link.resize(static_cast<size_t>(n));
            // A relative link is relative to the directory that holds it.
            current = link.starts_with('/') ? link : DirectoryOf(current) + "/" + link;
            continue;
        }
        out.path = current;
        if (S_ISREG(info.st_mode)) {
            out.kind = OutputTarget::Kind::RegularFile;
            out.mode = info.st_mode & 07777;
            out.owner = info.st_uid;
            out.group = info.st_gid;
            return true;
        }
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)) {
            out.kind = OutputTarget::Kind::Stream;
            return true;
        }
        error = S_ISDIR(info.st_mode) ? "is a directory" : "is not a regular file, device or FIFO";
        return false;
    }
}

SafeFile::~SafeFile() { Discard(); }

bool SafeFile::CreateTemporary(std::string& error) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName(target_.path, random);
        // 0666 lets the umask decide a new file's permissions, as for any file a program creates.
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return error = Reason(), false;
        fd_ = fd;
        writePath_ = name;
        temporary_ = true;
        if (target_.kind == OutputTarget::Kind::RegularFile) {
            // The replacement keeps the old file's permissions and, where allowed, its owner.
            if (fchmod(fd_, target_.mode) != 0) return Fail(error = Reason());
            struct stat mine {};
            if (fstat(fd_, &mine) == 0 && (mine.st_uid != target_.owner || mine.st_gid != target_.group))
                (void)!fchown(fd_, target_.owner, target_.group);
        }
        return true;
    }
    error = "cannot find a free temporary name beside it";
    return false;
}

bool SafeFile::Open(const std::string& path, std::string& error) {
    Discard();
    if (!ResolveOutput(path, target_, error)) return false;
    if (target_.kind != OutputTarget::Kind::Stream) return CreateTemporary(error);
    fd_ = open(target_.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) return error = Reason(), false;
    writePath_ = target_.path;
    return true;
}

bool SafeFile::Reserve(const std::string& path, std::string& error) {
    Discard();
    if (!ResolveOutput(path, target_, error)) return false;
    if (target_.kind == OutputTarget::Kind::Stream) {
        writePath_ = target_.path;
        return true;
    }
    if (!CreateTemporary(error)) return false;
    close(fd_);
    fd_ = -1;
    return true;
}

std::FILE* SafeFile::Stream(std::string& error) {
    if (!stream_ && fd_ >= 0) {
        stream_ = fdopen(fd_, "wb");
        if (!stream_) error = Reason();
    }
    return stream_;
}

bool SafeFile::Write(std::string_view bytes, std::string& error) {
    if (stream_) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) return Fail(error = Reason());
        return true;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(error = n < 0 ? Reason() : std::strerror(EIO));
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool SafeFile::Commit(std::string& error, Sync sync) {
    if (stream_) {
        if (std::fflush(stream_) != 0 || std::ferror(stream_)) return Fail(error = Reason());
        fd_ = fileno(stream_);
    }
    if (temporary_ && sync == Sync::Now) {
        // After Reserve another program wrote the file: open it to sync what it wrote.
        const int fd = fd_ >= 0 ? fd_ : open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fsync(fd) != 0) {
            error = Reason();
            if (fd >= 0 && fd != fd_) close(fd);
            return Fail(error);
        }
        if (fd != fd_) close(fd);
    }
    // close() reports late write errors (network file systems).
    const int closed = stream_ ? std::fclose(stream_) : fd_ >= 0 ? close(fd_) : 0;
    stream_ = nullptr;
    fd_ = -1;
    if (closed != 0) return Fail(error = Reason());
    if (temporary_) {
        if (rename(writePath_.c_str(), target_.path.c_str()) != 0) return Fail(error = Reason());
        temporary_ = false;
        if (sync == Sync::Later) {
            writePath_.clear();
            return true;
        }
        // The rename itself reaches the disk with the directory.
        const int dir = open(DirectoryOf(target_.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            (void)fsync(dir);
            close(dir);
        }
    }
    writePath_.clear();
    return true;
}

bool SafeFile::Fail(std::string&) {
    Discard();
    return false;
}

void SafeFile::Discard() {
    if (stream_) {
        std::fclose(stream_);
    } else if (fd_ >= 0) {
        close(fd_);
    }
    stream_ = nullptr;
    fd_ = -1;
    if (temporary_) unlink(writePath_.c_str());
    temporary_ = false;
    writePath_.clear();
}

bool SyncFileSystem(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return error = Reason(), false;
    const bool synced = syncfs(fd) == 0;
    if (!synced) error = Reason();
    close(fd);
    return synced;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
    SafeFile file;
    return file.Open(path, error) && file.Write(bytes, error) && file.Commit(error);
}

}  // namespace qel
