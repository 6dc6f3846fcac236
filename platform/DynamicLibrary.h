// Loading shared libraries (peripheral modules) and looking up their exports, behind a small
// interface so that the module loader can be driven by a fake in tests and fuzzers.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace tervik::platform {

// An address returned by a symbol lookup. Callers convert it to the function type they expect.
using SymbolAddress = void (*)();

// One loaded library. Destroying the object does NOT unload the library: peripheral modules
// stay loaded for the life of the process, because the processor keeps their entry points and
// the modules keep the callbacks they were given.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // The exported function of that name, or nullptr when the library does not export it.
  virtual SymbolAddress Symbol(const char* name) = 0;
};

// Opens libraries by file name or path.
class DynamicLibraryLoader {
 public:
  struct Result {
    std::unique_ptr<DynamicLibrary> library;  // null on failure
    std::string error;                        // the system loader's reason on failure
  };

  virtual ~DynamicLibraryLoader() = default;
  // Loads `path` with the loader's own rules (a name without '/' is searched for by the system
  // loader, anything else is taken as a path). Loading the same file twice yields the same
  // instance of the library.
  virtual Result Load(const std::string& path) = 0;
};

// The POSIX loader: dlopen(RTLD_NOW | RTLD_LOCAL) and dlsym. Handles are never passed to
// dlclose (see DynamicLibrary).
class PosixLibraryLoader final : public DynamicLibraryLoader {
 public:
  Result Load(const std::string& path) override;
};

// The file of the loaded library (or the executable) that holds `function`; empty when the
// system cannot tell.
std::filesystem::path LibraryFileOf(SymbolAddress function);

// The folder of the running executable (from /proc/self/exe), where the program's bundled
// modules are built; empty if it cannot be determined.
std::filesystem::path ExecutableFolder();

}  // namespace tervik::platform
