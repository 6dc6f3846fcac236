// The values the program read from module words, in the order it read them, kept per address
// in runs of equal steps, so that a module polled in a loop costs a few bytes however long the
// program runs. The streams are found by address through tables of 1,024 addresses each, so
// that a program reading a whole frame buffer word by word costs no more per read than one
// polling a single register.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tervik::history {

class ModuleLog {
 public:
  // Where every address's values stand: how many of each have been read, by address in the
  // order the addresses were first read.
  using Position = std::vector<uint64_t>;

  // Appends a value the program read at `address` (recording).
  void Append(uint32_t address, uint32_t value);
  // The next value recorded for `address` after the replay position, which moves past it.
  // Past the end of what was recorded: nothing (the replay went further than the record).
  bool Next(uint32_t address, uint32_t& value);

  // The recording position (everything appended so far) and the replay position.
  Position End() const;
  Position Cursor() const;
  // Replay from `position` on, which must lie within what is recorded.
  void Seek(const Position& position);
  // Whether the replay position is the end of the record.
  bool CursorAtEnd() const;
  // Forgets the values before `position` (the oldest history was dropped).
  void DropBefore(const Position& position);
  void Clear();
  // Bytes the record takes.
  size_t Bytes() const;

 private:
  // Values first + stride * i for i < count, the value number `start` onwards of the address.
  struct Run {
    uint64_t start;
    uint32_t first;
    uint32_t stride;
    uint32_t count;
  };
  struct Stream {
    uint32_t address = 0;
    // From `head` on; those before it were dropped, and go when they are half of the vector.
    // A vector rather than a deque: a stream of one run, as most are, takes one small block.
    std::vector<Run> runs;
    size_t head = 0;
    uint64_t total = 0;  // values recorded
    uint64_t read = 0;   // values replayed
    size_t runAt = 0;    // the run that holds value number `read` (an index into runs)
  };
  // The stream numbers plus one (0: none yet) of 1,024 consecutive addresses.
  static constexpr uint32_t kTableShift = 10;
  using Table = std::array<uint32_t, size_t{1} << kTableShift>;

  Stream& StreamFor(uint32_t address);
  void Place(Stream& s, uint64_t n);

  std::vector<Stream> streams_;
  // Tables by address >> kTableShift; a module region is a few tables, so a map of them is
  // small and a scan through a region stays in one table for 1,024 reads.
  std::unordered_map<uint32_t, std::unique_ptr<Table>> tables_;
  uint32_t tableKey_ = UINT32_MAX;  // the table of the last new address (none: no key is this)
  Table* table_ = nullptr;
  size_t last_ = 0;  // the stream of the last access, tried first
  size_t runs_ = 0;
};

}  // namespace tervik::history
