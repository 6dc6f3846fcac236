// Fuzzes the symbol file reader: any text is read or refused without harm; what it reads is
// kept only as the format allows (names and values), survives being written and read again,
// and every lookup answers consistently with the entries.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "SymbolFile.h"

using namespace tervik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const SymbolFileResult result = ParseSymbolFile(text);
  if (!result.read) return 0;
  if (result.errors.size() > SymbolFileResult::kMaxErrors) fuzz::Broken("too many errors kept");
  const SymbolFileResult again = ParseSymbolFile(
      FormatSymbolFile(result.table.Entries(), result.listing, result.table.Uses()));
  if (!again.errors.empty() || again.table.Entries() != result.table.Entries() ||
      again.table.Uses() != result.table.Uses() || again.listing != result.listing) {
    fuzz::Broken("symbols do not survive their file");
  }
  for (const SymbolUse& u : result.table.Uses()) {
    if (!result.table.WrittenWithSymbol(u.address)) fuzz::Broken("use not found");
  }
  for (const SymbolEntry& e : result.table.Entries()) {
    if (e.name.empty()) fuzz::Broken("empty name kept");
    if (result.table.Value(e.name) != e.value) fuzz::Broken("name lookup disagrees");
    if (e.label && result.table.LabelAt(e.value) == nullptr) fuzz::Broken("label not found");
    if (e.label && result.table.Locate(e.value).empty()) fuzz::Broken("label not located");
  }
  return 0;
}
