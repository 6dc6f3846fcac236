// Small helpers the benchmark programs share.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "MemoryRegion.h"

namespace tervik::bench {

// The resident memory of this process in bytes.
inline size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// A module from `folder`, loaded as the map loader loads it (with the optional ClockSteps) and
// initialised with `param`; its messages are dropped. It stays loaded for the whole program.
inline PluginEntryPoints LoadModule(const std::string& folder, const char* name,
                                    const char* param) {
  const std::string path = folder + "/" + name;
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
    std::abort();
  }
  auto sym = [h](const char* n) { return dlsym(h, n); };
  PluginEntryPoints e;
  e.About = reinterpret_cast<TervikAboutFn>(sym("About"));
  e.WriteMem = reinterpret_cast<TervikWriteMemFn>(sym("WriteMem"));
  e.CPUWriteMem = reinterpret_cast<TervikCPUWriteMemFn>(sym("CPUWriteMem"));
  e.ReadMem = reinterpret_cast<TervikReadMemFn>(sym("ReadMem"));
  e.Initialize = reinterpret_cast<TervikInitializeFn>(sym("Initialize"));
  e.Reset = reinterpret_cast<TervikResetFn>(sym("Reset"));
  e.Clock = reinterpret_cast<TervikClockFn>(sym("Clock"));
  e.ClockSteps = reinterpret_cast<TervikClockStepsFn>(sym("ClockSteps"));
  e.Initialize([](const char*) -> int32_t { return 0; }, param);
  return e;
}

}  // namespace tervik::bench

// The main of a benchmark program that needs a QApplication: offscreen, so it runs anywhere.
#define TERVIK_QT_BENCHMARK_MAIN()           \
  int main(int argc, char** argv) {          \
    qputenv("QT_QPA_PLATFORM", "offscreen"); \
    QApplication app(argc, argv);            \
    benchmark::Initialize(&argc, argv);      \
    benchmark::RunSpecifiedBenchmarks();     \
    benchmark::Shutdown();                   \
    return 0;                                \
  }
