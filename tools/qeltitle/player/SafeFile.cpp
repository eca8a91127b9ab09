#include "player/SafeFile.h"

#include <filesystem>

namespace qeltitle {

namespace fs = std::filesystem;

bool CreateParentFolders(const std::string& path, std::string& error) {
    const fs::path dir = fs::path(path).parent_path();
    std::error_code ec;
    if (dir.empty() || fs::is_directory(dir, ec)) return true;
    if (fs::exists(dir, ec)) {
        error = "cannot create folder " + dir.string() + ": a file has that name";
        return false;
    }
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create folder " + dir.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace qeltitle
