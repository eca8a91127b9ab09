#include "designer/WorkFolder.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace qeltitle {

Expected<WorkFolder> WorkFolder::Open(const std::string& folder) {
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) return Failure("cannot open folder " + folder + ": " + ec.message());
    if (!fs::is_directory(root, ec)) return Failure(folder + " is not a folder");
    return WorkFolder(root.string());
}

Status WorkFolder::CheckName(const std::string& name) const {
    if (name.empty()) return Failure("no file named");
    if (name.size() > 1024 || name.find('\0') != std::string::npos) return Failure("not a file name");
    const fs::path path(name);
    if (path.is_absolute()) return Failure(name + ": only names inside the folder are allowed");
    for (const fs::path& part : path)
        if (part == "..") return Failure(name + ": names may not climb out of the folder");
    return {};
}

bool WorkFolder::Inside(const std::string& canonical) const {
    return canonical == root_ || (canonical.size() > root_.size() && canonical.compare(0, root_.size(), root_) == 0 &&
                                  (root_ == "/" || canonical[root_.size()] == '/'));
}

Expected<std::string> WorkFolder::ForReading(const std::string& name) const {
    if (Status named = CheckName(name); !named) return Failure(named.Message());
    std::error_code ec;
    const fs::path real = fs::canonical(fs::path(root_) / name, ec);
    if (ec) return Failure("cannot read " + name + ": " + ec.message());
    if (!Inside(real.string())) return Failure(name + " leads out of the folder");
    if (!fs::is_regular_file(real, ec)) return Failure(name + " is not a file");
    return real.string();
}

Expected<std::string> WorkFolder::ForWriting(const std::string& name) const {
    if (Status named = CheckName(name); !named) return Failure(named.Message());
    const fs::path path = fs::path(root_) / name;
    if (!path.has_filename()) return Failure(name + " is not a file name");
    std::error_code ec;
    const fs::path parent = fs::canonical(path.parent_path(), ec);
    if (ec) return Failure("cannot write " + name + ": its folder does not exist");
    if (!Inside(parent.string())) return Failure(name + " leads out of the folder");
    const fs::path target = parent / path.filename();
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path real = fs::canonical(target, ec);
        if (ec || !Inside(real.string())) return Failure(name + " leads out of the folder");
    }
    if (fs::exists(target, ec) && !fs::is_regular_file(target, ec)) return Failure(name + " is not a file");
    return target.string();
}

std::string WorkFolder::NameOf(const std::string& path) const {
    return path.size() > root_.size() + 1 && Inside(path) ? path.substr(root_ == "/" ? 1 : root_.size() + 1) : path;
}

std::vector<std::string> WorkFolder::Files(size_t limit, int depth) const {
    std::vector<std::string> names;
    std::error_code ec;
    fs::recursive_directory_iterator it(root_, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end && names.size() < limit; it.increment(ec)) {
        const std::string leaf = it->path().filename().string();
        if (leaf.starts_with(".") || it.depth() >= depth) {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            if (leaf.starts_with(".")) continue;
        }
        if (it->is_symlink(ec)) {
            // A link is listed (and followed) only when it stays inside.
            const fs::path real = fs::canonical(it->path(), ec);
            if (ec || !Inside(real.string())) {
                ec.clear();
                it.disable_recursion_pending();
                continue;
            }
        }
        if (it->is_regular_file(ec)) names.push_back(NameOf(it->path().string()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qeltitle
