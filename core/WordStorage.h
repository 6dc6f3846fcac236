// Zero-filled word storage of a memory region, allocated without touching its pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tervik {

// Owns an array of 32-bit words that reads as zero until written. Large arrays are anonymous
// mappings, so a region of 0x10000000 words costs no resident memory until the program writes
// to it. Throws std::bad_alloc when the memory cannot be had. Move-only.
//
// Beside the words it keeps a byte per page of kPageWords words, aligned to the addresses the
// words have (the array's first word is at `firstAddress`), that every writer of the words sets:
// a page whose byte is clear has held zeros since the storage was made or last zeroed. The
// history finds the pages to compare by it, which no paging of the memory by the system can
// hide.
class WordStorage {
 public:
  static constexpr uint32_t kPageShift = 10;
  static constexpr uint32_t kPageWords = uint32_t{1} << kPageShift;

  WordStorage() = default;
  explicit WordStorage(uint32_t words, uint32_t firstAddress = 0);
  ~WordStorage();

  WordStorage(WordStorage&& other) noexcept;
  WordStorage& operator=(WordStorage&& other) noexcept;
  WordStorage(const WordStorage&) = delete;
  WordStorage& operator=(const WordStorage&) = delete;

  uint32_t* data() const { return words_; }
  // Sets every word to 0. A large array gives its pages back to the system instead of writing
  // them, so it costs no time or memory for pages that were never written.
  void Zero() noexcept;
  uint32_t size() const { return size_; }

  // Whether a word of index..index+count-1 (count > 0) may be non-zero.
  bool Written(uint32_t index, uint32_t count) const;
  // The address of the written byte of address a is WrittenBase() + (a >> kPageShift), for the
  // store paths that hold addresses rather than indices. Zero for an empty array.
  uintptr_t WrittenBase() const { return writtenBase_; }

 private:
  uint32_t PageOf(uint32_t index) const { return (index + origin_) >> kPageShift; }
  void Release() noexcept;

  uint32_t* words_ = nullptr;
  uint32_t size_ = 0;
  uint32_t origin_ = 0;  // the first word's place in its page
  bool mapped_ = false;
  std::unique_ptr<uint8_t[]> written_;  // one byte per page, set by writes
  uintptr_t writtenBase_ = 0;
};

// Sets the written byte of address a, given a WrittenBase (see WordStorage).
inline void MarkWrittenAt(uintptr_t writtenBase, uint32_t a) {
  *reinterpret_cast<uint8_t*>(writtenBase + (a >> WordStorage::kPageShift)) = 1;
}

}  // namespace tervik
