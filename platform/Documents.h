// Where the program's own documents (the processor manual) are found: next to the executable in
// the build tree, or in the installed documentation folder.
#pragma once

#include <filesystem>
#include <vector>

namespace tervik::platform {

// The file name of the processor manual.
inline constexpr const char* kManualFileName = "Manual.pdf";

// The places the manual is looked for, best first, for a program whose executable lies in
// `executableFolder`: that folder itself, then the documentation folder of an installation
// (share/doc/tervik beside the bin folder). Empty when `executableFolder` is empty.
std::vector<std::filesystem::path> ManualCandidates(const std::filesystem::path& executableFolder);

// The first candidate for the running program that names an existing file; when none exists,
// the first candidate (the path to report as missing), or an empty path when the executable's
// folder is unknown.
std::filesystem::path ManualPath();

}  // namespace tervik::platform
