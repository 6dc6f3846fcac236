// Zero-filled word storage: calloc for small arrays, anonymous private mappings for large ones.
#include "WordStorage.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace tervik {

namespace {
// Below this many bytes a mapping would waste most of its page; calloc zero-fills cheaply.
constexpr size_t kMapThreshold = 64 * 1024;
}  // namespace

WordStorage::WordStorage(uint32_t words, uint32_t firstAddress)
    : size_(words), origin_(firstAddress % kPageWords) {
  if (words == 0) return;
  // The pages of firstAddress .. firstAddress + words - 1, which never passes 0xFFFFFFFF.
  written_ = std::make_unique<uint8_t[]>(PageOf(words - 1) + 1);  // zeros
  // Page (a >> kPageShift) - (firstAddress >> kPageShift) holds address a; the subtraction is
  // done in integers, so that no pointer ever points outside the array.
  writtenBase_ = reinterpret_cast<uintptr_t>(written_.get()) - (firstAddress >> kPageShift);
  const size_t bytes = static_cast<size_t>(words) * sizeof(uint32_t);
  if (bytes >= kMapThreshold) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    words_ = static_cast<uint32_t*>(p);
    mapped_ = true;
  } else {
    words_ = static_cast<uint32_t*>(std::calloc(words, sizeof(uint32_t)));
    if (words_ == nullptr) throw std::bad_alloc();
  }
}

WordStorage::~WordStorage() {
  Release();
}

bool WordStorage::Written(uint32_t index, uint32_t count) const {
  for (uint32_t p = PageOf(index), last = PageOf(index + count - 1); p <= last; ++p) {
    if (written_[p] != 0) return true;
  }
  return false;
}

void WordStorage::Zero() noexcept {
  if (words_ == nullptr) return;
  std::memset(written_.get(), 0, PageOf(size_ - 1) + 1);
  const size_t bytes = static_cast<size_t>(size_) * sizeof(uint32_t);
  // A private anonymous mapping reads as zeros again once its pages are dropped.
  if (mapped_ && madvise(words_, bytes, MADV_DONTNEED) == 0) return;
  std::memset(words_, 0, bytes);
}

WordStorage::WordStorage(WordStorage&& other) noexcept
    : words_(std::exchange(other.words_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      origin_(std::exchange(other.origin_, 0)),
      mapped_(std::exchange(other.mapped_, false)),
      written_(std::move(other.written_)),
      writtenBase_(std::exchange(other.writtenBase_, 0)) {}

WordStorage& WordStorage::operator=(WordStorage&& other) noexcept {
  if (this != &other) {
    Release();
    words_ = std::exchange(other.words_, nullptr);
    size_ = std::exchange(other.size_, 0);
    origin_ = std::exchange(other.origin_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    written_ = std::move(other.written_);
    writtenBase_ = std::exchange(other.writtenBase_, 0);
  }
  return *this;
}

void WordStorage::Release() noexcept {
  if (words_ == nullptr) return;
  if (mapped_) {
    munmap(words_, static_cast<size_t>(size_) * sizeof(uint32_t));
  } else {
    std::free(words_);
  }
  words_ = nullptr;
}

}  // namespace tervik
