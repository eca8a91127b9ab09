// Writing an output file so that nothing that was there is lost.
//
// A regular file is written as a temporary file in the same directory, flushed to the disk and
// renamed over its name only when complete: a reader (or the next run after a crash, a full disk
// or a size limit) finds either the old file or the whole new one, never a fragment. The new file
// keeps an existing file's permissions. A symbolic link is followed and its target replaced, so the
// link stays a link. A device or FIFO is written into directly (it cannot be replaced, and
// /dev/null or a pipe to another program is what was asked for). Anything else (a directory, a
// socket) is refused. Every failure names the system's reason (the errno text).
//
// The library saves titles with it, and the command-line tool writes every output with it (the
// tool compiles this file in, as it does the text conversion).
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace qel {

// What writing to a path reaches once symbolic links are followed.
struct OutputTarget {
    enum class Kind { NewFile, RegularFile, Stream } kind = Kind::NewFile;  // Stream: device or FIFO
    std::string path;  // the final name (a link's target), relative names kept relative
    mode_t mode = 0;   // permission bits of an existing regular file
    uid_t owner = 0;
    gid_t group = 0;
};
bool ResolveOutput(const std::string& path, OutputTarget& out, std::string& error);

class SafeFile {
public:
    SafeFile() = default;
    // An uncommitted file is abandoned: its temporary is removed and the target left as it was.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Starts writing `path`: opens a temporary beside it, or the device or FIFO itself.
    bool Open(const std::string& path, std::string& error);
    // For a program that writes the file itself (ffmpeg): reserves a temporary name beside `path`
    // that ends in the same extension, and opens nothing. WritePath() is the name to hand over.
    bool Reserve(const std::string& path, std::string& error);

    const std::string& WritePath() const { return writePath_; }
    bool IsStream() const { return target_.kind == OutputTarget::Kind::Stream; }
    // A stdio stream over the open file, for writers that want one (libpng); owned by this object.
    std::FILE* Stream(std::string& error);
    bool Write(std::string_view bytes, std::string& error);

    // Flushes, syncs to the disk and renames the temporary over the target. On failure the
    // temporary is removed and the target is untouched. `Later` leaves the sync to the caller
    // (SyncFileSystem once after many files: a sync per frame made PNG sequences 1.4 to 7 times
    // slower); the file is still complete before it is renamed.
    enum class Sync { Now, Later };
    bool Commit(std::string& error, Sync sync = Sync::Now);
    // Removes the temporary (or, after Reserve, whatever the program wrote to it).
    void Discard();

private:
    bool CreateTemporary(std::string& error);
    bool Fail(std::string& error);

    OutputTarget target_;
    std::string writePath_;
    bool temporary_ = false;  // writePath_ is our temporary
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
};

// Writes every file of the file system holding `path` (a file or directory) to the disk;
// reports the first write error since they were written.
bool SyncFileSystem(const std::string& path, std::string& error);

// The whole of `bytes` into `path`, as above.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace qel
