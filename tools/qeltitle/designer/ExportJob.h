// A video export run by the tool itself in a child process (`overlay` over a clip, `animate`
// without one), so that it goes through exactly the pipeline of those commands, with their safe
// output (the file is replaced only when complete) and their messages. Its progress is read from
// the lines the command writes to standard error.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/Result.h"

namespace qeltitle {

struct ExportStatus {
    bool running = false;
    bool ok = false;     // the last run finished and succeeded
    bool cancelled = false;  // the last run was stopped by Cancel (its output left as it was)
    int done = 0, total = 0;  // frames
    std::string message;      // the command's last message (its error, or what it wrote)
    std::string output;       // the file being written, as the page named it
};

class ExportJob {
public:
    ExportJob() = default;
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;
    ~ExportJob();  // stops a run still going, as Ctrl-C would

    // Starts `qeltitle ARGS...` with `document` (a title file's bytes) written to a private
    // temporary file whose path replaces every "{title}" among the arguments. Refused while a run
    // is going.
    Status Start(std::vector<std::string> args, const std::string& document, const std::string& output);
    ExportStatus Current();
    // Interrupts the run as Ctrl-C would: the command stops before its next frame, removes its
    // partial file and leaves an existing output as it was. False when no run is going.
    bool Cancel();

private:
    void Watch(int pipe, pid_t pid, std::string folder);

    std::mutex mutex_;
    ExportStatus status_;
    pid_t pid_ = -1;
    std::thread watcher_;
};

}  // namespace qeltitle
