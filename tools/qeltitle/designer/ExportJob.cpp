#include "designer/ExportJob.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>

#include "player/SafeFile.h"

extern char** environ;

namespace qeltitle {

ExportJob::~ExportJob() {
    Cancel();
    if (watcher_.joinable()) watcher_.join();
}

Status ExportJob::Start(std::vector<std::string> args, const std::string& document, const std::string& output) {
    std::lock_guard lock(mutex_);
    if (status_.running) return Failure("an export is already running");
    if (watcher_.joinable()) watcher_.join();
    char folderTemplate[] = "/tmp/qeltitle-export-XXXXXX";
    if (!mkdtemp(folderTemplate)) return Failure(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    const std::string folder = folderTemplate, title = folder + "/title.xml";
    std::string error;
    if (!WriteWholeFile(title, document, error)) {
        std::filesystem::remove_all(folder);
        return Failure("cannot write the title for the export: " + error);
    }
    for (std::string& a : args)
        if (a == "{title}") a = title;
    args.insert(args.begin(), "qeltitle");

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return Failure(std::string("cannot start the export: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The server blocks the stop signals in its threads; the command must get them.
    posix_spawnattr_t attrs;
    posix_spawnattr_init(&attrs);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attrs, &none);
    posix_spawnattr_setflags(&attrs, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int code = posix_spawn(&pid, "/proc/self/exe", &actions, &attrs, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attrs);
    close(fds[1]);
    if (code != 0) {
        close(fds[0]);
        std::filesystem::remove_all(folder);
        return Failure(std::string("cannot start the export: ") + std::strerror(code));
    }
    pid_ = pid;
    status_ = ExportStatus{true, false, false, 0, 0, "exporting " + output, output};
    watcher_ = std::thread(&ExportJob::Watch, this, fds[0], pid, folder);
    return {};
}

void ExportJob::Watch(int pipe, pid_t pid, std::string folder) {
    // Progress lines: "[####....] 12/250 frames  ..."; the last other line is the message.
    static const std::regex progress(R"((\d+)/(\d+) frames)");
    std::string pending, last;
    char buffer[4096];
    const auto take = [&](const std::string& line) {
        std::smatch m;
        std::lock_guard lock(mutex_);
        if (std::regex_search(line, m, progress)) {
            status_.done = std::stoi(m[1]);
            status_.total = std::stoi(m[2]);
        } else if (!line.empty()) {
            last = line;
        }
    };
    for (ssize_t n; (n = read(pipe, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find_first_of("\r\n")) != std::string::npos; pending.erase(0, end + 1))
            take(pending.substr(0, end));
    }
    take(pending);
    close(pipe);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    std::filesystem::remove_all(folder);
    std::lock_guard lock(mutex_);
    pid_ = -1;
    status_.running = false;
    status_.ok = WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
    if (status_.ok && status_.total > 0) status_.done = status_.total;
    if (status_.ok) status_.message = "wrote " + status_.output;
    else if (status_.cancelled) status_.message = "export cancelled; " + status_.output + " left as it was";
    else status_.message = last.empty() ? "the export failed" : last;
}

ExportStatus ExportJob::Current() {
    std::lock_guard lock(mutex_);
    return status_;
}

bool ExportJob::Cancel() {
    std::lock_guard lock(mutex_);
    if (pid_ <= 0) return false;
    status_.cancelled = true;
    status_.message = "cancelling the export of " + status_.output;
    kill(pid_, SIGINT);
    return true;
}

}  // namespace qeltitle
