// serve: the title designer in the browser (designer/DesignServer.h).
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "designer/DesignServer.h"

extern char** environ;

namespace qeltitle {

namespace {

// Opens `url` in the desktop's browser, when there is a way to.
void OpenBrowser(const std::string& url) {
    std::string command = "xdg-open";
    std::vector<char*> argv{command.data(), const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ) != 0)
        Warn("--open: cannot start xdg-open; open the address above in a browser");
}

}  // namespace

int RunServe(const std::vector<std::string>& args) {
    ArgParser parser("serve [TITLE|FOLDER] [options]",
                     "Starts the title designer: a web page that shows the title drawn by the engine\n"
                     "while it is edited, over a colour, a picture or a frame of a clip, with a timeline,\n"
                     "effects, captions, saving and exports. It reads and writes only files inside FOLDER\n"
                     "(or the folder of TITLE, which it opens; default: the current folder). The address\n"
                     "it prints carries a random token that every request must name; Ctrl-C stops it.");
    parser.Option("--port", "N", "the port to listen on (default 0: any free one)");
    parser.Option("--host", "H", "the address to listen on (default 127.0.0.1: this machine only)");
    parser.Flag("--open", "open the page in the desktop's browser");
    parser.Epilog("example:\n  qeltitle serve titles/ --port 8642 --open\n\ndoc/designer.md describes the page.");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("serve", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (parser.Positionals().size() > 1) return UsageError("serve", "expected one title file or folder");

    ServeOptions options;
    long port = 0;
    if (auto p = parser.Value("port"); p && !ParseInteger(*p, 0, 65535, port, error))
        return UsageError("serve", "--port: " + error);
    options.port = static_cast<int>(port);
    if (auto host = parser.Value("host")) {
        options.host = *host;
        if (*host != "127.0.0.1" && *host != "localhost" && *host != "::1")
            Warn("--host " + *host + ": the designer can be reached from other machines there; anyone who has "
                 "its address can read and write the files of the folder");
    }
    std::string start = parser.Positionals().empty() ? "." : parser.Positionals()[0];
    std::error_code ec;
    if (!std::filesystem::is_directory(start, ec)) {
        if (!std::filesystem::is_regular_file(start, ec)) return Fail("cannot open " + start + ": no such file or folder");
        const std::filesystem::path path(start);
        options.titleName = path.filename().string();
        start = path.has_parent_path() ? path.parent_path().string() : ".";
    }
    Expected<WorkFolder> folder = WorkFolder::Open(start);
    if (!folder) return Fail(folder.Message());
    options.pages = PageDirectory();
    if (options.pages.empty()) return Fail("the designer's page files are not installed beside qeltitle");

    // The stop signals are taken by a thread of their own, which stops the server.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::function<void()> stop;
    std::mutex stopLock;
    std::thread waiter([&] {
        int received = 0;
        sigwait(&stops, &received);
        std::lock_guard lock(stopLock);
        if (stop) stop();
    });
    Designer designer(std::move(*folder));
    const bool served = Serve(designer, options, NewToken(),
                              [&](const std::string& url, const std::function<void()>& stopServer) {
        {
            std::lock_guard lock(stopLock);
            stop = stopServer;
        }
        std::printf("designer: %s\nfolder: %s\nCtrl-C stops it.\n", url.c_str(), designer.Folder().Root().c_str());
        std::fflush(stdout);
        if (parser.Has("open")) OpenBrowser(url);
    }, error);
    {
        std::lock_guard lock(stopLock);
        stop = nullptr;
    }
    if (!served) kill(getpid(), SIGTERM);  // lets the waiter go
    waiter.join();
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    return served ? kExitOk : Fail(error);
}

}  // namespace qeltitle
