// The listing loader: fills memory from an assembler listing and keeps its comments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Console.h"
#include "ListingMap.h"
#include "Processor.h"

namespace tervik {

// Writes 0 into every word of every ROM and RAM region, as Processor::WriteMem would word by
// word; DLL regions are skipped. Leaves the registers and the listing comments alone.
void ClearMemory(Processor& processor);

// The words a listing load placed in a region of the map: how many lines did, and the lowest and
// highest of their addresses (both 0 when none did).
struct ListingExtent {
  uint64_t placed = 0;
  uint32_t lowest = 0;
  uint32_t highest = 0;
  uint64_t fingerprint = 0;  // ListingFingerprint of the file's text
};

// What identifies the words of a listing, whatever its comments say: the 64-bit FNV-1a hash of
// the words its lines carry, in file order, each its address then its word as four bytes least
// significant first (every line the loader would load, in a region or not). The assembler
// writes it into the symbol file, so that symbols of another listing are not taken for this
// one's (SymbolFile.h).
uint64_t ListingFingerprint(std::string_view listingText);

// Empties `listing`, clears memory, then reads the listing file at `path`: each line that
// carries a word writes it to memory and stores the line's comment. Writes to `console` only
// when something fails, and one line when no word landed in a region (the listing carries no
// word, or none of its words lies in a region of the map). The caller refreshes the views
// afterwards. Returns whether the file was read (false when it could not be opened or is not a
// regular file; memory is cleared either way). `extent`, when given, receives the placed words'
// addresses.
bool LoadListing(const std::string& path, Processor& processor, ListingMap& listing,
                 ConsoleSink& console, ListingExtent* extent = nullptr);

}  // namespace tervik
