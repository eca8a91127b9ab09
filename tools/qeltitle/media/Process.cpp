#include "media/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace qeltitle {

bool SpawnPiped(const std::vector<std::string>& args, ChildPipe which, pid_t& pid, int& fd, std::string& error) {
    pid = -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool childReads = which == ChildPipe::kStdin;
    const int childEnd = childReads ? fds[0] : fds[1];
    const int ourEnd = childReads ? fds[1] : fds[0];
    // Frames are megabytes: a larger pipe buffer (up to the system's limit; a refusal is harmless)
    // moves them in fewer, larger steps.
    (void)fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childEnd, childReads ? STDIN_FILENO : STDOUT_FILENO);
    if (!childReads) posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(childEnd);
    if (rc != 0) {
        close(ourEnd);
        pid = -1;
        error = "cannot start " + args[0] + ": " + std::strerror(rc);
        return false;
    }
    fd = ourEnd;
    return true;
}

}  // namespace qeltitle
