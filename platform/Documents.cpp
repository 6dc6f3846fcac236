// The lookup of the program's documents.
#include "Documents.h"

#include <system_error>

#include "DynamicLibrary.h"

// The installation rules define where the documentation goes, relative to the program's folder,
// so that lookup and installation cannot disagree.
#ifndef TERVIK_DOC_FROM_BIN
#error "TERVIK_DOC_FROM_BIN must give the documentation folder relative to the program's folder"
#endif

namespace tervik::platform {

std::vector<std::filesystem::path> ManualCandidates(const std::filesystem::path& executableFolder) {
  if (executableFolder.empty()) return {};
  return {executableFolder / kManualFileName,
          (executableFolder / TERVIK_DOC_FROM_BIN / kManualFileName).lexically_normal()};
}

std::filesystem::path ManualPath() {
  const std::vector<std::filesystem::path> candidates = ManualCandidates(ExecutableFolder());
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return candidates.empty() ? std::filesystem::path() : candidates.front();
}

}  // namespace tervik::platform
