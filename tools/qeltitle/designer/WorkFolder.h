// The folder the designer was started in: the only place its page may read or write files.
// Names come from the page as paths relative to the folder; a name is refused when it is
// absolute, climbs out with "..", or leads (through a symbolic link anywhere on its way) to a
// file or folder outside.
#pragma once

#include <string>
#include <vector>

#include "player/Result.h"

namespace qeltitle {

class WorkFolder {
public:
    // The folder (made canonical); fails when it is not a folder.
    static Expected<WorkFolder> Open(const std::string& folder);

    const std::string& Root() const { return root_; }
    // The full path of an existing file under the folder.
    Expected<std::string> ForReading(const std::string& name) const;
    // The full path of a file to write under the folder: its own folder must exist inside it, and
    // when the file exists it must be a file inside the folder too.
    Expected<std::string> ForWriting(const std::string& name) const;
    // The name of `path` (a path under the folder) relative to it.
    std::string NameOf(const std::string& path) const;

    // Regular files under the folder, by relative name, sorted; symbolic links that lead out of
    // it and hidden entries are left out. At most `limit` files and `depth` folders down.
    std::vector<std::string> Files(size_t limit = 2000, int depth = 4) const;

private:
    explicit WorkFolder(std::string root) : root_(std::move(root)) {}
    // The refusal of names that are not plain relative paths.
    Status CheckName(const std::string& name) const;
    bool Inside(const std::string& canonical) const;

    std::string root_;
};

}  // namespace qeltitle
