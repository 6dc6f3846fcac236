// Fuzzes the assembler, which reads untrusted source: any text assembles or fails with
// diagnostics that point into it, never both; a source that assembles gives a listing that the
// listing loader reads back into exactly its words, and symbols that survive the symbol file's
// round trip. The input is split at its NUL bytes into the source and the texts of the files it
// may include: a file is the text whose number is the last byte of its name modulo the number of
// texts (with 16 texts, "p" is the first, "a" the second, "b" the third...), so that included
// files may include one another, many times over or in a cycle.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Assembler.h"
#include "FuzzSupport.h"
#include "Listing.h"
#include "SymbolFile.h"

using namespace tervik;

namespace {

// Loads the listing with the listing loader into a RAM that holds every word's address, and
// compares memory with the words.
void CheckListingRoundTrip(const assembler::Result& result) {
  uint32_t highest = 0;
  for (const assembler::Word& w : result.words) {
    if (w.address > assembler::kMaxAddress) fuzz::Broken("word beyond the listing's addresses");
    highest = std::max(highest, w.address);
  }
  Processor cpu;
  cpu.AddRegion(0, highest + 1, RegionType::RAM);
  fuzz::InputFile file(reinterpret_cast<const uint8_t*>(result.listing.data()),
                       result.listing.size());
  fuzz::CheckingConsole console;
  ListingMap listing;
  ListingExtent extent;
  if (!LoadListing(file.path(), cpu, listing, console, &extent)) {
    fuzz::Broken("the listing could not be read");
  }
  if (extent.placed != result.words.size()) fuzz::Broken("the loader placed another word count");
  if (!result.words.empty() && console.lines != 0) fuzz::Broken("the loader complained");
  for (const assembler::Word& w : result.words) {
    if (cpu.ReadMem(w.address) != w.value) fuzz::Broken("the listing loads another word");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  const std::string_view source = input.substr(0, split);
  std::vector<std::string> texts;
  while (split != std::string_view::npos) {
    const size_t next = input.find('\0', split + 1);
    texts.emplace_back(input.substr(
        split + 1, next == std::string_view::npos ? std::string_view::npos : next - split - 1));
    split = next;
  }
  const assembler::IncludeReader read = [&](const std::string& path,
                                            std::string& error) -> std::optional<std::string> {
    if (texts.empty() || path.empty()) {
      error = "no such file";
      return std::nullopt;
    }
    return texts[static_cast<unsigned char>(path.back()) % texts.size()];
  };
  const assembler::Result result = assembler::Assemble(source, "fuzz.asm", read);
  if (!result.errors.empty()) {
    if (!result.words.empty() || !result.listing.empty() || !result.symbols.empty()) {
      fuzz::Broken("errors and output together");
    }
    for (const assembler::Diagnostic& d : result.errors) {
      if (d.line == 0 || d.column == 0 || d.message.empty()) fuzz::Broken("diagnostic nowhere");
      if (d.includedFrom.empty() != d.file.empty()) fuzz::Broken("include chain without a file");
      for (const assembler::SourcePlace& p : d.includedFrom) {
        if (p.line == 0 || p.column == 0) fuzz::Broken("include chain nowhere");
      }
    }
    return 0;
  }
  CheckListingRoundTrip(result);
  const SymbolFileResult symbols =
      ParseSymbolFile(FormatSymbolFile(result.symbols, std::nullopt, result.uses));
  if (!symbols.read || !symbols.errors.empty() || symbols.table.Entries() != result.symbols) {
    fuzz::Broken("symbols do not survive their file");
  }
  return 0;
}
