// The comments of the loaded listing, by word address, for the disassembly window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tervik {

// Ordered map from word address to the comment of the listing line that placed a word there.
// At most one entry per address; a later line for the same address replaces the text.
class ListingMap {
 public:
  using Entries = std::map<uint32_t, std::string>;

  // The comment at address a; empty text when there is none.
  std::string_view Comment(uint32_t a) const {
    const auto it = entries_.find(a);
    return it == entries_.end() ? std::string_view() : std::string_view(it->second);
  }
  void Set(uint32_t a, std::string_view comment) { entries_[a].assign(comment); }
  void Clear() { entries_.clear(); }

  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  const Entries& entries() const { return entries_; }

 private:
  Entries entries_;
};

}  // namespace tervik
