// Files installed with the tool (caption presets, the designer's page): beside the executable in
// the build tree, under share/qeltitle once installed.
#pragma once

#include <string>

namespace qeltitle {

// The folder `name` of the tool's data that holds `member` (a file or folder; empty: the folder
// itself), or empty when neither place has it.
std::string DataDirectory(const std::string& name, const std::string& member = {});

}  // namespace qeltitle
