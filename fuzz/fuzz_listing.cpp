// Fuzzes the listing loader: any bytes as a listing file.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "Listing.h"

using namespace tervik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Processor* processor = [] {
    auto* p = new Processor;
    p->AddRegion(0, 0x400, RegionType::ROM);
    p->AddRegion(0x200, 0x1000, RegionType::RAM);   // overlaps the ROM
    p->AddRegion(0xFFF00, 0x200, RegionType::RAM);  // reaches past the listing's address range
    return p;
  }();
  fuzz::InputFile file(data, size);
  fuzz::CheckingConsole console;
  ListingMap listing;
  LoadListing(file.path(), *processor, listing, console);
  // A readable listing says at most that it loaded no word (none found, or none in a region).
  if (console.lines > 1 || (console.lines == 1 && console.last.rfind("No word loaded: ", 0) != 0))
    fuzz::Broken("a readable listing wrote to the console");
  for (const auto& [address, comment] : listing.entries()) {
    if (address > 0xFFFFF) fuzz::Broken("listing address beyond five hex digits");
    if (comment.size() < 2 || comment[0] != ';') fuzz::Broken("comment without ';' and text");
  }
  return 0;
}
