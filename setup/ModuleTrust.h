// Whether a memory map may load peripheral modules that do not come with Tervik. A module is
// a shared library: loading it runs its code with the user's rights. A map the user named (on
// a command line, in Load memory map) loads every module it names; a map that was found for
// the user (the default.map of a program's folder, of the working folder at start-up) loads
// modules from Tervik's own module folder freely, and any other module only once its folder is
// trusted. The window asks the user and remembers the answer; tests answer for themselves.
#pragma once

#include <filesystem>
#include <vector>

namespace tervik {

class ModuleTrust {
 public:
  // The map in `folder` would load `libraries` (absolute paths, none of them Tervik's own).
  // True: load them. Called once per map load, before any module of the map is loaded.
  virtual bool MayLoad(const std::filesystem::path& folder,
                       const std::vector<std::filesystem::path>& libraries) = 0;

 protected:
  ~ModuleTrust() = default;
};

}  // namespace tervik
