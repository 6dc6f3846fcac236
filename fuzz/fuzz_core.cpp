// Fuzzes the processor: random regions, memory contents and registers, then a bounded number of
// cycles run twice, once by single steps and once as a batch (with up to three breakpoints near
// pc, up to three watches and, at times, the stop on a standstill), which must agree exactly,
// memory included. The single steps find the first watched load or store from each word and the
// registers before it; the batch must end after that cycle and name the same access, also when
// its step limit ends exactly on that cycle (a batch of one among them). Along
// the way: sr never has bits beyond the four flags, and unmapped words read as all ones. Some
// module regions are tickers clocked by catch-up in the batch and by Clock every step in the
// single steps: their log of reads, writes and the ticks their clocks make at chosen steps, and
// their final state, must agree too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <vector>

#include "FuzzSupport.h"
#include "Processor.h"
#include "Translator.h"

using namespace tervik;

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = w << 8 | (pos_ < size_ ? data_[pos_++] : 0);
    return w;
  }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool More() const { return pos_ < size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The words the modules' ReadMem gave during the current single step, in order: the first of a
// step fetched from a module is its instruction.
std::vector<uint32_t> stepReads;

uint32_t deviceReads = 0;
uint32_t DevRead(uint32_t offset) {
  stepReads.push_back(offset ^ (deviceReads + 1));
  return offset ^ ++deviceReads;
}
void DevWrite(uint32_t, uint32_t) {}
void DevNothing() {}
void DevAbout(char*) {}
int32_t DevInit(TervikMessageCallback, const char*) {
  return 0;
}

// Two catch-up modules: a clock count that logs a tick every `period` clocks (its exact clocks),
// and every read and write, into one log shared by both, so that the order shows.
std::vector<uint64_t> tickLog;
template <int N>
struct Ticker {
  static inline uint64_t clocks = 0;
  static inline uint32_t period = 0, phase = 0;
  static void Clear() { clocks = period = phase = 0; }
  static void Clock() {
    ++clocks;
    if (period != 0 && ++phase >= period) {
      phase = 0;
      tickLog.push_back(clocks << 4 | N);
    }
  }
  static uint32_t ClockSteps(uint32_t steps) {
    for (uint32_t i = 0; i < steps; ++i) Clock();
    return period == 0 ? TERVIK_PLUGIN_CLOCK_IDLE : period - phase;
  }
  static uint32_t Read(uint32_t offset) {
    tickLog.push_back(clocks << 4 | 2 | N);
    stepReads.push_back(static_cast<uint32_t>(clocks) ^ offset);
    return static_cast<uint32_t>(clocks) ^ offset;
  }
  static void Write(uint32_t offset, uint32_t value) {
    tickLog.push_back(clocks << 4 | 4 | N);
    period = (value ^ offset) % 7;
    phase = 0;
  }
  static void Reset() { Clear(); }
  static PluginEntryPoints Entry() {
    PluginEntryPoints e{&DevAbout, &Write, &Write, &Read, &DevInit, &Reset, &Clock};
    e.ClockSteps = &ClockSteps;
    return e;
  }
};

void ClearTickers() {
  tickLog.clear();
  Ticker<0>::Clear();
  Ticker<1>::Clear();
}

// How the batch is asked to run.
struct RunRequest {
  uint32_t steps = 0;
  std::vector<uint32_t> breakpoints;
  Processor::OnStall onStall = Processor::OnStall::Continue;
  std::vector<Processor::Watch> watches;
  bool limitOnAccess = false;  // the batch's step limit is the cycle of the watched access
};

// The data access an instruction word makes, from the registers before it.
struct DataAccess {
  bool any = false;
  uint32_t address = 0;
  bool write = false;
};
DataAccess AccessOf(uint32_t word, const CpuState& s) {
  const Instruction in{word};
  switch (in.opcode()) {
    case Opcode::LOAD: return {true, s.r[in.ra()] + s.r[in.rb()], false};
    case Opcode::LOADI: return {true, s.r[in.ra()] + in.simm(), false};
    case Opcode::STORE:
    case Opcode::STOREI: return {true, s.r[in.ra()], true};
    case Opcode::CALL:
    case Opcode::PUSH:
    case Opcode::PUSHI: return {true, s.sp, true};
    case Opcode::POP:
    case Opcode::RET: return {true, s.sp - 1, false};
    default: return {};
  }
}

void Build(Processor& p, const uint8_t* data, size_t size, RunRequest& run) {
  Input in(data, size);
  const unsigned regions = in.Byte() % 6;
  const PluginEntryPoints device{&DevAbout, &DevWrite,   &DevWrite,  &DevRead,
                                 &DevInit,  &DevNothing, &DevNothing};
  for (unsigned i = 0; i < regions; ++i) {
    const uint32_t start = in.Word();
    // Mostly small regions; now and then one of 256 Mi words, which costs nothing until written.
    const uint8_t kind = in.Byte();
    const uint32_t size32 = kind & 0x80 ? 0x10000000u : in.Word() % 0x2000;
    const auto type = static_cast<RegionType>(kind % 3);
    PluginEntryPoints entry;
    if (type == RegionType::DLL) {
      entry = kind & 0x40 ? (kind & 0x20 ? Ticker<1>::Entry() : Ticker<0>::Entry()) : device;
    }
    p.AddRegion(start, size32, type, entry);
  }
  for (unsigned i = 0; i < 32; ++i) p.r[i] = in.Word();
  p.pc = in.Word();
  p.sp = in.Word();
  p.lfsr = in.Word();
  run.steps = in.Byte() * 4u;
  const uint8_t mode = in.Byte();
  run.onStall = mode & 4 ? Processor::OnStall::Stop : Processor::OnStall::Continue;
  run.breakpoints.clear();
  for (unsigned i = 0; i < (mode & 3u); ++i) {
    run.breakpoints.push_back(p.pc + static_cast<uint32_t>(static_cast<int8_t>(in.Byte())));
  }
  // Watches on the words the program's loads and stores are likely to reach: beside a
  // register's value, the stack's top, the code, or anywhere.
  run.watches.clear();
  run.limitOnAccess = (mode & 0x80) != 0;
  for (unsigned i = 0; i < ((mode >> 3) & 3u); ++i) {
    const uint8_t where = in.Byte();
    const uint8_t shape = in.Byte();
    const auto near = static_cast<uint32_t>(static_cast<int8_t>(shape & 0xF0) >> 4);
    uint32_t first = 0;
    switch (where % 4) {
      case 0: first = p.r[(where >> 2) % 32] + near; break;
      case 1: first = p.sp + near; break;
      case 2: first = p.pc + (where >> 2); break;
      default: first = in.Word(); break;
    }
    const uint32_t size = 1 + (shape & 3u) * (shape & 3u);
    const uint32_t last = first > UINT32_MAX - (size - 1) ? UINT32_MAX : first + (size - 1);
    const uint32_t kind = (shape >> 2) % 3;
    run.watches.push_back({first, last, kind != 0, kind != 1});
  }
  // The rest: words to place, each at pc plus a small offset or at a register's address.
  while (in.More()) {
    const uint8_t where = in.Byte();
    const uint32_t a = where < 128 ? p.pc + where : p.r[where % 32] + (where >> 5);
    p.WriteMem(a, in.Word());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Processor stepped;
  // The single steps clock every module every step; the batch clocks the tickers by catch-up.
  stepped.SetCatchUpClocking(false);
  RunRequest run;
  deviceReads = 0;
  ClearTickers();
  Build(stepped, data, size, run);
  const uint32_t startPc = stepped.pc;

  uint32_t steps = 0;
  auto atBreakpoint = [&]() {
    for (uint32_t a : run.breakpoints) {
      if (stepped.pc == a) return true;
    }
    return false;
  };
  // The word at pc without a module call: ROM and RAM from their storage, unmapped all ones;
  // nothing for a module's word, which the step's first module read gives.
  auto peek = [&](uint32_t a) -> std::optional<uint32_t> {
    for (const MemoryRegion& r : stepped.Regions()) {
      if (!r.Contains(a)) continue;
      if (r.type == RegionType::DLL) return std::nullopt;
      return r.storage.data()[a - r.start];
    }
    return 0xFFFFFFFFu;
  };
  std::optional<size_t> hitWatch;
  DataAccess hitAccess;
  uint32_t hitPc = 0;
  while (steps < run.steps) {
    const CpuState before = stepped;
    const std::optional<uint32_t> word = peek(stepped.pc);
    stepReads.clear();
    stepped.Step();
    ++steps;
    if (stepped.sr & ~0xFu) fuzz::Broken("sr bits beyond the flags");
    const DataAccess access = word                ? AccessOf(*word, before)
                              : stepReads.empty() ? DataAccess{}
                                                  : AccessOf(stepReads[0], before);
    for (size_t i = 0; i < run.watches.size() && access.any; ++i) {
      const Processor::Watch& w = run.watches[i];
      if (access.address >= w.first && access.address <= w.last &&
          (access.write ? w.onWrite : w.onRead)) {
        hitWatch = i;
        hitAccess = access;
        hitPc = before.pc;
        break;
      }
    }
    if (hitWatch) break;
    if (atBreakpoint()) break;
    if (run.onStall == Processor::OnStall::Stop && !stepped.pcChanged) break;
  }
  const uint32_t steppedReads = deviceReads;
  const std::vector<uint64_t> steppedLog = tickLog;
  const uint64_t steppedClocks[] = {Ticker<0>::clocks, Ticker<0>::phase, Ticker<0>::period,
                                    Ticker<1>::clocks, Ticker<1>::phase, Ticker<1>::period};

  // The batch runs on each engine in turn: the interpreter, and the translator (where the
  // build has it) translating every block at its first meeting.
  std::vector<jit::EngineKind> engines = {jit::EngineKind::Interpreter};
  if (jit::TranslatorAvailable()) engines.push_back(jit::EngineKind::Translator);
  for (const jit::EngineKind engine : engines) {
    Processor batched;
    deviceReads = 0;
    ClearTickers();
    Build(batched, data, size, run);
    jit::InstallEngine(batched, engine, {.hotAfter = 0});
    const uint32_t limit = hitWatch && run.limitOnAccess ? steps : run.steps;
    if (batched.RunBatch(limit, run.breakpoints, run.onStall, run.watches) != steps) {
      fuzz::Broken("batch and single steps run different numbers of cycles");
    }
    const std::optional<Processor::WatchHit>& hit = batched.LastWatchHit();
    if (hit.has_value() != hitWatch.has_value()) {
      fuzz::Broken("batch and single steps see different watched accesses");
    }
    if (hit && (hit->watch != *hitWatch || hit->address != hitAccess.address ||
                hit->write != hitAccess.write || hit->pc != hitPc)) {
      fuzz::Broken("batch names another watched access than single steps show");
    }

    const uint64_t batchedClocks[] = {Ticker<0>::clocks, Ticker<0>::phase, Ticker<0>::period,
                                      Ticker<1>::clocks, Ticker<1>::phase, Ticker<1>::period};
    if (deviceReads != steppedReads) fuzz::Broken("batch and single steps read the device apart");
    if (tickLog != steppedLog) fuzz::Broken("catch-up and every-step clocks log apart");
    if (!std::equal(std::begin(batchedClocks), std::end(batchedClocks), steppedClocks)) {
      fuzz::Broken("catch-up and every-step clocks leave the tickers apart");
    }
    if (!(static_cast<const CpuState&>(stepped) == static_cast<const CpuState&>(batched))) {
      fuzz::Broken("batch and single steps end in different registers");
    }
    if (steps > 0 &&
        (stepped.regChanged != batched.regChanged || stepped.pcChanged != batched.pcChanged ||
         stepped.srChanged != batched.srChanged || stepped.memWritten != batched.memWritten ||
         stepped.lastWriteAddress != batched.lastWriteAddress ||
         stepped.lfsrChanged != batched.lfsrChanged || stepped.spChanged != batched.spChanged ||
         stepped.imChanged != batched.imChanged || stepped.cChanged != batched.cChanged ||
         stepped.oChanged != batched.oChanged || stepped.nChanged != batched.nChanged ||
         stepped.zChanged != batched.zChanged)) {
      fuzz::Broken("batch and single steps end in different markers");
    }
    // Memory agrees too: at and before every breakpoint, where a batch keeps its traps, and where
    // the program's words are. Module words are left out: every read of them changes the next.
    auto servedByModule = [&](uint32_t a) {
      for (const MemoryRegion& r : stepped.Regions()) {
        if (r.Contains(a)) return r.type == RegionType::DLL;
      }
      return false;
    };
    std::vector<uint32_t> probes;
    for (uint32_t a : run.breakpoints) probes.insert(probes.end(), {a - 1, a});
    for (uint32_t d = 0; d < 256; ++d) probes.push_back(startPc + d);
    for (uint32_t a : probes) {
      if (!servedByModule(a) && stepped.ReadMem(a) != batched.ReadMem(a)) {
        fuzz::Broken("batch and single steps leave different memory");
      }
    }
  }
  // Unmapped words read as all ones: probe the gaps next to every region.
  for (const MemoryRegion& r : stepped.Regions()) {
    for (uint32_t a : {r.start - 1, r.start + r.size}) {
      bool mapped = false;
      for (const MemoryRegion& q : stepped.Regions()) mapped |= q.Contains(a);
      if (!mapped && stepped.ReadMem(a) != 0xFFFFFFFFu) fuzz::Broken("unmapped read not all ones");
    }
  }
  return 0;
}
