// Child processes with one standard stream on a pipe: ffmpeg reading the frames the tool draws,
// or writing the frames it decodes for the tool.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qeltitle {

// Which standard stream of the child the pipe takes the place of.
enum class ChildPipe {
    kStdin,   // the tool writes into `fd`
    kStdout,  // the tool reads from `fd`; the child's standard input is /dev/null
};

// Starts args[0] (a path) with `args`; the tool's end of the pipe (close-on-exec, with a buffer of up
// to 1 MiB where the system allows) comes back in `fd`. False with the reason in `error` when the
// pipe or the process cannot be made; `pid` is then -1.
bool SpawnPiped(const std::vector<std::string>& args, ChildPipe which, pid_t& pid, int& fd, std::string& error);

}  // namespace qeltitle
