// The module loader: search rules, the seven lookups in a fixed order (and the optional
// ClockSteps), and Initialize.
#include "PeripheralModule.h"

#include <algorithm>
#include <system_error>

namespace tervik {

namespace {

// Converts a looked-up address to the entry point type it is exported as.
template <typename Fn>
Fn As(platform::SymbolAddress address) {
  return reinterpret_cast<Fn>(address);
}

bool IsFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

PeripheralModuleLoader::PeripheralModuleLoader(platform::DynamicLibraryLoader& libraries,
                                               std::filesystem::path bundledFolder)
    : libraries_(libraries), bundledFolder_(std::move(bundledFolder)) {}

std::vector<std::filesystem::path> PeripheralModuleLoader::Candidates(
    std::string_view name, const std::filesystem::path& mapFolder) const {
  const std::filesystem::path file(name);
  std::vector<std::filesystem::path> candidates;
  auto add = [&](const std::filesystem::path& folder) {
    // An absolute name stays what it is: folder / "/abs" gives "/abs".
    std::filesystem::path candidate = (folder / file).lexically_normal();
    if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end()) {
      candidates.push_back(std::move(candidate));
    }
  };
  if (!mapFolder.empty()) add(mapFolder);
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (!ec) add(cwd);
  if (!bundledFolder_.empty()) add(bundledFolder_);
  return candidates;
}

std::filesystem::path PeripheralModuleLoader::Locate(std::string_view name,
                                                     const std::filesystem::path& mapFolder) const {
  for (const std::filesystem::path& candidate : Candidates(name, mapFolder)) {
    if (IsFile(candidate)) {
      std::error_code ec;
      const std::filesystem::path absolute = std::filesystem::absolute(candidate, ec);
      return ec ? candidate : absolute.lexically_normal();
    }
  }
  return {};
}

bool PeripheralModuleLoader::IsOwnModule(const std::filesystem::path& file) const {
  if (file.empty()) return true;
  if (bundledFolder_.empty()) return false;
  // Compared by identity, so that a link to the bundled folder, or a path into it through a
  // link, is still the bundled folder, and a look-alike name elsewhere is not.
  std::error_code ec;
  return std::filesystem::equivalent(file.parent_path(), bundledFolder_, ec) && !ec;
}

std::optional<PluginEntryPoints> PeripheralModuleLoader::LoadPeripheralModule(
    std::string_view name, std::string_view param, const std::filesystem::path& mapFolder,
    ConsoleSink& console) {
  const std::string nameText(name);
  const std::string paramText(param);
  // Modules are promised names and parameter texts of at most 255 characters.
  if (name.size() > TERVIK_PLUGIN_NAME_MAX) {
    ConsoleWrite(console, "DLL name longer than %d characters: '%s'", TERVIK_PLUGIN_NAME_MAX,
                 nameText.c_str());
    return std::nullopt;
  }
  if (param.size() > TERVIK_PLUGIN_PARAM_MAX) {
    ConsoleWrite(console, "DLL parameter text longer than %d characters: '%s'",
                 TERVIK_PLUGIN_PARAM_MAX, paramText.c_str());
    return std::nullopt;
  }

  std::string target = nameText;
  for (const std::filesystem::path& candidate : Candidates(name, mapFolder)) {
    if (IsFile(candidate)) {
      target = candidate.string();
      break;
    }
  }
  platform::DynamicLibraryLoader::Result loaded;
  if (name.find('\0') != std::string_view::npos) {
    loaded.error = "the module name contains a NUL character";
  } else {
    loaded = libraries_.Load(target);
  }
  if (!loaded.library) {
    ConsoleWrite(console, "Failed to load DLL %s", nameText.c_str());
    ConsoleWrite(console, "%s", loaded.error.c_str());
    return std::nullopt;
  }

  platform::DynamicLibrary& library = *loaded.library;
  PluginEntryPoints entry;
  entry.Initialize = As<TervikInitializeFn>(library.Symbol("Initialize"));
  entry.About = As<TervikAboutFn>(library.Symbol("About"));
  entry.CPUWriteMem = As<TervikCPUWriteMemFn>(library.Symbol("CPUWriteMem"));
  entry.WriteMem = As<TervikWriteMemFn>(library.Symbol("WriteMem"));
  entry.ReadMem = As<TervikReadMemFn>(library.Symbol("ReadMem"));
  entry.Reset = As<TervikResetFn>(library.Symbol("Reset"));
  entry.Clock = As<TervikClockFn>(library.Symbol("Clock"));
  if (!entry.Complete()) {
    ConsoleWrite(console, "Failed to locate the function");
    return std::nullopt;
  }
  // Optional: without it the module is clocked every step.
  entry.ClockSteps = As<TervikClockStepsFn>(library.Symbol("ClockSteps"));
  // Optional: the panel in the Board window; the map loader checks the description.
  entry.PanelDescribe = As<TervikPanelDescribeFn>(library.Symbol("PanelDescribe"));
  entry.PanelInput = As<TervikPanelInputFn>(library.Symbol("PanelInput"));
  entry.PanelPeek = As<TervikPanelPeekFn>(library.Symbol("PanelPeek"));

  entry.Initialize(&ConsolePuts, paramText.c_str());
  return entry;
}

}  // namespace tervik
