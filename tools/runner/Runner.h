// The headless runner: runs a loaded debugging session until a step limit, an address, or a
// standstill, optionally writing a trace line per step; the text of the register and memory
// dumps; and the reading of its numeric options.
//
// Trace line, one per step:
//   STEP ADDRESS WORD DISASSEMBLY  CHANGES
// STEP counts from 1 in decimal, right-aligned in kTraceStepWidth (8) characters (a longer number
// widens its line); ADDRESS and WORD are eight hex digits; DISASSEMBLY is the
// disassembler's text with its tab replaced by a blank, padded to 24 characters; CHANGES lists
// what the step changed as NAME=VALUE (upper-case hex, no leading zeros), in the order the
// register window shows them: PC, IM, SP, LFSR, SR, the flags O, C, Z, N (0 or 1), R0 to R31,
// then M[ADDRESS]=VALUE for a word the instruction stored.
//
// A fetch from a peripheral region is not repeated for the trace (a second read could change
// the module's state): its WORD shows as "--------" and its disassembly as "(peripheral)".
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "Number.h"
#include "Processor.h"
#include "Session.h"
#include "Trace.h"

namespace tervik::runner {

// The width STEP is padded to; TraceWriter's format string spells it out as well.
inline constexpr size_t kTraceStepWidth = 8;

// Runs the session's processor through the session's run operations: run to `until` when it is
// given, else a free run, stopping when a step leaves pc in place. When a step both reaches
// `until` and leaves pc in place, or ends the step limit, the reason is the first of Until,
// Halted, StepLimit; the deadline and the interrupt are looked at only between batches, so a
// run that ends in the same batch ends for its own reason. The session must hold no breakpoints or
// watchpoints (the runner sets none): a run that one of them stops throws std::logic_error.
//
// With `between`, the batches are at most `slice` instructions long and `between` is called
// before each (between instructions, e.g. to refill a module's input), for as long as it
// returns true; after that the run goes on as without it. Where it ends is the same.
RunOutcome Run(debug::Session& session, const RunLimits& limits, const RunGuard& guard = {},
               const std::function<bool()>& between = {}, uint64_t slice = 256);

// Appends the trace line (with its '\n') of the step that went from `before` to the state of
// `after`, executing `word` fetched at before.pc (nullopt: fetched from a peripheral). The
// plain form of the line TraceWriter writes, which the tests compare it with.
void AppendTraceLine(std::string& out, uint64_t step, const CpuState& before,
                     std::optional<uint32_t> word, const Processor& after);

// The word at `address` when reading it has no side effect (ROM, RAM, unmapped); nullopt inside
// a peripheral region.
std::optional<uint32_t> PeekWord(Processor& processor, uint32_t address);

// The registers as the register window lays them out: PC, IM, SP, LFSR; SR and the flags; then
// R00 to R31 two per line.
std::string FormatRegisters(const Processor& processor);

// Writes `count` words from `start` to `out`, eight per line, each line led by its address
// ("00001000:"); addresses wrap past FFFFFFFF. Reads through the bus, so peripheral regions are
// read as the program would read them. The text goes out in pieces of about 64 KiB, so a dump
// of the whole address space (38 GB of text) needs no more memory than a short one. Returns
// false, having stopped, when a write fails.
bool WriteMemory(Processor& processor, uint32_t start, uint64_t count, std::FILE* out);

// The last line of a run: the reason first ("until", "halted", "step limit", "timeout",
// "interrupted", "output failed"), then where and after how many steps.
std::string FormatStop(Processor& processor, const RunOutcome& outcome);

// ---- The options' values ----
// Errors name the column in the whole option text ("col 5: expected an expression").

// --until: an expression of the debugger's language, evaluated without a machine (no registers
// or memory) but with the program's symbols, as a 32-bit word: 0x10+3, H#FF0%, -1 (FFFFFFFF),
// loop+2.
debug::Result<uint32_t> ParseAddress(std::string_view text,
                                     const debug::SymbolLookup& symbols = {});

struct MemoryRange {
  uint32_t start = 0;
  uint64_t count = 0;

  bool operator==(const MemoryRange&) const = default;
};

// --dump-mem START:COUNT: two expressions as for ParseAddress, split at the first ':' outside
// brackets, parentheses and character literals. COUNT lies in 0..FFFFFFFF; a negative one is
// an error rather than a word.
debug::Result<MemoryRange> ParseRange(std::string_view text,
                                      const debug::SymbolLookup& symbols = {});

// --steps: a plain number as ParseNumber reads it (decimal, 0x or H# hex, 0b binary), with blanks
// around it and an optional leading '+'.
debug::Result<uint64_t> ParseCount(std::string_view text);

// --timeout: seconds of wall-clock time, a decimal number with an optional fraction ("2",
// "0.25"), above 0 and at most a year.
debug::Result<std::chrono::nanoseconds> ParseSeconds(std::string_view text);

}  // namespace tervik::runner
