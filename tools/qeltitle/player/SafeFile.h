// Output files that replace what was there only once complete: the library's own safe writing
// (base/SafeFile), compiled into the tool, and the folders they go in.
#pragma once

#include <string>

#include "base/SafeFile.h"
#include "player/Result.h"

namespace qeltitle {

using qel::OutputTarget;
using qel::ResolveOutput;
using qel::SafeFile;
using qel::SyncFileSystem;
using qel::WriteWholeFile;

// Creates the folders that `path` is to be written in, when they are missing, as every command
// does for the files it writes; a failure names the folder and the reason.
Status CreateParentFolders(const std::string& path);

}  // namespace qeltitle
