// Small helpers the benchmark programs share.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <fstream>

namespace tervik::bench {

// The resident memory of this process in bytes.
inline size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
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
