// Loading a peripheral module: finding its file, resolving the seven entry points and calling
// its Initialize.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"
#include "DynamicLibrary.h"
#include "MemoryRegion.h"

namespace tervik {

class PeripheralModuleLoader {
 public:
  // `libraries` opens the files and must outlive the loader; `bundledFolder` is where the
  // program's own modules live (the executable's folder unless a test chooses another).
  explicit PeripheralModuleLoader(
      platform::DynamicLibraryLoader& libraries,
      std::filesystem::path bundledFolder = platform::ExecutableFolder());

  // Where a module name is looked for, in this order: relative to `mapFolder` (the folder of the
  // map file that names it; skipped when empty), to the working directory, to the bundled
  // folder. The first existing file is loaded; when none exists the name goes to the system
  // loader as it is. Duplicates are dropped.
  std::vector<std::filesystem::path> Candidates(std::string_view name,
                                                const std::filesystem::path& mapFolder) const;

  // The file the module `name` would be loaded from: the first candidate that exists, made
  // absolute; empty when none exists and the name goes to the system loader (which searches the
  // system's library folders and the program's own module folder).
  std::filesystem::path Locate(std::string_view name, const std::filesystem::path& mapFolder) const;

  // Whether `file` (as Locate gives it) is one of Tervik's own modules: empty (the system loader
  // finds it) or a file in the bundled folder.
  bool IsOwnModule(const std::filesystem::path& file) const;

  // Loads module `name`, looks up its seven exports (and the optional ClockSteps, which may be
  // missing) and calls its Initialize with ConsolePuts and `param`. Returns the entry points, or
  // nullopt after writing the reason to `console`. The module stays loaded in either case once it
  // was opened.
  std::optional<PluginEntryPoints> LoadPeripheralModule(std::string_view name,
                                                        std::string_view param,
                                                        const std::filesystem::path& mapFolder,
                                                        ConsoleSink& console);

 private:
  platform::DynamicLibraryLoader& libraries_;
  std::filesystem::path bundledFolder_;
};

}  // namespace tervik
