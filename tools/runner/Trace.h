// The runner's trace: one line per step, formatted straight into a large buffer that goes out
// in large writes, so that a traced run keeps up with the processor (see Runner.h for the
// line's text, which this writes byte for byte). A run may trace only a stretch of its steps
// and run the rest at the speed of the untraced run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "Processor.h"

namespace tervik::runner {

// The steps to trace, counted from 1 as the trace counts them, first to last inclusive.
struct TraceRange {
  uint64_t from = 1;
  uint64_t to = std::numeric_limits<uint64_t>::max();

  bool operator==(const TraceRange&) const = default;
};

// Collects trace lines and writes them to a stream in pieces of about a megabyte.
class TraceWriter {
 public:
  explicit TraceWriter(std::FILE* out);
  ~TraceWriter();  // writes what is left; a failure then goes unreported (call Flush first)
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // The line of the step that went from `before` to the state of `after`, executing `word`
  // fetched at before.pc (nullopt: fetched from a peripheral).
  void Line(uint64_t step, const CpuState& before, std::optional<uint32_t> word,
            const Processor& after);
  // Writes what has collected. False when a write failed, now or before.
  bool Flush();
  // Whether a write has failed, and its errno.
  bool Failed() const { return failed_; }
  int Error() const { return error_; }

 private:
  static constexpr size_t kCapacity = size_t{1} << 20;
  static constexpr size_t kLineMax = 512;  // far more than the longest line

  // The word's disassembly with the tab replaced, padded with blanks to 24 characters.
  const char* DisassemblyField(uint32_t word);

  std::FILE* out_;
  std::unique_ptr<char[]> buffer_;
  char* end_;  // where the next character goes
  bool failed_ = false;
  int error_ = 0;
  struct CachedText {
    uint32_t word;
    bool valid;
    char text[24];
  };
  std::unique_ptr<CachedText[]> cache_;  // direct-mapped by the word's hash
};

// Whether a word is served by a peripheral, without reading it, remembering the stretch of
// addresses where the answer stays the same (the regions do not change during a run).
class PeripheralLookup {
 public:
  explicit PeripheralLookup(const Processor& processor) : processor_(processor) {}
  bool IsPeripheral(uint32_t a) {
    if (a - lo_ > span_ || !known_) Locate(a);
    return peripheral_;
  }

 private:
  void Locate(uint32_t a);

  const Processor& processor_;
  bool known_ = false;
  uint32_t lo_ = 0;
  uint32_t span_ = 0;
  bool peripheral_ = false;
};

}  // namespace tervik::runner
