// Replacing a file without ever leaving a broken one.
//
// The bytes go to a temporary file in the target's directory, are synced to the disk, and the
// temporary is renamed over the target only then: after a full disk, a size limit or a crash the
// target holds either its old content or the whole new one. An existing file's permissions are
// kept. A symbolic link is followed and its target replaced, so the link stays a link; a device or
// FIFO is written into directly; a directory or anything else that is not a regular file is never
// replaced. The host's file is the only thing touched: nothing is left behind on failure.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qel {

// False with the reason (the system's error text, or what the path is) when the file could not
// be written; the target is then as it was.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                                       std::string& reason);

}  // namespace qel
