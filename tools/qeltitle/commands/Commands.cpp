#include "commands/Commands.h"

#include <cstdio>

namespace qeltitle {

int Fail(const std::string& message) {
    std::fprintf(stderr, "qeltitle: %s\n", message.c_str());
    return kExitFailure;
}

int UsageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "qeltitle %s: %s (see qeltitle %s --help)\n", command.c_str(), message.c_str(),
                 command.c_str());
    return kExitUsage;
}

void Warn(const std::string& message) { std::fprintf(stderr, "qeltitle: warning: %s\n", message.c_str()); }

}  // namespace qeltitle
