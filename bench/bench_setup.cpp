// How long the listing loader takes for a large listing: 100,000 lines, each with a word and a
// comment, into a ROM that covers them all (memory is cleared on every load, as in the program).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <bitset>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Listing.h"

namespace {

constexpr uint32_t kLines = 100000;

class NullConsole : public tervik::ConsoleSink {
 public:
  void AppendLine(std::string_view) override {}
};

// Writes a listing shaped like the assembler's output into a fresh temporary file.
std::string WriteListing(const std::filesystem::path& folder) {
  const std::filesystem::path path = folder / "large.lst";
  std::ofstream out(path, std::ios::binary);
  out << "Tervik assembler listing\n\n";
  char address[8];
  for (uint32_t i = 0; i < kLines; ++i) {
    std::snprintf(address, sizeof address, "%05X", i);
    const uint32_t word = i * 2654435761u;
    out << address << ' ' << std::bitset<32>(word) << "   loop" << i % 97
        << ":  ADD R1,R2,R3      ; step " << i << " of the main loop  \r\n";
  }
  return path.string();
}

void BM_LoadListing100k(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "tervik-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string path = WriteListing(folder);
  tervik::Processor processor;
  processor.AddRegion(0, 0x20000, tervik::RegionType::ROM);
  tervik::ListingMap listing;
  NullConsole console;
  for (auto _ : state) {
    tervik::LoadListing(path, processor, listing, console);
    benchmark::DoNotOptimize(listing.size());
  }
  if (listing.size() != kLines) state.SkipWithError("the listing did not load completely");
  state.SetItemsProcessed(state.iterations() * kLines);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadListing100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
