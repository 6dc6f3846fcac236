// Fuzzes the assembler, which reads untrusted source: any text assembles or fails with
// diagnostics that point into it, never both; a source that assembles gives a listing the
// listing loader reads back into exactly its words, and symbols that survive the symbol file's
// round trip. The input is split at the first NUL into the source and the text of every file
// it includes, so that INCLUDE is fuzzed too.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Assembler.h"
#include "FuzzSupport.h"
#include "SymbolFile.h"

using namespace tervik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view source = input.substr(0, split);
  const std::string included =
      split == std::string_view::npos ? std::string() : std::string(input.substr(split + 1));
  const assembler::IncludeReader read =
      [&](const std::string&, std::string&) -> std::optional<std::string> { return included; };
  const assembler::Result result = assembler::Assemble(source, "fuzz.asm", read);
  if (!result.errors.empty()) {
    if (!result.words.empty() || !result.listing.empty() || !result.symbols.empty()) {
      fuzz::Broken("errors and output together");
    }
    for (const assembler::Diagnostic& d : result.errors) {
      if (d.line == 0 || d.column == 0 || d.message.empty()) fuzz::Broken("diagnostic nowhere");
    }
    return 0;
  }
  for (const assembler::Word& w : result.words) {
    if (w.address > assembler::kMaxAddress) fuzz::Broken("word beyond the listing's addresses");
  }
  const SymbolFileResult symbols = ParseSymbolFile(FormatSymbolFile(result.symbols, result.uses));
  if (!symbols.read || !symbols.errors.empty() || symbols.table.Entries() != result.symbols) {
    fuzz::Broken("symbols do not survive their file");
  }
  return 0;
}
