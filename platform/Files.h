// Whole-file reads and writes for the tools and the window: a read that takes only regular files
// (a folder, a device or a FIFO would never end or would block), and a write that leaves either
// the whole new text or the old file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tervik::platform {

// Reads the whole regular file at `path` into `text`; at most `maxBytes` (a larger file is
// refused). False with `error` saying why.
bool ReadRegularFile(const std::string& path, std::string& text, std::string& error,
                     size_t maxBytes = SIZE_MAX);

// Writes `text` into a new file of a unique name beside `output`, then renames it over `output`:
// the file is written whole or not at all, and two writers of the same output never share a
// temporary file. It gets the permissions any newly created file would. False with errno set.
bool WriteWhole(const std::string& output, const std::string& text);

}  // namespace tervik::platform
