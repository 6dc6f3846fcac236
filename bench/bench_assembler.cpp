// A 100,000-line source: assembling it, its line table written and read back, and splitting
// every line into the editor's tokens (what colouring the whole source on opening costs).
#include <benchmark/benchmark.h>

#include <string>

#include "Assembler.h"
#include "LargeSource.h"
#include "LineTable.h"
#include "SourceTokens.h"

namespace {

constexpr unsigned kLines = tervik::bench::kLargeSourceLines;

void BM_Assemble100k(benchmark::State& state) {
  const std::string source = tervik::bench::MakeLargeSource();
  for (auto _ : state) {
    const tervik::assembler::Result result = tervik::assembler::Assemble(source, "large.asm");
    if (!result.errors.empty()) state.SkipWithError(result.errors.front().message.c_str());
    benchmark::DoNotOptimize(result.words.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_Assemble100k)->Unit(benchmark::kMillisecond);

void BM_LineTable100k(benchmark::State& state) {
  const tervik::assembler::Result result =
      tervik::assembler::Assemble(tervik::bench::MakeLargeSource(), "/tmp/large.asm");
  if (!result.errors.empty()) state.SkipWithError(result.errors.front().message.c_str());
  for (auto _ : state) {
    const std::string text =
        tervik::FormatLineTable(tervik::assembler::MakeLineTable(result), "/tmp");
    const tervik::LineTableResult back = tervik::ParseLineTable(text, "/tmp");
    benchmark::DoNotOptimize(back.table.Ranges().data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_LineTable100k)->Unit(benchmark::kMillisecond);

void BM_Tokenize100k(benchmark::State& state) {
  const std::string source = tervik::bench::MakeLargeSource();
  for (auto _ : state) {
    const tervik::assembler::AliasNames aliases = tervik::assembler::FindAliases(source);
    size_t tokens = 0;
    for (size_t start = 0; start < source.size();) {
      size_t end = source.find('\n', start);
      if (end == std::string::npos) end = source.size();
      tokens += tervik::assembler::TokenizeLine(std::string_view(source).substr(start, end - start),
                                                aliases)
                    .size();
      start = end + 1;
    }
    benchmark::DoNotOptimize(tokens);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kLines);
}
BENCHMARK(BM_Tokenize100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
