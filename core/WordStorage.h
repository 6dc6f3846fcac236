// Zero-filled word storage of a memory region, allocated without touching its pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tervik {

// Owns an array of 32-bit words that reads as zero until written. Large arrays are anonymous
// mappings, so a region of 0x10000000 words costs no resident memory until the program writes
// to it. Throws std::bad_alloc when the memory cannot be had. Move-only.
class WordStorage {
 public:
  WordStorage() = default;
  explicit WordStorage(uint32_t words);
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

 private:
  void Release() noexcept;

  uint32_t* words_ = nullptr;
  uint32_t size_ = 0;
  bool mapped_ = false;
};

}  // namespace tervik
