// Routing table of the address space: a sweep over region boundaries picks, for each stretch,
// the first region in list order that covers it.
#include "AddressMap.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

namespace tervik {

namespace {

Segment MakeSegment(uint64_t lo, uint64_t end, const MemoryRegion* r) {
  Segment s;
  s.lo = static_cast<uint32_t>(lo);
  s.span = static_cast<uint32_t>(end - 1 - lo);
  if (r == nullptr) return s;
  switch (r->type) {
    case RegionType::ROM:
    case RegionType::RAM:
      s.kind = r->type == RegionType::ROM ? Segment::Kind::ROM : Segment::Kind::RAM;
      s.words = r->storage.data() + (s.lo - r->start);
      s.written = r->storage.WrittenBase();
      break;
    case RegionType::DLL:
      s.kind = Segment::Kind::DLL;
      s.read = r->entry.ReadMem;
      s.write = r->entry.WriteMem;
      s.cpuWrite = r->entry.CPUWriteMem;
      s.module = r->module;
      break;
  }
  s.regionStart = r->start;
  return s;
}

}  // namespace

AddressMap::AddressMap() : segments_(1, Segment{.lo = 0, .span = 0xFFFFFFFFu}) {}

void AddressMap::Clear() noexcept {
  segments_.resize(1);  // never grows, so never allocates
  segments_[0] = Segment{.lo = 0, .span = 0xFFFFFFFFu};
}

void AddressMap::Rebuild(std::span<const MemoryRegion> regions) {
  constexpr uint64_t kEnd = uint64_t{1} << 32;

  // Boundary events: a region becomes active at its start and inactive after its last word.
  struct Event {
    uint64_t pos;
    size_t index;
    bool opens;
  };
  std::vector<Event> events;
  events.reserve(regions.size() * 2);
  for (size_t i = 0; i < regions.size(); ++i) {
    const MemoryRegion& r = regions[i];
    if (r.size == 0) continue;
    const uint64_t end = std::min<uint64_t>(uint64_t{r.start} + r.size, kEnd);
    events.push_back({r.start, i, true});
    events.push_back({end, i, false});
  }
  std::sort(events.begin(), events.end(),
            [](const Event& a, const Event& b) { return a.pos < b.pos; });

  constexpr size_t kNone = SIZE_MAX;
  std::vector<Segment> out;
  out.reserve(events.size() + 1);
  std::set<size_t> active;  // indices of the regions covering the current position
  size_t lastOwner = kNone - 1;
  uint64_t pos = 0;
  size_t e = 0;
  while (pos < kEnd) {
    for (; e < events.size() && events[e].pos == pos; ++e) {
      if (events[e].opens) {
        active.insert(events[e].index);
      } else {
        active.erase(events[e].index);
      }
    }
    const size_t owner = active.empty() ? kNone : *active.begin();
    const uint64_t next = e < events.size() ? events[e].pos : kEnd;
    if (owner == lastOwner) {
      // The same region (or the same gap) goes on: its words are contiguous, so extend.
      out.back().span = static_cast<uint32_t>(next - 1 - out.back().lo);
    } else {
      out.push_back(MakeSegment(pos, next, owner == kNone ? nullptr : &regions[owner]));
      lastOwner = owner;
    }
    pos = next;
  }
  segments_.swap(out);
}

void AddressMap::Add(const MemoryRegion& region) {
  if (region.size == 0) return;
  const uint64_t lo = region.start;
  const uint64_t end = std::min<uint64_t>(lo + region.size, uint64_t{1} << 32);

  // The segments the region overlaps, [first, last), and what replaces them.
  const auto first = std::upper_bound(segments_.begin(), segments_.end(), region.start,
                                      [](uint32_t a, const Segment& s) { return a < s.lo; }) -
                     1;
  auto last = first;
  std::vector<Segment> pieces;
  for (; last != segments_.end() && last->lo < end; ++last) {
    const uint64_t segLo = last->lo;
    const uint64_t segEnd = segLo + last->span + 1;
    if (last->kind != Segment::Kind::Unmapped) {
      pieces.push_back(*last);  // an earlier region keeps what it serves
      continue;
    }
    const uint64_t from = std::max(segLo, lo);
    const uint64_t to = std::min(segEnd, end);
    if (segLo < from) pieces.push_back(MakeSegment(segLo, from, nullptr));
    pieces.push_back(MakeSegment(from, to, &region));
    if (to < segEnd) pieces.push_back(MakeSegment(to, segEnd, nullptr));
  }
  // Make room first, so that nothing after this point can fail.
  const auto firstIndex = first - segments_.begin();
  const auto lastIndex = last - segments_.begin();
  segments_.reserve(segments_.size() + pieces.size());
  segments_.erase(segments_.begin() + firstIndex, segments_.begin() + lastIndex);
  segments_.insert(segments_.begin() + firstIndex, pieces.begin(), pieces.end());
}

const Segment& AddressMap::Find(uint32_t a) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), a,
                             [](uint32_t addr, const Segment& s) { return addr < s.lo; });
  return *(it - 1);
}

}  // namespace tervik
