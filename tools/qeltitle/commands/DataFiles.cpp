#include "commands/DataFiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace qeltitle {

std::string DataDirectory(const std::string& name, const std::string& member) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/'));
    struct stat st {};
    for (const std::string& candidate : {dir + "/" + name, dir + "/../share/qeltitle/" + name}) {
        const std::string probe = member.empty() ? candidate : candidate + "/" + member;
        if (stat(probe.c_str(), &st) == 0 && (!member.empty() || S_ISDIR(st.st_mode))) return candidate;
    }
    return {};
}

}  // namespace qeltitle
