// Listing lines: a word as FindListingWord finds it (ListingWord.h); the comment runs from the
// first ";" to the last character that is not white space. White space is space, tab, CR, LF and
// FF only: the pattern spells it out as a class, because PCRE2's \s also takes vertical tab.
#include "Listing.h"

#include <algorithm>
#include <cstdint>

#include "Inspection.h"
#include "LineReader.h"
#include "ListingWord.h"
#include "Regex.h"

namespace tervik {

namespace {

constexpr std::string_view kCommentPattern = R"((;.{1,}?)[\x20\t\r\n\f]{0,}$)";

// 64-bit FNV-1a over the address and word of each line that carries one.
class Fingerprint {
 public:
  void Add(uint32_t address, uint32_t word) {
    for (const uint32_t value : {address, word}) {
      for (int shift = 0; shift < 32; shift += 8) {
        hash_ = (hash_ ^ ((value >> shift) & 0xFFu)) * 0x100000001B3u;
      }
    }
  }
  uint64_t Value() const { return hash_; }

 private:
  uint64_t hash_ = 0xCBF29CE484222325u;
};

// Hands each word line of `reader` to `take(line, address, word)`: the one reading of listing
// lines, for the loader and the fingerprint alike.
template <typename Take>
void ForEachWord(LineReader& reader, Take take) {
  std::string_view line;
  while (reader.Next(line)) {
    if (const std::optional<ListingWord> word = FindListingWord(line)) {
      take(line, word->address, word->value);
    }
  }
}

}  // namespace

void ClearMemory(Processor& processor) {
  // As if every word were written with 0 through the bus, so that an earlier region overlapping
  // this one (a module's WriteMem included) receives the zeros exactly as a loader write would
  // deliver them, but without touching pages that were never written.
  processor.ZeroMemory();
}

bool LoadListing(const std::string& path, Processor& processor, ListingMap& listing,
                 ConsoleSink& console, ListingExtent* extent) {
  listing.Clear();
  ClearMemory(processor);

  std::optional<Regex> comment = Regex::Compile(kCommentPattern);
  if (!comment) {
    ConsoleWrite(console, "Invalid regexp");
    return false;
  }

  std::optional<LineReader> reader = LineReader::Open(path);
  if (!reader) {
    ConsoleWrite(console, "Error opening file '%s'", path.c_str());
    return false;
  }

  // Words the listing carries, and those of them that a region took.
  uint64_t carried = 0;
  ListingExtent placed;
  Fingerprint fingerprint;
  ForEachWord(*reader, [&](std::string_view line, uint32_t address, uint32_t value) {
    if (comment->Match(line)) listing.Set(address, comment->Group(1));
    processor.WriteMem(address, value);
    ++carried;
    fingerprint.Add(address, value);
    if (IsMapped(processor, address)) {
      placed.lowest = placed.placed == 0 ? address : std::min(placed.lowest, address);
      placed.highest = placed.placed == 0 ? address : std::max(placed.highest, address);
      ++placed.placed;
    }
  });
  placed.fingerprint = fingerprint.Value();
  // A load that leaves memory as it was says so: without this line a listing loaded before any
  // map (or one of the wrong file) would look as if it had done something.
  if (carried == 0) {
    ConsoleWrite(console, "No word loaded: '%s' has no line with an address and a word",
                 path.c_str());
  } else if (placed.placed == 0) {
    ConsoleWrite(console,
                 "No word loaded: none of the %llu words of '%s' lies in a region of the memory "
                 "map; load a memory map first",
                 static_cast<unsigned long long>(carried), path.c_str());
  }
  if (extent != nullptr) *extent = placed;
  return true;
}

uint64_t ListingFingerprint(std::string_view listingText) {
  Fingerprint fingerprint;
  std::optional<LineReader> reader = LineReader::FromText(listingText);
  if (reader) {
    ForEachWord(*reader, [&](std::string_view, uint32_t address, uint32_t word) {
      fingerprint.Add(address, word);
    });
  }
  return fingerprint.Value();
}

}  // namespace tervik
