// The routing table must decide every address exactly as a linear scan of the region list
// would: random overlapping lists, checked at every boundary and at random addresses.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "AddressMap.h"

namespace tervik {
namespace {

// The reference: scan from the first region, first hit wins.
const MemoryRegion* LinearScan(const std::vector<MemoryRegion>& regions, uint32_t a) {
  for (const MemoryRegion& r : regions) {
    if (r.Contains(a)) return &r;
  }
  return nullptr;
}

// What the segment routes to, described as the reference does.
const MemoryRegion* Routed(const std::vector<MemoryRegion>& regions, const Segment& s, uint32_t a) {
  if (s.kind == Segment::Kind::Unmapped) return nullptr;
  for (const MemoryRegion& r : regions) {
    if (s.kind == Segment::Kind::DLL) {
      if (r.type == RegionType::DLL && r.start == s.regionStart && r.Contains(a)) return &r;
    } else if (r.storage.data() != nullptr &&
               s.words + (a - s.lo) == r.storage.data() + (a - r.start)) {
      return &r;
    }
  }
  return nullptr;
}

uint32_t ReadDummy(uint32_t) {
  return 0;
}
void WriteDummy(uint32_t, uint32_t) {}

TEST(AddressMap, AgreesWithALinearScan) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 200; ++round) {
    std::vector<MemoryRegion> regions;
    const int count = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < count; ++i) {
      MemoryRegion r;
      // Cluster starts near a few bases so that regions overlap, touch and wrap.
      const uint32_t bases[] = {0, 0x1000, 0xFFFFFF00};
      r.start = bases[rng() % 3] + rng() % 0x300;
      r.size = rng() % 5 == 0 ? 0 : rng() % 0x400;
      r.type = static_cast<RegionType>(rng() % 3);
      if (r.type == RegionType::DLL) {
        r.entry.ReadMem = &ReadDummy;
        r.entry.WriteMem = &WriteDummy;
        r.entry.CPUWriteMem = &WriteDummy;
      } else {
        r.storage = WordStorage(r.size);
      }
      regions.push_back(std::move(r));
    }
    AddressMap map;
    map.Rebuild(regions);

    // Adding the regions one by one gives exactly the same segments.
    AddressMap added;
    for (const MemoryRegion& r : regions) added.Add(r);
    ASSERT_EQ(added.Segments().size(), map.Segments().size()) << "round " << round;
    for (size_t i = 0; i < map.Segments().size(); ++i) {
      const Segment& x = added.Segments()[i];
      const Segment& y = map.Segments()[i];
      ASSERT_TRUE(x.lo == y.lo && x.span == y.span && x.kind == y.kind && x.words == y.words &&
                  x.regionStart == y.regionStart)
          << "round " << round << " segment " << i;
    }

    std::vector<uint32_t> probes = {0, 0xFFFFFFFF};
    for (const MemoryRegion& r : regions) {
      for (uint32_t d : {0u, 1u}) {
        probes.push_back(r.start + r.size - d);
        probes.push_back(r.start - d);
        probes.push_back(r.start + d);
      }
    }
    for (int i = 0; i < 200; ++i) probes.push_back(rng());
    for (uint32_t a : probes) {
      const Segment& s = map.Find(a);
      ASSERT_TRUE(s.Contains(a)) << std::hex << a;
      ASSERT_EQ(Routed(regions, s, a), LinearScan(regions, a))
          << "round " << round << " address " << std::hex << a;
    }

    // The segments tile the address space without gaps.
    const auto segs = map.Segments();
    ASSERT_EQ(segs.front().lo, 0u);
    for (size_t i = 1; i < segs.size(); ++i) {
      ASSERT_EQ(segs[i].lo, segs[i - 1].lo + segs[i - 1].span + 1);
    }
    ASSERT_EQ(segs.back().lo + segs.back().span, 0xFFFFFFFFu);
  }
}

TEST(AddressMap, ClearedMapRoutesEverythingToNothing) {
  std::vector<MemoryRegion> regions(1);
  regions[0].size = 10;
  regions[0].storage = WordStorage(10);
  AddressMap map;
  map.Rebuild(regions);
  map.Clear();
  ASSERT_EQ(map.Segments().size(), 1u);
  EXPECT_EQ(map.Find(5).kind, Segment::Kind::Unmapped);
  EXPECT_EQ(map.Find(0xFFFFFFFF).kind, Segment::Kind::Unmapped);
}

}  // namespace
}  // namespace tervik
