// The POSIX library loader over dlopen and dlsym.
#include "DynamicLibrary.h"

#include <dlfcn.h>

#include <cstring>
#include <system_error>

namespace tervik::platform {

namespace {

// Owns a dlopen handle for lookups. The destructor deliberately does not call dlclose: modules
// are never unloaded, since function pointers into them outlive any one owner.
class PosixLibrary final : public DynamicLibrary {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  PosixLibrary(const PosixLibrary&) = delete;
  PosixLibrary& operator=(const PosixLibrary&) = delete;

  SymbolAddress Symbol(const char* name) override {
    void* address = dlsym(handle_, name);
    if (address == nullptr) return nullptr;
    // POSIX guarantees that a data pointer from dlsym can hold a function's address; copy the
    // bits rather than casting between object and function pointers.
    SymbolAddress function;
    static_assert(sizeof(function) == sizeof(address));
    std::memcpy(&function, &address, sizeof(function));
    return function;
  }

 private:
  void* handle_;
};

}  // namespace

DynamicLibraryLoader::Result PosixLibraryLoader::Load(const std::string& path) {
  Result result;
  dlerror();  // forget any earlier error
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    result.error = reason != nullptr ? reason : "unknown error";
    return result;
  }
  result.library = std::make_unique<PosixLibrary>(handle);
  return result;
}

std::filesystem::path LibraryFileOf(SymbolAddress function) {
  // The reverse of Symbol: the function's address as the data pointer dladdr takes.
  void* address = nullptr;
  static_assert(sizeof(function) == sizeof(address));
  std::memcpy(&address, &function, sizeof(address));
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

}  // namespace tervik::platform
