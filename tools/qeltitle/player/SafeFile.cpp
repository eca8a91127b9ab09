#include "player/SafeFile.h"

#include <filesystem>

namespace qeltitle {

namespace fs = std::filesystem;

Status CreateParentFolders(const std::string& path) {
    const fs::path dir = fs::path(path).parent_path();
    std::error_code ec;
    if (dir.empty() || fs::is_directory(dir, ec)) return {};
    if (fs::exists(dir, ec)) return Failure("cannot create folder " + dir.string() + ": a file has that name");
    fs::create_directories(dir, ec);
    if (ec) return Failure("cannot create folder " + dir.string() + ": " + ec.message());
    return {};
}

}  // namespace qeltitle
