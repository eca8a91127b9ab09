// Output files that replace what was there only once complete: the library's own safe writing
// (base/SafeFile), compiled into the tool.
#pragma once

#include "base/SafeFile.h"

namespace qeltitle {

using qel::OutputTarget;
using qel::ResolveOutput;
using qel::SafeFile;
using qel::SyncFileSystem;
using qel::WriteWholeFile;

}  // namespace qeltitle
