// The runner's fast trace: lines formatted into a megabyte buffer ({fmt} for the step number,
// a table for the hex words, the disassembly kept per word), the traced stretch stepped one
// step at a time and the rest run in batches.
#include "Trace.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "Inspection.h"

namespace tervik::runner {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr size_t kCacheSize = 4096;  // disassembly texts kept, a power of two

// The two hex digits of every byte.
constexpr std::array<char, 512> kHexPairs = [] {
  std::array<char, 512> t{};
  for (unsigned i = 0; i < 256; ++i) {
    t[2 * i] = kHexDigits[i >> 4];
    t[2 * i + 1] = kHexDigits[i & 15u];
  }
  return t;
}();

char* Hex8(char* p, uint32_t v) {
  for (int byte = 3; byte >= 0; --byte) {
    std::memcpy(p, &kHexPairs[2 * ((v >> (8 * byte)) & 0xFFu)], 2);
    p += 2;
  }
  return p;
}

// Upper-case hex without leading zeros.
char* Hex(char* p, uint32_t v) {
  const int digits = v == 0 ? 1 : (35 - std::countl_zero(v)) / 4;
  for (int i = digits - 1; i >= 0; --i) *p++ = kHexDigits[(v >> (4 * i)) & 15u];
  return p;
}

char* Text(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// A register's name for a change, " NAME=", in a fixed eight bytes (blank-padded) so that it is
// copied whole; `size` counts what belongs to it.
struct ChangeName {
  char text[8];
  unsigned size;
};
constexpr ChangeName Named(std::string_view name) {
  ChangeName n{{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}, static_cast<unsigned>(name.size() + 2)};
  for (size_t i = 0; i < name.size(); ++i) n.text[1 + i] = name[i];
  n.text[1 + name.size()] = '=';
  return n;
}

// " NAME=VALUE"; the buffer always has room for the whole eight bytes.
char* Change(char* p, const ChangeName& name, uint32_t value) {
  std::memcpy(p, name.text, sizeof name.text);
  return Hex(p + name.size, value);
}

constexpr ChangeName kPc = Named("PC"), kIm = Named("IM"), kSp = Named("SP"), kLfsr = Named("LFSR"),
                     kSr = Named("SR"), kO = Named("O"), kC = Named("C"), kZ = Named("Z"),
                     kN = Named("N");
constexpr std::array<ChangeName, 32> kRegisterNames = [] {
  constexpr std::string_view names[32] = {"R0",  "R1",  "R2",  "R3",  "R4",  "R5",  "R6",  "R7",
                                          "R8",  "R9",  "R10", "R11", "R12", "R13", "R14", "R15",
                                          "R16", "R17", "R18", "R19", "R20", "R21", "R22", "R23",
                                          "R24", "R25", "R26", "R27", "R28", "R29", "R30", "R31"};
  std::array<ChangeName, 32> t{};
  for (size_t i = 0; i < 32; ++i) t[i] = Named(names[i]);
  return t;
}();

StopReason Classify(const Processor& p, const RunLimits& limits) {
  if (limits.until && p.pc == *limits.until) return StopReason::Until;
  if (!p.pcChanged) return StopReason::Halted;
  return StopReason::StepLimit;
}

}  // namespace

TraceWriter::TraceWriter(std::FILE* out)
    : out_(out),
      buffer_(new char[kCapacity]),
      end_(buffer_.get()),
      cache_(new CachedText[kCacheSize]()) {}

TraceWriter::~TraceWriter() {
  Flush();
}

bool TraceWriter::Flush() {
  const size_t size = static_cast<size_t>(end_ - buffer_.get());
  // The error flag as well: an unbuffered stream can count a refused write as written.
  if (size != 0 && !failed_ &&
      (std::fwrite(buffer_.get(), 1, size, out_) != size || std::ferror(out_))) {
    failed_ = true;
    error_ = errno != 0 ? errno : EIO;
  }
  end_ = buffer_.get();
  return !failed_;
}

const char* TraceWriter::DisassemblyField(uint32_t word) {
  CachedText& entry = cache_[(word * 0x9E3779B1u) >> 20 & (kCacheSize - 1)];
  if (!entry.valid || entry.word != word) {
    std::array<char, Processor::kDisassemblyMax> text{};
    const size_t n = Processor::Disassemble(word, text);
    std::memset(entry.text, ' ', sizeof entry.text);
    for (size_t i = 0; i < n && i < sizeof entry.text; ++i) {
      entry.text[i] = text[i] == '\t' ? ' ' : text[i];
    }
    entry.word = word;
    entry.valid = true;
  }
  return entry.text;
}

void TraceWriter::Line(uint64_t step, const CpuState& before, std::optional<uint32_t> word,
                       const Processor& after) {
  if (static_cast<size_t>(end_ - buffer_.get()) > kCapacity - kLineMax) Flush();
  char* p = end_;
  p = fmt::format_to(p, FMT_COMPILE("{:>8} "), step);
  p = Hex8(p, before.pc);
  *p++ = ' ';
  if (word) {
    p = Hex8(p, *word);
    *p++ = ' ';
    std::memcpy(p, DisassemblyField(*word), 24);
  } else {
    p = Text(p, "-------- ");
    std::memcpy(p, "(peripheral)            ", 24);
  }
  p += 24;

  if (after.pcChanged) p = Change(p, kPc, after.pc);
  if (after.imChanged) p = Change(p, kIm, after.im);
  if (after.spChanged) p = Change(p, kSp, after.sp);
  if (after.lfsrChanged) p = Change(p, kLfsr, after.lfsr);
  if (after.srChanged) p = Change(p, kSr, after.sr);
  if (after.oChanged) p = Change(p, kO, (after.sr & Processor::kFlagO) != 0);
  if (after.cChanged) p = Change(p, kC, (after.sr & Processor::kFlagC) != 0);
  if (after.zChanged) p = Change(p, kZ, (after.sr & Processor::kFlagZ) != 0);
  if (after.nChanged) p = Change(p, kN, (after.sr & Processor::kFlagN) != 0);
  // Mostly one register changes, or none: look at the markers eight at a time.
  for (unsigned group = 0; group < 32; group += 8) {
    uint64_t any;
    std::memcpy(&any, &after.regChanged[group], sizeof any);
    if (any == 0) continue;
    for (unsigned i = group; i < group + 8; ++i) {
      if (after.regChanged[i]) p = Change(p, kRegisterNames[i], after.r[i]);
    }
  }
  if (after.memWritten && word) {
    p = Text(p, " M[");
    p = Hex(p, after.lastWriteAddress);
    p = Text(p, "]=");
    p = Hex(p, StoredWord(*word, before));
  }
  *p++ = '\n';
  end_ = p;
}

void PeripheralLookup::Locate(uint32_t a) {
  // The stretch around a that one region (or none) serves, as the bus routes it.
  const Segment& s = ServedBy(processor_, a);
  lo_ = s.lo;
  span_ = s.span;
  peripheral_ = s.kind == Segment::Kind::DLL;
  known_ = true;
}

RunOutcome RunTraced(Processor& processor, const RunLimits& limits, std::FILE* out,
                     const TraceRange& range, const RunGuard& guard) {
  TraceWriter writer(out);
  PeripheralLookup lookup(processor);
  BatchPacer pacer(guard);
  RunOutcome outcome{StopReason::StepLimit, 0};
  std::vector<uint32_t> until;
  if (limits.until) until.push_back(*limits.until);
  // Untraced steps in batches up to step `last`, which end where single steps would (on the
  // --until address, a standstill or the count). True when the run ended.
  auto runUntraced = [&](uint64_t last) {
    while (outcome.steps < last) {
      outcome.steps += processor.RunBatch(std::min(last - outcome.steps, pacer.Slice()), until,
                                          Processor::OnStall::Stop);
      outcome.reason = Classify(processor, limits);
      if (outcome.reason != StopReason::StepLimit) return true;
      if (const std::optional<StopReason> stop = pacer.Check()) {
        outcome.reason = *stop;
        return true;
      }
    }
    return false;
  };
  const uint64_t first = std::max<uint64_t>(range.from, 1);
  bool ended = runUntraced(std::min(first - 1, limits.maxSteps));
  const uint64_t lastTraced = std::min(range.to, limits.maxSteps);
  // The traced steps look at the deadline and the interrupt every kCheckEvery steps.
  constexpr uint64_t kCheckEvery = 4096;
  while (!ended && outcome.steps < lastTraced) {
    const CpuState before = processor;
    const std::optional<uint32_t> word =
        lookup.IsPeripheral(processor.pc)
            ? std::nullopt
            : std::optional<uint32_t>(processor.ReadMem(processor.pc));
    processor.Step();
    ++outcome.steps;
    writer.Line(outcome.steps, before, word, processor);
    outcome.reason = Classify(processor, limits);
    ended = outcome.reason != StopReason::StepLimit;
    if (writer.Failed()) {
      outcome.reason = StopReason::OutputFailed;
      ended = true;
    } else if (!ended && outcome.steps % kCheckEvery == 0) {
      if (const std::optional<StopReason> stop = pacer.Check()) {
        outcome.reason = *stop;
        ended = true;
      }
    }
  }
  if (!ended) runUntraced(limits.maxSteps);
  if (!writer.Flush() && outcome.reason != StopReason::Interrupted) {
    outcome.reason = StopReason::OutputFailed;
  }
  if (outcome.reason == StopReason::OutputFailed) outcome.error = writer.Error();
  return outcome;
}

}  // namespace tervik::runner
