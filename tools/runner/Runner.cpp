// The run loops of the headless runner, the text it writes and the reading of its options.
#include "Runner.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "Expression.h"
#include "Inspection.h"
#include "Text.h"

namespace tervik::runner {
namespace {

using lang::AppendHex;
using lang::AppendHex8;

void AppendChange(std::string& out, std::string_view name, uint32_t value) {
  out += ' ';
  out += name;
  out += '=';
  AppendHex(out, value);
}

// Writes what has collected when it is large, so tracing a long run or dumping much memory
// keeps little of it. False when the write failed.
bool FlushIfLarge(std::string& text, std::FILE* out, bool always = false) {
  if (!always && text.size() < (1u << 16)) return true;
  // The error flag as well: an unbuffered stream can count a refused write as written.
  const bool written =
      std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::ferror(out) == 0;
  text.clear();
  return written;
}

}  // namespace

BatchPacer::BatchPacer(const RunGuard& guard)
    : guard_(guard),
      slice_(guard.deadline || guard.interrupt != nullptr ? uint64_t{1} << 16
                                                          : std::numeric_limits<uint64_t>::max()),
      last_(std::chrono::steady_clock::now()) {}

std::optional<StopReason> BatchPacer::Check() {
  if (guard_.interrupt != nullptr && *guard_.interrupt != 0) return StopReason::Interrupted;
  if (!guard_.deadline && guard_.interrupt == nullptr) return std::nullopt;
  const auto now = std::chrono::steady_clock::now();
  if (guard_.deadline && now >= *guard_.deadline) return StopReason::TimedOut;
  // A batch's time depends on the program (a module's work per step): aim at the target.
  const auto took = now - last_;
  last_ = now;
  if (took < kBatchTarget / 2 && slice_ < (uint64_t{1} << 30)) {
    slice_ *= 2;
  } else if (took > kBatchTarget * 2 && slice_ > 64) {
    slice_ /= 2;
  }
  return std::nullopt;
}

RunOutcome Run(debug::Session& session, const RunLimits& limits, const RunGuard& guard,
               const std::function<bool()>& between, uint64_t slice) {
  debug::RunOperation op = limits.until ? session.StartRunTo(*limits.until, true, limits.maxSteps)
                                        : session.StartRun(true, limits.maxSteps);
  BatchPacer pacer(guard);
  std::optional<debug::StopReason> ended;
  bool feeding = static_cast<bool>(between);
  for (;;) {
    feeding = feeding && between();
    if ((ended = session.Continue(op, feeding ? std::min(slice, pacer.Slice()) : pacer.Slice()))) {
      break;
    }
    if (const std::optional<StopReason> stop = pacer.Check()) return {*stop, op.done};
  }
  const debug::StopReason& reason = *ended;
  switch (reason.kind) {
    case debug::StopKind::Done: return {StopReason::Until, reason.instructions};
    case debug::StopKind::Halted: return {StopReason::Halted, reason.instructions};
    case debug::StopKind::StepLimit: return {StopReason::StepLimit, reason.instructions};
    case debug::StopKind::Breakpoint:
    case debug::StopKind::Watchpoint:
    case debug::StopKind::Stopped: break;
  }
  throw std::logic_error("the run ended for a reason the runner does not know: " +
                         session.Describe(reason));
}

void AppendTraceLine(std::string& out, uint64_t step, const CpuState& before,
                     std::optional<uint32_t> word, const Processor& after) {
  const std::string number = std::to_string(step);
  if (number.size() < kTraceStepWidth) out.append(kTraceStepWidth - number.size(), ' ');
  out += number;
  out += ' ';
  AppendHex8(out, before.pc);
  out += ' ';
  const size_t textStart = out.size() + 9;
  if (word) {
    AppendHex8(out, *word);
    out += ' ';
    std::array<char, Processor::kDisassemblyMax> buf{};
    const size_t n = Processor::Disassemble(*word, buf);
    for (size_t i = 0; i < n; ++i) out += buf[i] == '\t' ? ' ' : buf[i];
  } else {
    out += "-------- (peripheral)";
  }
  while (out.size() < textStart + 24) out += ' ';

  if (after.pcChanged) AppendChange(out, "PC", after.pc);
  if (after.imChanged) AppendChange(out, "IM", after.im);
  if (after.spChanged) AppendChange(out, "SP", after.sp);
  if (after.lfsrChanged) AppendChange(out, "LFSR", after.lfsr);
  if (after.srChanged) AppendChange(out, "SR", after.sr);
  if (after.oChanged) AppendChange(out, "O", (after.sr & Processor::kFlagO) != 0);
  if (after.cChanged) AppendChange(out, "C", (after.sr & Processor::kFlagC) != 0);
  if (after.zChanged) AppendChange(out, "Z", (after.sr & Processor::kFlagZ) != 0);
  if (after.nChanged) AppendChange(out, "N", (after.sr & Processor::kFlagN) != 0);
  static constexpr std::array<std::string_view, 32> kNames = {
      "R0",  "R1",  "R2",  "R3",  "R4",  "R5",  "R6",  "R7",  "R8",  "R9",  "R10",
      "R11", "R12", "R13", "R14", "R15", "R16", "R17", "R18", "R19", "R20", "R21",
      "R22", "R23", "R24", "R25", "R26", "R27", "R28", "R29", "R30", "R31"};
  for (unsigned i = 0; i < 32; ++i) {
    if (after.regChanged[i]) AppendChange(out, kNames[i], after.r[i]);
  }
  if (after.memWritten && word) {
    out += " M[";
    AppendHex(out, after.lastWriteAddress);
    out += "]=";
    AppendHex(out, StoredWord(*word, before));
  }
  out += '\n';
}

std::optional<uint32_t> PeekWord(Processor& processor, uint32_t address) {
  if (ServedBy(processor, address).kind == Segment::Kind::DLL) return std::nullopt;
  return Peek(processor, address).value_or(kUnmappedWord);
}

std::string FormatRegisters(const Processor& p) {
  char buf[128];
  std::string out;
  std::snprintf(buf, sizeof buf, "PC: %08X IM: %08X SP: %08X LFSR: %08X\n", p.pc, p.im, p.sp,
                p.lfsr);
  out += buf;
  std::snprintf(buf, sizeof buf, "SR: %08X O: %d  C: %d  Z: %d  N: %d\n", p.sr,
                (p.sr & Processor::kFlagO) != 0, (p.sr & Processor::kFlagC) != 0,
                (p.sr & Processor::kFlagZ) != 0, (p.sr & Processor::kFlagN) != 0);
  out += buf;
  for (unsigned i = 0; i < 32; i += 2) {
    std::snprintf(buf, sizeof buf, "R%02u: %08X   R%02u: %08X\n", i, p.r[i], i + 1, p.r[i + 1]);
    out += buf;
  }
  return out;
}

bool WriteMemory(Processor& processor, uint32_t start, uint64_t count, std::FILE* out) {
  std::string text;
  text.reserve((1u << 16) + 128);
  for (uint64_t i = 0; i < count; ++i) {
    const uint32_t a = static_cast<uint32_t>(start + i);
    if (i % 8 == 0) {
      if (i != 0) {
        text += '\n';
        if (!FlushIfLarge(text, out)) return false;
      }
      AppendHex8(text, a);
      text += ':';
    }
    text += ' ';
    AppendHex8(text, processor.ReadMem(a));
  }
  if (count != 0) text += '\n';
  return FlushIfLarge(text, out, true);
}

std::string FormatStop(Processor& processor, const RunOutcome& outcome) {
  std::string out;
  switch (outcome.reason) {
    case StopReason::Until: out = "until: reached pc "; break;
    case StopReason::Halted: out = "halted: pc stayed at "; break;
    case StopReason::StepLimit: out = "step limit: pc "; break;
    case StopReason::TimedOut: out = "timeout: pc "; break;
    case StopReason::Interrupted: out = "interrupted: pc "; break;
    case StopReason::OutputFailed: out = "output failed: pc "; break;
  }
  AppendHex8(out, processor.pc);
  if (outcome.reason == StopReason::Halted) {
    const std::optional<uint32_t> word = PeekWord(processor, processor.pc);
    if (word) {
      out += " (";
      for (char c : Processor::Disassemble(*word)) out += c == '\t' ? ' ' : c;
      out += ')';
    }
  }
  out += " after " + std::to_string(outcome.steps) + (outcome.steps == 1 ? " step" : " steps");
  return out;
}

namespace {

// Moves the columns of an error found in a part of an option's text that starts at `offset`
// to columns of the whole text.
debug::Error Shifted(debug::Error error, size_t offset) {
  error.column += offset;
  return error;
}

// The position of the first ':' outside brackets, parentheses and character literals, or npos.
size_t FindRangeColon(std::string_view text) {
  size_t depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '(':
      case '[': ++depth; break;
      case ')':
      case ']':
        if (depth > 0) --depth;
        break;
      case '\'':
        // To the closing quote; a backslash escapes the character after it.
        for (++i; i < text.size() && text[i] != '\''; ++i) {
          if (text[i] == '\\') ++i;
        }
        break;
      case ':':
        if (depth == 0) return i;
        break;
      default: break;
    }
  }
  return std::string_view::npos;
}

}  // namespace

debug::Result<uint32_t> ParseAddress(std::string_view text, const debug::SymbolLookup& symbols) {
  debug::SymbolContext noMachine(symbols);
  return debug::EvaluateWord(text, noMachine);
}

debug::Result<MemoryRange> ParseRange(std::string_view text, const debug::SymbolLookup& symbols) {
  const size_t colon = FindRangeColon(text);
  if (colon == std::string_view::npos) {
    return debug::Error{text.size() + 1, "expected ':' and a count"};
  }
  const debug::Result<uint32_t> start = ParseAddress(text.substr(0, colon), symbols);
  if (!start.ok()) return start.error();

  const std::string_view countText = text.substr(colon + 1);
  const debug::Result<debug::Expression> count = debug::Expression::Parse(countText);
  if (!count.ok()) return Shifted(count.error(), colon + 1);
  debug::SymbolContext noMachine(symbols);
  const debug::Result<int64_t> value = count.value().Evaluate(noMachine);
  if (!value.ok()) return Shifted(value.error(), colon + 1);
  if (value.value() < 0) {
    // A negative value would otherwise become a word: -1 a dump of FFFFFFFF words.
    size_t first = 0;
    while (first < countText.size() && debug::IsBlank(countText[first])) ++first;
    return debug::Error{colon + 2 + first, "a count cannot be negative"};
  }
  const debug::Result<uint32_t> words = count.value().EvaluateWord(noMachine);
  if (!words.ok()) return Shifted(words.error(), colon + 1);
  return MemoryRange{start.value(), words.value()};
}

debug::Result<uint64_t> ParseCount(std::string_view text) {
  // A leading '+' is read as a blank, so the columns stay those of the text.
  std::string number(text);
  const size_t first = number.find_first_not_of(" \t\v\f\r");
  if (first != std::string::npos && number[first] == '+') number[first] = ' ';
  const debug::Result<int64_t> n = debug::ParseNumber(number);
  if (!n.ok()) return n.error();
  return static_cast<uint64_t>(n.value());
}

debug::Result<std::chrono::nanoseconds> ParseSeconds(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && debug::IsBlank(text[i])) ++i;
  const size_t start = i;
  uint64_t whole = 0, fraction = 0, scale = 1'000'000'000;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    if (whole > 366ull * 24 * 3600) return debug::Error{start + 1, "more than a year"};
    whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      scale /= 10;  // digits past nanoseconds count for nothing
      fraction += scale * static_cast<uint64_t>(text[i] - '0');
    }
  }
  if (!digits) return debug::Error{start + 1, "expected a number of seconds"};
  while (i < text.size() && debug::IsBlank(text[i])) ++i;
  if (i < text.size()) {
    return debug::Error{i + 1, std::string("unexpected '") + text[i] + "'"};
  }
  if (whole > 366ull * 24 * 3600) return debug::Error{start + 1, "more than a year"};
  const uint64_t total = whole * 1'000'000'000 + fraction;
  if (total == 0) return debug::Error{start + 1, "the time must be above 0"};
  return std::chrono::nanoseconds(static_cast<int64_t>(total));
}

}  // namespace tervik::runner
