// Page versions of the processor's memory, found by comparison.
#include "PageStore.h"

#include <algorithm>
#include <cstring>

namespace tervik::history {

namespace {

uint32_t PageCount(const MemoryRegion& region) {
  const uint32_t size = region.storage.size();
  return size / PageStore::kPageWords + (size % PageStore::kPageWords != 0 ? 1 : 0);
}

uint32_t PageLength(const MemoryRegion& region, uint32_t page) {
  return std::min(PageStore::kPageWords, region.storage.size() - page * PageStore::kPageWords);
}

}  // namespace

std::vector<uint32_t> PageStore::Candidates(const MemoryRegion& region, uint32_t index) const {
  // Every writer of region storage marks the page it writes, so a page neither marked nor kept
  // holds zeros, as its latest version does.
  std::vector<uint32_t> out;
  const uint32_t count = PageCount(region);
  for (uint32_t p = 0; p < count; ++p) {
    if (region.storage.Written(p * kPageWords, PageLength(region, p))) out.push_back(p);
  }
  const uint64_t lo = uint64_t{index} << 32;
  for (auto it = pages_.lower_bound(lo); it != pages_.end() && (it->first >> 32) == index; ++it) {
    out.push_back(static_cast<uint32_t>(it->first));
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

size_t PageStore::Capture(const Processor& cpu, uint64_t seq) {
  size_t kept = 0;
  const auto& regions = cpu.Regions();
  for (uint32_t r = 0; r < regions.size(); ++r) {
    const MemoryRegion& region = regions[r];
    if (region.type == RegionType::DLL || region.storage.data() == nullptr) continue;
    for (const uint32_t p : Candidates(region, r)) {
      const uint32_t* words = region.storage.data() + size_t{p} * kPageWords;
      const size_t bytes = size_t{PageLength(region, p)} * 4;
      const uint64_t key = uint64_t{r} << 32 | p;
      const auto found = pages_.find(key);
      const Version* latest =
          found == pages_.end() || found->second.empty() ? nullptr : &found->second.back();
      if (std::memcmp(words, Contents(latest), bytes) == 0) continue;
      Version v{seq, nullptr};
      if (std::memcmp(words, zero_.data(), bytes) != 0) {
        v.words = std::make_unique<uint32_t[]>(kPageWords);
        std::memcpy(v.words.get(), words, bytes);
        ++kept_;
      }
      pages_[key].push_back(std::move(v));
      ++versions_;
      ++kept;
    }
  }
  return kept;
}

void PageStore::Restore(const Processor& cpu, uint64_t seq) {
  const auto& regions = cpu.Regions();
  for (uint32_t r = 0; r < regions.size(); ++r) {
    const MemoryRegion& region = regions[r];
    if (region.type == RegionType::DLL || region.storage.data() == nullptr) continue;
    for (const uint32_t p : Candidates(region, r)) {
      uint32_t* words = region.storage.data() + size_t{p} * kPageWords;
      const size_t bytes = size_t{PageLength(region, p)} * 4;
      const Version* at = nullptr;
      if (const auto found = pages_.find(uint64_t{r} << 32 | p); found != pages_.end()) {
        const std::vector<Version>& versions = found->second;
        const auto it = std::upper_bound(versions.begin(), versions.end(), seq,
                                         [](uint64_t s, const Version& v) { return s < v.seq; });
        if (it != versions.begin()) at = &it[-1];
      }
      const uint32_t* want = Contents(at);
      if (std::memcmp(words, want, bytes) != 0) std::memcpy(words, want, bytes);
    }
  }
}

void PageStore::DropBefore(uint64_t seq) {
  for (auto it = pages_.begin(); it != pages_.end();) {
    std::vector<Version>& versions = it->second;
    const auto after = std::upper_bound(versions.begin(), versions.end(), seq,
                                        [](uint64_t s, const Version& v) { return s < v.seq; });
    if (after - versions.begin() > 1) {
      for (auto v = versions.begin(); v != after - 1; ++v) {
        if (v->words) --kept_;
        --versions_;
      }
      versions.erase(versions.begin(), after - 1);
    }
    if (!versions.empty() && versions.front().seq < seq) versions.front().seq = seq;
    // A page whose only version is zeros reads the same without it.
    if (versions.size() == 1 && !versions.front().words && versions.front().seq <= seq) {
      --versions_;
      it = pages_.erase(it);
    } else {
      ++it;
    }
  }
}

void PageStore::Clear() {
  pages_.clear();
  kept_ = 0;
  versions_ = 0;
}

size_t PageStore::Bytes() const {
  return kept_ * kPageWords * 4 + versions_ * sizeof(Version) + pages_.size() * 64;
}

}  // namespace tervik::history
