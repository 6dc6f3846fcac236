// The contents of the processor's ROM and RAM over time: for every page of words, the versions
// it had at the snapshots where it differed from the one before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "Processor.h"

namespace tervik::history {

class PageStore {
 public:
  static constexpr uint32_t kPageWords = WordStorage::kPageWords;

  // Keeps, as version `seq` (larger than any before), a copy of every page of the ROM and RAM
  // regions that differs from its latest version (a page never kept reads as zeros). Pages are
  // found by comparing: those kept before and those the storage marks as written (see
  // WordStorage), which is every page ever written, whether or not the system keeps it in
  // memory. Returns how many pages it kept.
  size_t Capture(const Processor& cpu, uint64_t seq);
  // Makes every ROM and RAM word what it was at version `seq`.
  void Restore(const Processor& cpu, uint64_t seq);
  // Folds the versions up to `seq` into one labelled `seq`: the history before it is dropped.
  void DropBefore(uint64_t seq);
  void Clear();
  size_t Bytes() const;

 private:
  struct Version {
    uint64_t seq;
    std::unique_ptr<uint32_t[]> words;  // null: all zeros
  };
  // Key: region index << 32 | page index.
  using Pages = std::map<uint64_t, std::vector<Version>>;

  // The pages of region `index` to look at: every kept one and every one that may be non-zero.
  std::vector<uint32_t> Candidates(const MemoryRegion& region, uint32_t index) const;
  const uint32_t* Contents(const Version* v) const {
    return v && v->words ? v->words.get() : zero_.data();
  }

  Pages pages_;
  size_t kept_ = 0;      // versions with words
  size_t versions_ = 0;  // versions in all
  std::vector<uint32_t> zero_ = std::vector<uint32_t>(kPageWords, 0);
};

}  // namespace tervik::history
