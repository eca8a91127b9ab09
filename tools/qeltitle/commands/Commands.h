// The subcommands. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 failure (with a message on standard error), 2 bad usage.
#pragma once

#include <string>
#include <vector>

#include "player/Result.h"

namespace qeltitle {

int RunRender(const std::vector<std::string>& args);
int RunAnimate(const std::vector<std::string>& args);
int RunText(const std::vector<std::string>& args);
int RunEffects(const std::vector<std::string>& args);
int RunGallery(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunDump(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);
int RunBuild(const std::vector<std::string>& args);
int RunExport(const std::vector<std::string>& args);
int RunCaptions(const std::vector<std::string>& args);
int RunOverlay(const std::vector<std::string>& args);
int RunFill(const std::vector<std::string>& args);
int RunBatch(const std::vector<std::string>& args);
int RunLowerThird(const std::vector<std::string>& args);
int RunServe(const std::vector<std::string>& args);
// `qeltitle --version`: the versions of the tool, the library and the libraries it draws with.
int PrintVersion();

// Whole inputs and outputs of the JSON commands; "-" is standard input or output. A file output
// is replaced only by a complete file.
Expected<std::string> ReadInput(const std::string& path);
Status WriteOutput(const std::string& path, const std::string& bytes);

// Shared by the commands: messages and exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
int Fail(const std::string& message);                          // "qeltitle: message", returns 1
int UsageError(const std::string& command, const std::string& message);  // returns 2
void Warn(const std::string& message);

// Renders the demo gallery (used by `gallery` and `demo`).
Status WriteGallery(const std::string& output, const std::string& text, int level, const std::string& strings,
                    bool keysOnly);

}  // namespace qeltitle
