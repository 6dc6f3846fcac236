// In-memory peripheral modules for the map fuzz target.
#include "FuzzSupport.h"

#include <cstring>
#include <filesystem>

#define TERVIK_PLUGIN_HOST
#include "tervik_plugin.h"

namespace tervik::fuzz {

namespace {

int32_t Initialize(TervikMessageCallback message, const char* param) {
  if (std::strlen(param) > TERVIK_PLUGIN_PARAM_MAX) Broken("parameter text longer than 255");
  message(param);  // a module may talk from Initialize
  return 0;
}
void About(char* text) {
  // Writes the most a module may write, and more than is shown.
  std::memset(text, 'A', TERVIK_PLUGIN_ABOUT_BUFFER - 1);
  text[TERVIK_PLUGIN_ABOUT_BUFFER - 1] = '\0';
}
uint32_t ReadMem(uint32_t offset) {
  return offset * 2654435761u;
}
void WriteMem(uint32_t, uint32_t) {}
void CPUWriteMem(uint32_t, uint32_t) {}
void Reset() {}
void Clock() {}

class FakeLibrary final : public platform::DynamicLibrary {
 public:
  explicit FakeLibrary(bool withClock) : withClock_(withClock) {}
  platform::SymbolAddress Symbol(const char* name) override {
    const std::string_view n(name);
    if (n == "Initialize") return reinterpret_cast<platform::SymbolAddress>(&Initialize);
    if (n == "About") return reinterpret_cast<platform::SymbolAddress>(&About);
    if (n == "ReadMem") return reinterpret_cast<platform::SymbolAddress>(&ReadMem);
    if (n == "WriteMem") return reinterpret_cast<platform::SymbolAddress>(&WriteMem);
    if (n == "CPUWriteMem") return reinterpret_cast<platform::SymbolAddress>(&CPUWriteMem);
    if (n == "Reset") return reinterpret_cast<platform::SymbolAddress>(&Reset);
    if (n == "Clock" && withClock_) return reinterpret_cast<platform::SymbolAddress>(&Clock);
    return nullptr;
  }

 private:
  bool withClock_;
};

}  // namespace

platform::DynamicLibraryLoader::Result FakeLibraryLoader::Load(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  if (name.rfind("absent", 0) == 0) return {nullptr, "no such module"};
  return {std::make_unique<FakeLibrary>(name.rfind("missing", 0) != 0), {}};
}

}  // namespace tervik::fuzz
