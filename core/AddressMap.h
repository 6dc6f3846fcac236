// Routing of word addresses to regions, precomputed from the region list.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "MemoryRegion.h"

namespace tervik {

// One stretch of the address space served entirely by one region, or by none.
struct Segment {
  enum class Kind : uint8_t { Unmapped, ROM, RAM, DLL };

  uint32_t lo = 0;    // first address of the stretch
  uint32_t span = 0;  // last address minus lo, so lo..lo+span is covered
  Kind kind = Kind::Unmapped;
  uint32_t* words = nullptr;  // ROM and RAM: words[a - lo] is the word at address a
  uintptr_t written = 0;      // ROM and RAM: the region's WordStorage::WrittenBase
  uint32_t regionStart = 0;   // DLL: offsets are a - regionStart
  TervikReadMemFn read = nullptr;
  TervikWriteMemFn write = nullptr;
  TervikCPUWriteMemFn cpuWrite = nullptr;
  uint32_t module = 0;  // DLL: the region's place among the DLL regions (MemoryRegion::module)

  bool Contains(uint32_t a) const { return a - lo <= span; }
};

// The segment an access path last used, with the fields its fast path needs held apart, so a
// batch keeps them in machine registers.
struct SegmentCursor {
  const Segment* seg;
  uint32_t lo;
  uint32_t span;
  uint32_t* words;    // ROM and RAM segments, else null
  uint32_t* ram;      // RAM segments only, else null
  uintptr_t written;  // with ram: where a store marks its page (MarkWrittenAt)

  static SegmentCursor At(const Segment* s) {
    const bool ram = s->kind == Segment::Kind::RAM;
    return {s, s->lo, s->span, s->words, ram ? s->words : nullptr, ram ? s->written : 0};
  }
};

// Splits the whole 32-bit address space into segments, each routed to the first region in list
// order that covers it, exactly as a linear scan of the list would decide. Rebuilt whenever the
// region list changes; lookups are a binary search, and callers cache the last segment they hit.
// The segments never point into the region list itself, only at region storage, which does not
// move when the list grows.
class AddressMap {
 public:
  AddressMap();

  // Recomputes the routing for `regions`. Strong guarantee: on std::bad_alloc the map is as it
  // was.
  void Rebuild(std::span<const MemoryRegion> regions);
  // Routes the addresses of `region`, appended after every region already routed, that no
  // earlier region serves: only unmapped stretches change. Strong guarantee on std::bad_alloc.
  void Add(const MemoryRegion& region);
  // Routes every address to "unmapped". Never allocates.
  void Clear() noexcept;

  const Segment& Find(uint32_t a) const;
  const Segment* First() const { return segments_.data(); }
  std::span<const Segment> Segments() const { return segments_; }

 private:
  std::vector<Segment> segments_;  // sorted by lo, covering 0..0xFFFFFFFF without gaps
};

}  // namespace tervik
