// Processor state, the step cycle with its change markers, the batched run, the memory bus and
// instruction execution. Kept in one unit so the hot path (fetch, decode, execute) inlines.
#include "Processor.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <utility>

// Forces the pieces of the cycle into the loops that run it.
#define TERVIK_HOT [[gnu::always_inline]] inline
#define TERVIK_LAMBDA __attribute__((always_inline))

namespace tervik {

Processor::Processor() {
  ResetBusCaches();
  Reset();
}

Processor::~Processor() {
  ClearRegions();
}

void Processor::Reset() {
  PayAll(clockNow_);
  pc = im = sr = sp = lfsr = 0;
  r.fill(0);
  for (const MemoryRegion& region : regions) {
    if (region.type == RegionType::DLL) region.entry.Reset();
  }
  for (uint32_t m = 0; m < modules_.size(); ++m) AskModule(m, clockNow_);
  NoteChange(RunTap::Change::Reset);
}

// ---- Catch-up clocking ----

namespace {

// The clock count at which a module that answered `answer` at clock count `now` needs its
// exact clock; UINT64_MAX for none.
uint64_t DueAfter(uint64_t now, uint32_t answer) {
  if (answer == TERVIK_PLUGIN_CLOCK_IDLE) return UINT64_MAX;
  return now + (answer == 0 ? 1u : answer);
}

}  // namespace

void Processor::SetCatchUpClocking(bool on) {
  catchUpOn_ = on;
  RebuildClocks();
}

void Processor::RebuildClocks() {
  // Every vector here has room for all DLL regions already (AddRegion reserves it), so nothing
  // allocates.
  stepsScratch_.clear();
  for (const MemoryRegion& region : regions) {
    if (region.type == RegionType::DLL && region.entry.ClockSteps != nullptr) {
      stepsScratch_.push_back(region.entry.ClockSteps);
    }
  }
  std::sort(stepsScratch_.begin(), stepsScratch_.end());
  clocks_.clear();
  modules_.clear();
  catchUpCount_ = 0;
  for (const MemoryRegion& region : regions) {
    if (region.type != RegionType::DLL) continue;
    TervikClockStepsFn steps = catchUpOn_ ? region.entry.ClockSteps : nullptr;
    // A module on two map lines shares its state between them: clocked every step instead.
    if (steps != nullptr) {
      const auto same = std::equal_range(stepsScratch_.begin(), stepsScratch_.end(), steps);
      if (same.second - same.first > 1) steps = nullptr;
    }
    modules_.push_back({region.entry.Clock, steps, clockNow_, UINT64_MAX});
    if (steps == nullptr) {
      clocks_.push_back(region.entry.Clock);
    } else {
      ++catchUpCount_;
    }
  }
  nextDue_ = UINT64_MAX;
  for (uint32_t m = 0; m < modules_.size(); ++m) AskModule(m, clockNow_);
  UpdateNextDue();
}

void Processor::UpdateNextDue() {
  uint64_t next = UINT64_MAX;
  for (const ModuleClock& m : modules_) {
    if (m.clockSteps != nullptr) next = std::min(next, m.due);
  }
  nextDue_ = next;
}

// Pays m up to clock count `now` and returns its new `due`; keeps nextDue_ exact.
TERVIK_HOT void Processor::PayClocks(ModuleClock& m, uint64_t now) {
  NoteCalling(static_cast<uint32_t>(&m - modules_.data()), Entry::ClockSteps);
  uint64_t owed = now - m.paid;
  uint32_t answer = TERVIK_PLUGIN_CLOCK_IDLE;
  while (owed != 0) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(owed, UINT32_MAX));
    answer = m.clockSteps(n);
    owed -= n;
  }
  m.paid = now;
  SetDue(m, DueAfter(now, answer));
}

TERVIK_HOT void Processor::SetDue(ModuleClock& m, uint64_t due) {
  const uint64_t old = m.due;
  m.due = due;
  if (due <= nextDue_) {
    nextDue_ = due;
  } else if (old == nextDue_) {
    UpdateNextDue();  // it may have been the earliest
  }
}

[[gnu::noinline]] void Processor::PayModule(uint32_t index, uint64_t now) {
  ModuleClock& m = modules_[index];
  // (`paid` can be ahead only after a plug-in threw through a batch.)
  if (m.clockSteps == nullptr || now <= m.paid) return;
  PayClocks(m, now);
}

[[gnu::noinline]] void Processor::AskModule(uint32_t index, uint64_t now) {
  ModuleClock& m = modules_[index];
  if (m.clockSteps == nullptr) return;
  NoteCalling(index, Entry::ClockSteps);
  SetDue(m, DueAfter(now, m.clockSteps(0)));
}

void Processor::SettleModule(uint32_t module) {
  if (module < modules_.size()) PayModule(module, clockNow_);
}

void Processor::ModuleChanged(uint32_t module) {
  if (module < modules_.size()) AskModule(module, clockNow_);
}

[[gnu::noinline]] void Processor::ClockInOrder(uint64_t now) {
  try {
    for (uint32_t i = 0; i < modules_.size(); ++i) {
      ModuleClock& m = modules_[i];
      if (m.clockSteps == nullptr) {
        NoteCalling(i, Entry::Clock);
        m.clock();
      } else if (m.due <= now && now > m.paid) {
        PayClocks(m, now);
      }
    }
  } catch (...) {
    NoteFault();
    throw;
  }
}

[[gnu::noinline]] uint32_t Processor::ReadModuleWord(const Segment& seg, uint32_t a, uint64_t now) {
  inAccess_ = true;
  try {
    PayModule(seg.module, now);
    NoteCalling(seg.module, Entry::ReadMem);
    const uint32_t value = seg.read(a - seg.regionStart);
    inAccess_ = false;
    return value;
  } catch (...) {
    NoteFault();
    throw;
  }
}

[[gnu::noinline]] void Processor::StoreModuleWord(const Segment& seg, uint32_t a, uint32_t value,
                                                  uint64_t now) {
  inAccess_ = true;
  try {
    PayModule(seg.module, now);
    NoteCalling(seg.module, Entry::CPUWriteMem);
    seg.cpuWrite(a - seg.regionStart, value);
    AskModule(seg.module, now);
    inAccess_ = false;
  } catch (...) {
    NoteFault();
    throw;
  }
}

void Processor::NoteClockThrow(size_t index) noexcept {
  // clocks_ holds the per-step modules' clocks in the order of modules_.
  for (uint32_t m = 0; m < modules_.size(); ++m) {
    if (modules_[m].clockSteps != nullptr) continue;
    if (index-- == 0) {
      NoteCalling(m, Entry::Clock);
      return;
    }
  }
}

void Processor::NoteFault() noexcept {
  static constexpr const char* kNames[] = {"Clock", "ClockSteps", "ReadMem", "CPUWriteMem"};
  fault_.reset();
  for (size_t i = 0; i < regions.size(); ++i) {
    if (regions[i].type == RegionType::DLL && regions[i].module == calling_.module) {
      fault_ = ModuleFault{i, kNames[static_cast<size_t>(calling_.entry)]};
      return;
    }
  }
}

void Processor::PayAll(uint64_t now) {
  if (catchUpCount_ != 0) [[unlikely]]
    PayEveryModule(now);
}

[[gnu::noinline]] void Processor::PayEveryModule(uint64_t now) {
  for (ModuleClock& m : modules_) {
    if (m.clockSteps == nullptr || now <= m.paid) continue;
    try {
      PayClocks(m, now);
    } catch (...) {
      NoteFault();
      throw;
    }
  }
}

TERVIK_HOT Processor::ArithResult Processor::AddWithFlags(uint32_t x, uint32_t y) {
  const uint32_t s = x + y;
  const bool x31 = x >> 31, y31 = y >> 31, s31 = s >> 31;
  return {s, (x31 && y31) || ((x31 || y31) && !s31), (x31 && y31 && !s31) || (!x31 && !y31 && s31)};
}

TERVIK_HOT Processor::ArithResult Processor::SubWithFlags(uint32_t x, uint32_t y) {
  const uint32_t d = x - y;
  const bool x31 = x >> 31, y31 = y >> 31, d31 = d >> 31;
  return {d, (!x31 && y31) || ((!x31 || y31) && d31),
          (x31 && !y31 && !d31) || (!x31 && y31 && d31)};
}

// ---- Memory bus ----

void Processor::ResetBusCaches() {
  fetch_ = data_ = SegmentCursor::At(routing_.First());
}

void Processor::AddRegion(uint32_t start, uint32_t size, RegionType type,
                          const PluginEntryPoints& entry) {
  MemoryRegion region;
  region.start = start;
  region.size = size;
  region.type = type;
  if (type == RegionType::DLL) {
    if (!entry.Complete()) throw std::invalid_argument("a DLL region needs all seven entry points");
    region.entry = entry;
  }
  // Words past 0xFFFFFFFF can never be addressed, so they get no storage. May throw
  // std::bad_alloc: nothing has changed yet.
  region.storage = WordStorage(
      static_cast<uint32_t>(std::min<uint64_t>(size, (uint64_t{1} << 32) - start)), start);

  if (type == RegionType::DLL) {
    // Room for the clocking of every DLL region, so that RebuildClocks cannot fail. May throw:
    // nothing changed yet.
    region.module = static_cast<uint32_t>(modules_.size());
    clocks_.reserve(modules_.size() + 1);
    modules_.reserve(modules_.size() + 1);
    stepsScratch_.reserve(modules_.size() + 1);
  }
  regions.reserve(regions.size() + 1);  // may throw: nothing changed yet
  regions.push_back(std::move(region));
  try {
    routing_.Add(regions.back());
  } catch (...) {
    regions.pop_back();  // the routing still describes the old list
    throw;
  }
  ResetBusCaches();
  if (type == RegionType::DLL) RebuildClocks();
  NoteChange(RunTap::Change::Regions);
}

void Processor::ZeroMemory() {
  // First the module calls, in the order word-by-word writes would make them.
  for (const MemoryRegion& region : regions) {
    if (region.type == RegionType::DLL || region.size == 0) continue;
    const uint64_t end = std::min<uint64_t>(uint64_t{region.start} + region.size, 1ull << 32);
    for (uint64_t a = region.start; a < end;) {
      const Segment& seg = routing_.Find(static_cast<uint32_t>(a));
      const uint64_t segEnd = std::min<uint64_t>(uint64_t{seg.lo} + seg.span + 1, end);
      if (seg.kind == Segment::Kind::DLL) {
        PayModule(seg.module, clockNow_);
        for (uint64_t b = a; b < segEnd; ++b) {
          seg.write(static_cast<uint32_t>(b) - seg.regionStart, 0);
        }
        AskModule(seg.module, clockNow_);
      }
      a = segEnd;
    }
  }
  // Then the words: a word a region holds but does not serve can never be read, so zeroing
  // every ROM and RAM array whole is the same as zeroing the words it serves.
  for (MemoryRegion& region : regions) {
    if (region.type != RegionType::DLL) region.storage.Zero();
  }
  NoteChange(RunTap::Change::Memory);
}

void Processor::ClearRegions() noexcept {
  routing_.Clear();
  ResetBusCaches();
  clocks_.clear();
  modules_.clear();
  catchUpCount_ = 0;
  nextDue_ = UINT64_MAX;
  regions.clear();
  NoteChange(RunTap::Change::Regions);
}

// ---- The instruction engine ----

// Runs cycles for one Processor. With kLocalState the registers are a local copy, which the
// compiler keeps in machine registers across the batch (nothing else can alias them: plug-ins
// have no access to the processor), and are written back at the end. Without it the engine
// works on the processor's own fields, as a single step does. Either way it tracks what the
// markers need: the one destination register written and whether a store happened. Only with
// kTraps do its loads and stores heed a batch's breakpoint traps (see Processor::Trap), so
// that the engines of other runs, of single steps and of the bus operations do without them.
template <bool kLocalState, bool kTraps>
class Engine {
 public:
  TERVIK_HOT explicit Engine(Processor& p)
      : p_(p),
        pc(p.pc),
        sr(p.sr),
        im(p.im),
        sp(p.sp),
        lfsr(p.lfsr),
        r(p.r),
        fetch_(p.fetch_),
        data_(p.data_),
        map_(p.routing_),
        clocksBegin_(p.clocks_.data()),
        clocksEnd_(p.clocks_.data() + p.clocks_.size()),
        clock0_(p.clocks_.size() > 0 ? p.clocks_[0] : nullptr),
        clock1_(p.clocks_.size() > 1 ? p.clocks_[1] : nullptr),
        now_(p.clockNow_),
        due_(p.nextDue_),
        lastWrite(p.lastWriteAddress) {}

  // Writes the registers and the bus caches back (when local), the address of the most recent
  // store of any cycle, and memWritten if the last cycle (or the single access) stored.
  TERVIK_HOT void Finish() {
    if constexpr (kLocalState) {
      p_.pc = pc;
      p_.sr = sr;
      p_.im = im;
      p_.sp = sp;
      p_.lfsr = lfsr;
      p_.r = r;
      p_.fetch_ = fetch_;
      p_.data_ = data_;
      p_.clockNow_ = now_;
    }
    p_.lastWriteAddress = lastWrite;
    if (memWritten) p_.memWritten = true;
  }

  // The register markers of the last cycle: only its destination register can differ.
  TERVIK_HOT void SetRegisterMarkers() const {
    p_.regChanged.fill(false);
    if (dest != kNoDest) p_.regChanged[dest] = r[dest] != destOld;
  }

  // kClocks is the number of peripheral clocks when it is 0, 1 or 2 and no module is clocked
  // by catch-up (their entry points then stay in machine registers across the batch),
  // kCatchUpClocks when every module is clocked by catch-up, or kAnyClocks to call the
  // per-step clocks from the list and heed the catch-up modules too.
  static constexpr int kAnyClocks = -1;
  static constexpr int kCatchUpClocks = -2;
  template <int kClocks = kAnyClocks>
  TERVIK_HOT void Cycle() {
    ClockAndAdvance<kClocks>();
    Execute(Fetch());
  }

  // The first half of a cycle: the peripherals' clocks and the shift register's advance.
  template <int kClocks = kAnyClocks>
  TERVIK_HOT void ClockAndAdvance() {
    dest = kNoDest;
    memWritten = false;
    if constexpr (kClocks == kCatchUpClocks) {
      // Only a count: the modules are paid when they are accessed or ask for this step.
      if (++now_ >= due_) [[unlikely]]
        ClockDue();
    } else if constexpr (kClocks == kAnyClocks) {
      if (++now_ >= due_) [[unlikely]] {
        ClockDue();
      } else {
        for (const TervikClockFn* c = clocksBegin_; c != clocksEnd_; ++c) {
          CallClock(*c, static_cast<size_t>(c - clocksBegin_));
        }
      }
    } else if constexpr (kClocks == 1) {
      CallClock(clock0_, 0);
    } else if constexpr (kClocks == 2) {
      CallClock(clock0_, 0);
      CallClock(clock1_, 1);
    }
    const uint32_t t = lfsr >> 31;
    lfsr = (lfsr << 1) ^ ((0u - t) & 0x80000063u);
  }

  // A per-step module's Clock, the index-th of the list. A throw, which costs nothing until it
  // happens, notes which module it came from.
  TERVIK_HOT void CallClock(TervikClockFn clock, size_t index) {
    try {
      clock();
    } catch (...) {
      p_.NoteClockThrow(index);
      p_.NoteFault();
      throw;
    }
  }

  // After a module threw in the middle of a cycle: the state that cycle started from, which is
  // the state after the last cycle that completed. A cycle writes no register, sr, im or sp
  // before its one module access (see NoteAccess), so only the shift register's advance (when
  // the throw came from that access rather than from the clock phase before it) and the clock
  // count are undone. No store of the cycle counts for the markers, and the cursors are whole
  // again for the operations that follow.
  template <int kClocks = kAnyClocks>
  TERVIK_HOT void Abandon() {
    if (p_.inAccess_) lfsr = LfsrBefore();
    p_.inAccess_ = false;
    if constexpr (kClocks == kAnyClocks || kClocks == kCatchUpClocks) --now_;
    memWritten = false;
    fetch_ = SegmentCursor::At(fetch_.seg);
    data_ = SegmentCursor::At(data_.seg);
  }

  // A clock phase at which a catch-up module asked for its exact clock: every module's clock in
  // region order, the due ones paid up to this step.
  void ClockDue() {
    p_.ClockInOrder(now_);
    due_ = p_.nextDue_;
  }

  TERVIK_HOT Processor::Before Snapshot() const { return {pc, sr, im, sp, lfsr}; }

  // The values the last cycle started from, rebuilt from its result, for a cycle whose
  // instruction moved only pc (see MovesOnlyPc): a branch, jump, call or return, NOP, or a word
  // not performed. None of them writes sr, im or lfsr, so only the shift register's
  // advance and the stack move of CALL and RET are undone; `at` is the address the cycle
  // started at.
  Processor::Before JumpCycleStart(uint32_t at) const {
    uint32_t spBefore = sp;
    const Opcode op = MovedOnlyPcOpcode(at);
    if (op == Opcode::CALL) spBefore = sp - 1;
    if (op == Opcode::RET) spBefore = sp + 1;
    return {at, sr, im, spBefore, LfsrBefore()};
  }

  // The shift register as it was before this cycle's advance, which feeds the outgoing top bit
  // into bit 0.
  uint32_t LfsrBefore() const {
    const uint32_t t = lfsr & 1u;
    return ((lfsr ^ ((0u - t) & 0x80000063u)) >> 1) | (t << 31);
  }

  // The opcode of the word that the last cycle, started at `at`, fetched and that moved only
  // pc, found again without keeping the word through the run. Of those words only CALL stores,
  // so one that stored is a CALL; otherwise the word is still in place, in ROM or RAM, read
  // without a module call, or it came from a module through the slow fetch, which remembers it.
  Opcode MovedOnlyPcOpcode(uint32_t at) const {
    if (memWritten) return Opcode::CALL;
    const Segment& seg = map_.Find(at);
    uint32_t word = 0xFFFFFFFFu;  // unmapped
    if (seg.kind == Segment::Kind::ROM || seg.kind == Segment::Kind::RAM) {
      word = seg.words[at - seg.lo];
    } else if (seg.kind == Segment::Kind::DLL) {
      word = lastSlowFetch_;
    }
    return Instruction{word}.opcode();
  }

  // Cycles until maxSteps ran, or pc lands on an address of `stops` (sorted, unique) after at
  // least one cycle, or (with kStopOnStall) a cycle leaves pc unchanged. Returns the values the
  // last cycle started from, for its change markers; `steps` counts the cycles. `traps` are
  // those RunBatch set for the stops (see Processor::Trap); they are lifted before it returns.
  //
  // Checking each pc against the stops, and saving each cycle's starting values in case it is
  // the last, would cost up to half the speed. Instead the fetch, which reads the word anyway,
  // compares it with kTrapWord, which memory holds at every stop in ROM or RAM and at every
  // word there before a stop that goes on to the next word. Only then is pc looked up, so code
  // around a breakpoint, a loop that ends right before it or jumps over it, runs as fast as
  // any other. A fetch from a module or an unmapped address looks pc up every time. A cycle
  // that ends on a stop address either ran the word before it, one that goes on to the next
  // word and so carried a trap or was looked up, and its starting values were saved then; or
  // it moved only pc, and its values are rebuilt from its result. A stall is such a cycle too,
  // and the last cycle the step count allows always saves them.
  //
  // A watched load or store records the hit and the values its cycle started from, and empties
  // the fetch cursor, so that the next fetch takes the slow path, which ends the run there.
  //
  // kStops is false only for a run that nothing but the step count can end.
  template <int kClocks, bool kStopOnStall, bool kStops>
  TERVIK_HOT Processor::Before Run(uint64_t maxSteps, std::span<const uint32_t> stops,
                                   std::span<Processor::Trap> traps) {
    Processor::Before before{};
    if constexpr (!kStops && !kStopOnStall) {
      // Nothing can end the run early.
      uint64_t n = 0;
      for (; n + 1 < maxSteps; ++n) Cycle<kClocks>();
      before = Snapshot();
      Cycle<kClocks>();
      steps = n + 1;
      return before;
    }
    auto isStop = [&](uint32_t a)
                      TERVIK_LAMBDA { return std::binary_search(stops.begin(), stops.end(), a); };
    UseTraps(traps);
    // Counts down the cycles still allowed before the last one, so that the loop keeps one
    // counter in a machine register rather than a count and its limit.
    uint64_t left = maxSteps - 1;
    // `left` at the start of the cycle whose starting values `before` holds; maxSteps: none.
    uint64_t saved = maxSteps;
    uint32_t at = pc;
    bool ended = false;
    for (; left != 0; --left) {
      if (!FetchHits() || (kStops && fetch_.words[pc - fetch_.lo] == Processor::kTrapWord))
          [[unlikely]] {
        if (kStops && hit_) {
          ended = true;  // the cycle before made a watched access
          break;
        }
        fetch_ = SegmentCursor::At(fetch_.seg->Contains(pc) ? fetch_.seg : &map_.Find(pc));
        const Processor::Trap* trap = nullptr;
        if (kStops && fetch_.words == nullptr) {
          // A module's word or an unmapped one: no trap marks it, so pc is looked up.
          if (left != maxSteps - 1 && isStop(pc)) {
            ended = true;  // the cycle before reached a stop address
            break;
          }
          if (isStop(pc + 1)) {
            before = Snapshot();
            saved = left;
          }
        } else if (kStops && fetch_.words[pc - fetch_.lo] == Processor::kTrapWord &&
                   (trap = FindTrap(traps, pc)) != nullptr && trap->set) {
          if (trap->stop && left != maxSteps - 1) {
            ended = true;  // the cycle before reached a stop address
            break;
          }
          if (trap->beforeStop) {
            before = Snapshot();
            saved = left;
          }
          fetch_.words = nullptr;  // this cycle's fetch takes the slow path to the trap's word
        }
      }
      at = pc;
      Cycle<kClocks>();
      if (kStopOnStall && pc == at) {  // a word that goes on to the next always moves pc
        --left;                        // counts this cycle
        ended = true;
        break;
      }
    }
    // The last cycle's fetch must find the program's word, so the traps go first; the watches
    // stay for its loads and stores.
    LiftTraps();
    uint64_t n = maxSteps - 1 - left;
    if (!ended && !hit_ && !(n != 0 && isStop(pc))) {
      before = Snapshot();
      saved = left;
      Cycle<kClocks>();
      ++n;
    }
    EndWatches();
    // The last cycle started with left == maxSteps - n.
    if (hit_) {
      before = hitBefore_;
    } else if (saved != maxSteps - n) {
      before = JumpCycleStart(at);
    }
    steps = n;
    return before;
  }

  // From here on, until LiftTraps, loads and stores see the words `traps` hold for their
  // addresses, and a store there keeps the trap in step with the word (see Processor::Trap);
  // until EndWatches, accesses to the addresses of the processor's watches are checked against
  // them. The data cursor starts empty, so that its first access narrows it.
  void UseTraps(std::span<Processor::Trap> traps) {
    traps_ = traps;
    fences_ = p_.fenceScratch_;
    watches_ = p_.watchScratch_;
    if (!traps_.empty() || !fences_.empty()) data_.words = data_.ram = nullptr;
  }

  // Puts the words back that the traps stand in for. The data cursor starts empty again while
  // watches remain, so that its next access narrows it around them alone.
  void LiftTraps() {
    p_.LiftTraps();
    traps_ = {};
    if (!fences_.empty()) data_.words = data_.ram = nullptr;
  }

  // Ends the watching; later accesses and fetches get whole segments again (a watched access
  // empties the fetch cursor).
  void EndWatches() {
    fences_ = {};
    watches_ = {};
    data_ = SegmentCursor::At(data_.seg);
    fetch_ = SegmentCursor::At(fetch_.seg);
  }

  // The trap at address a in `traps` (sorted by address), if there is one.
  static Processor::Trap* FindTrap(std::span<Processor::Trap> traps, uint32_t a) {
    const auto it = std::ranges::lower_bound(traps, a, {}, &Processor::Trap::address);
    return it != traps.end() && it->address == a ? &*it : nullptr;
  }

  // Points the data cursor at the segment of a, narrowed, while traps or watches are set, to
  // the stretch around a that holds no trap's address and no watched one, so that its fast
  // paths never meet either. Returns the trap at a, if there is one. At a trap or a watched
  // address no access hits the cursor until it moves on.
  Processor::Trap* AimData(uint32_t a) {
    if (traps_.empty() && fences_.empty()) {
      Aim(data_, a);
      return nullptr;
    }
    data_ = SegmentCursor::At(data_.seg->Contains(a) ? data_.seg : &map_.Find(a));
    if (data_.words == nullptr) return nullptr;  // a module's words are never on the fast path
    const auto next = std::ranges::upper_bound(traps_, a, {}, &Processor::Trap::address);
    if (next != traps_.begin() && next[-1].address == a) {
      data_.words = data_.ram = nullptr;
      return &next[-1];
    }
    const auto fence = std::ranges::upper_bound(fences_, a, {}, &Processor::Fence::first);
    if (fence != fences_.begin() && fence[-1].last >= a) {
      data_.words = data_.ram = nullptr;
      return nullptr;
    }
    uint32_t lo = data_.lo;
    uint32_t hi = data_.lo + data_.span;
    // No bound can pass a, which lies in the segment and has no trap and no watch.
    if (next != traps_.end() && next->address <= hi) hi = next->address - 1;
    if (next != traps_.begin() && next[-1].address >= lo) lo = next[-1].address + 1;
    if (fence != fences_.end() && fence->first <= hi) hi = fence->first - 1;
    if (fence != fences_.begin() && fence[-1].last >= lo) lo = fence[-1].last + 1;
    data_.words += lo - data_.lo;
    if (data_.ram != nullptr) data_.ram += lo - data_.lo;
    data_.lo = lo;
    data_.span = hi - lo;
    return nullptr;
  }

  // Whether the fetch at pc takes the fast path of Fetch.
  TERVIK_HOT bool FetchHits() const {
    return pc - fetch_.lo <= fetch_.span && fetch_.words != nullptr;
  }

  // Fetch and data accesses each remember the segment they last used, with its bounds and its
  // words held apart so a batch keeps them in machine registers. A hit in ROM or RAM is one
  // compare and one load; anything else takes the slower path.
  TERVIK_HOT uint32_t Fetch() {
    const uint32_t off = pc - fetch_.lo;
    if (off <= fetch_.span && fetch_.words != nullptr) [[likely]] {
      return fetch_.words[off];
    }
    lastSlowFetch_ = Load(fetch_, pc);
    return lastSlowFetch_;
  }

  TERVIK_HOT uint32_t Read(uint32_t a) {
    const uint32_t off = a - data_.lo;
    if (off <= data_.span && data_.words != nullptr) [[likely]] {
      return data_.words[off];
    }
    if constexpr (kTraps) return ReadFenced(a);
    return Load(data_, a);
  }

  // A load off the fast path while traps or watches are set: a trap's address gives the trap's
  // word, and a watched address is checked.
  [[gnu::noinline]] uint32_t ReadFenced(uint32_t a) {
    const Processor::Trap* trap = AimData(a);
    const uint32_t value = trap != nullptr ? trap->word : WordIn(*data_.seg, a);
    if (IsWatched(a)) [[unlikely]]
      NoteAccess(a, false, std::nullopt, value, false);
    return value;
  }

  // Whether a lies in a stretch some watch covers.
  bool IsWatched(uint32_t a) const {
    if (fences_.empty()) return false;
    const auto fence = std::ranges::upper_bound(fences_, a, {}, &Processor::Fence::first);
    return fence != fences_.begin() && fence[-1].last >= a;
  }

  // Records the first watched access of the run, with the values its cycle started from. Every
  // load or store happens before its instruction writes a register, sr, im or sp (RET and POP
  // read below sp before they lower it), so those are still the cycle's starting values; only
  // the shift register has advanced.
  [[gnu::noinline]] void NoteAccess(uint32_t a, bool write, std::optional<uint32_t> before,
                                    uint32_t value, bool dropped) {
    if (hit_) return;
    for (size_t i = 0; i < watches_.size(); ++i) {
      const Processor::Watch& w = watches_[i];
      if (a < w.first || a > w.last || !(write ? w.onWrite : w.onRead)) continue;
      hit_ = Processor::WatchHit{i, a, pc, write, before, value, dropped};
      hitBefore_ = {pc, sr, im, sp, LfsrBefore()};
      fetch_.words = nullptr;  // the next fetch takes the slow path, which ends the run
      return;
    }
  }

  const std::optional<Processor::WatchHit>& Hit() const { return hit_; }

  TERVIK_HOT void Store(uint32_t a, uint32_t value) {
    const uint32_t off = a - data_.lo;
    if (off <= data_.span && data_.ram != nullptr) [[likely]] {
      memWritten = true;
      lastWrite = a;
      data_.ram[off] = value;
      MarkWrittenAt(data_.written, a);  // the history compares only pages marked so
      return;
    }
    StoreSlow(a, value);
  }

  // The slower paths of loads and stores (StoreSlow, Load) are inlined where no traps are set,
  // as they are short then, and called where traps are set, so that they do not crowd the
  // batch loop that contains them.
  TERVIK_HOT void StoreSlow(uint32_t a, uint32_t value) {
    if constexpr (kTraps) {
      StoreAroundTraps(a, value);
    } else {
      Aim(data_, a);
      StoreTo(data_.seg, a, value, nullptr);
    }
  }

  [[gnu::noinline]] void StoreAroundTraps(uint32_t a, uint32_t value) {
    Processor::Trap* trap = AimData(a);
    if (IsWatched(a)) [[unlikely]] {
      // The word before the store, as a load would see it; a module's is not read.
      std::optional<uint32_t> before;
      if (trap != nullptr) {
        before = trap->word;
      } else if (data_.seg->kind != Segment::Kind::DLL) {
        before = WordIn(*data_.seg, a);
      }
      const bool dropped =
          data_.seg->kind == Segment::Kind::ROM || data_.seg->kind == Segment::Kind::Unmapped;
      StoreTo(data_.seg, a, value, trap);
      NoteAccess(a, true, before, value, dropped);
      return;
    }
    StoreTo(data_.seg, a, value, trap);
  }

  // An instruction's store into the segment `seg` that covers a; a trap at a takes the word.
  TERVIK_HOT void StoreTo(const Segment* seg, uint32_t a, uint32_t value, Processor::Trap* trap) {
    switch (seg->kind) {
      case Segment::Kind::RAM:
        memWritten = true;
        lastWrite = a;
        if (trap != nullptr) {
          trap->Store(value);
        } else {
          seg->words[a - seg->lo] = value;
        }
        MarkWrittenAt(seg->written, a);
        break;
      case Segment::Kind::DLL:
        // In a replay the module had this store when it was recorded: only the markers.
        if (tap_ == nullptr || !tap_->replaying) [[likely]]
          p_.StoreModuleWord(*seg, a, value, now_);
        memWritten = true;  // only once the module has taken the store
        lastWrite = a;
        due_ = p_.nextDue_;
        break;
      case Segment::Kind::ROM:
      case Segment::Kind::Unmapped: break;
    }
  }

  TERVIK_HOT void Write(unsigned rd, uint32_t value) {
    dest = rd;
    destOld = r[rd];
    r[rd] = value;
  }

  // Performs one instruction. The words that return early are those that move only pc (see
  // MovesOnlyPc); every other word goes on to the next.
  TERVIK_HOT void Execute(uint32_t word) {
    const Instruction in{word};
    // Operands are read where a case needs them, so the common cases stay in registers.
    auto A = [&]() TERVIK_LAMBDA { return r[in.ra()]; };
    auto B = [&]() TERVIK_LAMBDA { return r[in.rb()]; };
    const uint32_t simm = in.simm();

    // Register results with their flag effects.
    auto logic = [&](uint32_t v) TERVIK_LAMBDA {
      Write(in.rd(), v);
      sr = Processor::FlagsNZ(v);  // C = O = 0; bits 4..31 are always 0
    };
    auto arith = [&](Processor::ArithResult res) TERVIK_LAMBDA {
      Write(in.rd(), res.value);
      sr = Processor::FlagsNZ(res.value) | (res.carry ? Processor::kFlagC : 0u) |
           (res.overflow ? Processor::kFlagO : 0u);
    };
    auto branch = [&](bool taken, uint32_t target) TERVIK_LAMBDA { pc = taken ? target : pc + 1; };
    auto push = [&](uint32_t v) TERVIK_LAMBDA {
      Store(sp, v);
      ++sp;
    };

    switch (in.opcode()) {
      case Opcode::NOP: ++pc; return;
      case Opcode::OR: logic(A() | B()); break;
      case Opcode::XOR: logic(A() ^ B()); break;
      case Opcode::NOR: logic(~(A() | B())); break;
      case Opcode::AND: logic(A() & B()); break;
      case Opcode::ADD: arith(Processor::AddWithFlags(A(), B())); break;
      case Opcode::SUBB: arith(Processor::SubWithFlags(A(), B())); break;
      case Opcode::NOT: logic(~B()); break;
      case Opcode::ROR: logic(std::rotr(A(), static_cast<int>(B() & 7))); break;
      case Opcode::SLL: logic(A() << (B() & 7)); break;
      case Opcode::SRL: logic(A() >> (B() & 7)); break;
      case Opcode::SRA: logic(static_cast<uint32_t>(static_cast<int32_t>(A()) >> (B() & 7))); break;
      case Opcode::BZE: branch(A() == 0, pc + B()); return;
      case Opcode::BNZE: branch(A() != 0, pc + B()); return;
      case Opcode::BNE: branch((A() >> 31) != 0, pc + B()); return;
      case Opcode::JUMP: pc += B(); return;
      case Opcode::BrZE: branch(A() == 0, B()); return;
      case Opcode::BrNZE: branch(A() != 0, B()); return;
      case Opcode::JUMPr: pc = B(); return;
      case Opcode::LOAD: Write(in.rd(), Read(A() + B())); break;
      case Opcode::STORE: Store(A(), B()); break;
      case Opcode::CALL:
        push(pc + 1);
        pc = B();
        return;
      case Opcode::RETI: return;
      case Opcode::BrNE: branch((A() >> 31) != 0, B()); return;
      case Opcode::RET:
        pc = Read(sp - 1);  // read before sp moves: a watch sees the cycle's starting sp
        --sp;
        return;
      case Opcode::PUSH: push(B()); break;
      case Opcode::POP:
        Write(in.rd(), Read(sp - 1));
        --sp;
        break;
      case Opcode::MOVE: logic(B()); break;
      case Opcode::BITSET: logic(A() | (1u << (B() & 31))); break;
      case Opcode::BITCLEAR: Write(in.rd(), A() & ~(1u << (B() & 31))); break;
      case Opcode::RANDOMSET: lfsr = B(); break;
      case Opcode::RANDOMIZE: logic(lfsr); break;
      case Opcode::ORI: logic(A() | simm); break;
      case Opcode::XORI: logic(A() ^ simm); break;
      case Opcode::NORI: logic(~(A() | simm)); break;
      case Opcode::ANDI: logic(A() & simm); break;
      case Opcode::ADDI: arith(Processor::AddWithFlags(A(), simm)); break;
      case Opcode::SUBBI: arith(Processor::SubWithFlags(A(), simm)); break;
      case Opcode::NOTI:
        Write(in.rd(), ~simm);
        sr = (sr & Processor::kFlagC) | Processor::FlagsNZ(~simm);
        break;
      case Opcode::RORI: logic(std::rotr(A(), static_cast<int>(simm & 7))); break;
      case Opcode::SLLI: logic(A() << (simm & 7)); break;
      case Opcode::SRLI: logic(A() >> (simm & 7)); break;
      case Opcode::SRAI:
        logic(static_cast<uint32_t>(static_cast<int32_t>(A()) >> (simm & 7)));
        break;
      case Opcode::BZEI: branch(A() == 0, pc + simm); return;
      case Opcode::BNZEI: branch(A() != 0, pc + simm); return;
      case Opcode::BNEI: branch((A() >> 31) != 0, pc + simm); return;
      case Opcode::JUMPI: pc += simm; return;
      case Opcode::BrZEI: branch(A() == 0, simm); return;
      case Opcode::BrNZEI: branch(A() != 0, simm); return;
      case Opcode::JUMPrI: pc = simm; return;
      case Opcode::LOADI: Write(in.rd(), Read(A() + simm)); break;
      case Opcode::STOREI: Store(A(), simm); break;
      case Opcode::BrNEI: branch((A() >> 31) != 0, simm); return;
      case Opcode::PUSHI: push(simm); break;
      case Opcode::MOVEI:
        switch (in.sub()) {
          case MoveiSub::MOVEL: logic(simm); break;
          case MoveiSub::SETMASK:
            im = simm;
            sr = Processor::FlagsNZ(simm);
            break;
          case MoveiSub::MVSPL:
            sp = simm;
            sr = Processor::FlagsNZ(simm);
            break;
          case MoveiSub::MVNZCOU:
            // Rd gets sr as it was; then C and O clear and N, Z follow the remaining N, Z bits,
            // which leaves only Z, set exactly when N and Z were both clear.
            Write(in.rd(), sr);
            sr = Processor::FlagsNZ(sr & (Processor::kFlagN | Processor::kFlagZ));
            break;
          case MoveiSub::MOVEH: logic(in.imm16() << 16); break;
          case MoveiSub::MVSPH:
            sp = in.imm16() << 16;
            sr = Processor::FlagsNZ(sp);
            break;
          case MoveiSub::Invalid3:
          case MoveiSub::Invalid5:
          case MoveiSub::Invalid6:
          case MoveiSub::Invalid7:
          case MoveiSub::Invalid9:
          case MoveiSub::Invalid11:
          case MoveiSub::Invalid12:
          case MoveiSub::Invalid13:
          case MoveiSub::Invalid14:
          case MoveiSub::Invalid15: return;  // not performed: pc stays
        }
        break;
      case Opcode::BITSETI: logic(A() | (1u << in.bit())); break;
      case Opcode::BITCLEARI: logic(A() & ~(1u << in.bit())); break;
      case Opcode::RANDOMSETI: lfsr = simm; break;
      case Opcode::Undefined32:
      case Opcode::Undefined53:
      case Opcode::Undefined54:
      case Opcode::Undefined56:
      case Opcode::Undefined58:
      case Opcode::Undefined63: return;  // not performed: pc stays
    }
    ++pc;
  }

 private:
  static constexpr unsigned kNoDest = 32;

  // Points the cursor at the segment of address a.
  void Aim(SegmentCursor& c, uint32_t a) {
    if (!c.seg->Contains(a)) c = SegmentCursor::At(&map_.Find(a));
  }

  // The data cursor's fields may describe only part of its segment (see AimData), so this path
  // reads through the segment itself; a trap's address gives the trap's word.
  TERVIK_HOT uint32_t Load(SegmentCursor& c, uint32_t a) {
    if constexpr (kTraps) return LoadAroundTraps(c, a);
    Aim(c, a);
    return WordIn(*c.seg, a);
  }

  [[gnu::noinline]] uint32_t LoadAroundTraps(SegmentCursor& c, uint32_t a) {
    Aim(c, a);
    if (c.seg->words != nullptr) {
      if (const Processor::Trap* trap = FindTrap(traps_, a)) return trap->word;
    }
    return WordIn(*c.seg, a);
  }

  // The word at a in the segment `seg` that covers it.
  TERVIK_HOT uint32_t WordIn(const Segment& seg, uint32_t a) {
    switch (seg.kind) {
      case Segment::Kind::ROM:
      case Segment::Kind::RAM: return seg.words[a - seg.lo];
      case Segment::Kind::DLL: return ReadModule(seg, a);
      case Segment::Kind::Unmapped: break;
    }
    return 0xFFFFFFFFu;
  }

  // A read of a module's word, its owed clocks paid first.
  uint32_t ReadModule(const Segment& seg, uint32_t a) {
    if (tap_ != nullptr) [[unlikely]]
      return ReadTapped(seg, a);
    const uint32_t value = p_.ReadModuleWord(seg, a, now_);
    due_ = p_.nextDue_;
    return value;
  }

  // A cycle's read of a module's word while a recorder watches: replayed, or read and recorded.
  [[gnu::noinline]] uint32_t ReadTapped(const Segment& seg, uint32_t a) {
    if (tap_->replaying) return tap_->Replay(a);
    const uint32_t value = p_.ReadModuleWord(seg, a, now_);
    due_ = p_.nextDue_;
    tap_->Record(a, value);
    return value;
  }

 public:
  // The recorder a Step or batch reports module reads to; none for the bus operations.
  void UseTap(RunTap* tap) { tap_ = tap; }

 private:
  Processor& p_;

 public:
  // The registers: copies in a batch, the processor's own fields otherwise.
  template <class T>
  using Field = std::conditional_t<kLocalState, T, T&>;
  Field<uint32_t> pc, sr, im, sp, lfsr;
  Field<std::array<uint32_t, 32>> r;

 private:
  // Copies in a batch, the processor's own otherwise.
  Field<SegmentCursor> fetch_;
  Field<SegmentCursor> data_;
  const AddressMap& map_;
  const TervikClockFn* clocksBegin_;
  const TervikClockFn* clocksEnd_;
  TervikClockFn clock0_;  // the first two clocks, for the batches that call them directly
  TervikClockFn clock1_;
  Field<uint64_t> now_;  // the clock count: clock phases run
  uint64_t due_;         // the processor's nextDue_, refreshed after every module call
  unsigned dest = kNoDest;
  uint32_t destOld = 0;
  uint32_t lastSlowFetch_ = 0;        // the word the last fetch outside ROM and RAM returned
  std::span<Processor::Trap> traps_;  // while a batch has them set, sorted by address
  std::span<const Processor::Fence> fences_;  // while a batch watches, sorted
  std::span<const Processor::Watch> watches_;
  std::optional<Processor::WatchHit> hit_;  // the watched access that ends the run
  Processor::Before hitBefore_{};           // the values its cycle started from
  RunTap* tap_ = nullptr;

 public:
  uint64_t steps = 0;

 private:
  bool memWritten = false;
  uint32_t lastWrite;
};

// ---- The cycle ----

// Markers by value: pc, sr, im, sp, lfsr and the one destination register are all that a cycle
// can change, so comparing those with their values before the cycle is exact.
TERVIK_HOT void Processor::SetMarkers(const Before& before) {
  pcChanged = pc != before.pc;
  srChanged = sr != before.sr;
  const uint32_t flags = sr ^ before.sr;
  nChanged = (flags & kFlagN) != 0;
  zChanged = (flags & kFlagZ) != 0;
  cChanged = (flags & kFlagC) != 0;
  oChanged = (flags & kFlagO) != 0;
  imChanged = im != before.im;
  spChanged = sp != before.sp;
  lfsrChanged = lfsr != before.lfsr;
}

void Processor::Step() {
  if (tap_ != nullptr) tap_->BeforeRun(1);
  const Before before{pc, sr, im, sp, lfsr};
  Engine<false, false> e(*this);
  e.UseTap(tap_);
  try {
    if (tap_ != nullptr && tap_->replaying) {
      e.template Cycle<0>();  // no module is clocked in a replay
    } else {
      e.Cycle();
    }
  } catch (...) {
    e.Abandon();  // a module threw: back to the state before the cycle
    throw;
  }
  memWritten = false;
  e.Finish();
  PayAll(clockNow_);
  e.SetRegisterMarkers();
  SetMarkers(before);
  if (tap_ != nullptr) tap_->Ran(1);
}

void Processor::ClockPeripherals() {
  Engine<false, false> e(*this);
  e.ClockAndAdvance();
  PayAll(clockNow_);
}

void Processor::Execute(uint32_t word) {
  Engine<false, false> e(*this);
  try {
    e.Execute(word);
  } catch (...) {
    inAccess_ = false;
    throw;
  }
  e.Finish();
}

void Processor::SetBatchEngine(std::unique_ptr<BatchEngine> engine) {
  engine_ = std::move(engine);
}

uint64_t Processor::RunBatch(uint64_t maxSteps, std::span<const uint32_t> breakpoints,
                             OnStall onStall, std::span<const Watch> watches) {
  if (tap_ == nullptr) {
    if (engine_ != nullptr)
      return engine_->RunBatch(*this, maxSteps, breakpoints, onStall, watches);
    return RunInterpreted(maxSteps, breakpoints, onStall, watches);
  }
  // With a recorder, the batch runs in the slices it allows; a slice that ends where the whole
  // batch would not have stopped goes on with the next. A recording slice may run on the batch
  // engine: it leaves every module access to the interpreter, whose access path hands the value
  // read to the recorder, and marks the pages it writes as the interpreter does. A replay stays
  // interpreted: it takes module values from the record and calls no module.
  uint64_t total = 0;
  while (total < maxSteps) {
    const uint64_t limit = tap_->BeforeRun(maxSteps - total);
    uint64_t ran = 0;
    if (engine_ != nullptr && !tap_->replaying) {
      watchHit_.reset();  // the engine may run the slice without the interpreter
      ran = engine_->RunBatch(*this, limit, breakpoints, onStall, watches);
    } else {
      ran = RunInterpreted(limit, breakpoints, onStall, watches);
    }
    tap_->Ran(ran);
    total += ran;
    if (ran < limit || ran == 0 || watchHit_) break;
    if (std::find(breakpoints.begin(), breakpoints.end(), pc) != breakpoints.end()) break;
    if (onStall == OnStall::Stop && !pcChanged) break;
  }
  return total;
}

uint64_t Processor::RunInterpreted(uint64_t maxSteps, std::span<const uint32_t> breakpoints,
                                   OnStall onStall, std::span<const Watch> watches) {
  watchHit_.reset();
  if (maxSteps == 0) return 0;
  SetWatches(watches);
  breakpointScratch_.assign(breakpoints.begin(), breakpoints.end());
  std::sort(breakpointScratch_.begin(), breakpointScratch_.end());
  breakpointScratch_.erase(std::unique(breakpointScratch_.begin(), breakpointScratch_.end()),
                           breakpointScratch_.end());
  SetTraps();
  // Lifts the traps also if a plug-in's entry point throws through the run.
  struct Lift {
    Processor& p;
    ~Lift() { p.LiftTraps(); }
  } lift{*this};
  fault_.reset();
  inAccess_ = false;
  // A run that stops on a stall takes the loop that checks for stops whether or not there are
  // any: with none, that check costs nothing.
  if (onStall == OnStall::Stop) return RunWith<true, true>(maxSteps);
  return breakpoints.empty() && watches.empty() ? RunWith<false, false>(maxSteps)
                                                : RunWith<false, true>(maxSteps);
}

void Processor::SetWatches(std::span<const Watch> watches) {
  watchScratch_.assign(watches.begin(), watches.end());
  fenceScratch_.clear();
  for (Watch& w : watchScratch_) {
    if (w.first > w.last) std::swap(w.first, w.last);
    fenceScratch_.push_back({w.first, w.last});
  }
  std::sort(fenceScratch_.begin(), fenceScratch_.end(),
            [](const Fence& x, const Fence& y) { return x.first < y.first; });
  // Overlapping or adjacent stretches become one.
  auto out = fenceScratch_.begin();
  for (auto it = fenceScratch_.begin(); it != fenceScratch_.end(); ++it) {
    if (out != fenceScratch_.begin() &&
        (out[-1].last == UINT32_MAX || it->first <= out[-1].last + 1)) {
      out[-1].last = std::max(out[-1].last, it->last);
    } else {
      *out++ = *it;
    }
  }
  fenceScratch_.erase(out, fenceScratch_.end());
}

void Processor::SetTraps() {
  trapScratch_.clear();
  auto add = [this](uint32_t a, bool stop) {
    const Segment& seg = routing_.Find(a);
    if (seg.words == nullptr) return;  // a module's or unmapped word: the run looks pc up
    trapScratch_.push_back({a, 0, &seg.words[a - seg.lo], stop, !stop, false});
  };
  for (uint32_t a : breakpointScratch_) {
    add(a - 1, false);
    add(a, true);
  }
  std::sort(trapScratch_.begin(), trapScratch_.end(),
            [](const Trap& x, const Trap& y) { return x.address < y.address; });
  // A word that is both a stop and the word before one keeps one trap with both roles.
  auto out = trapScratch_.begin();
  for (auto it = trapScratch_.begin(); it != trapScratch_.end(); ++it) {
    if (out != trapScratch_.begin() && out[-1].address == it->address) {
      out[-1].stop |= it->stop;
      out[-1].beforeStop |= it->beforeStop;
    } else {
      *out++ = *it;
    }
  }
  trapScratch_.erase(out, trapScratch_.end());
  for (Trap& trap : trapScratch_) trap.Store(*trap.cell);
}

void Processor::LiftTraps() noexcept {
  for (Trap& trap : trapScratch_) {
    if (trap.set) *trap.cell = trap.word;
    trap.set = false;
  }
}

// One compiled loop per case, each a function of its own so that it is laid out as if it were
// alone: the batches with no, one or two peripherals, whose Clock entry points then stay in
// machine registers, and with any number. A run that stops on a stall (the headless runner)
// is mostly without peripherals, so it has only the first and the last.
template <bool kStopOnStall, bool kStops>
uint64_t Processor::RunWith(uint64_t maxSteps) {
  constexpr int kAny = Engine<true, false>::kAnyClocks;
  // A replay calls no module: it runs as if none were clocked.
  if (tap_ != nullptr && tap_->replaying) return RunEngine<kStopOnStall, kStops, 0>(maxSteps);
  if (catchUpCount_ != 0) {
    if (clocks_.empty()) {
      return RunEngine<kStopOnStall, kStops, Engine<true, false>::kCatchUpClocks>(maxSteps);
    }
    return RunEngine<kStopOnStall, kStops, kAny>(maxSteps);
  }
  switch (clocks_.size()) {
    case 0: return RunEngine<kStopOnStall, kStops, 0>(maxSteps);
    case 1:
      if constexpr (!kStopOnStall) return RunEngine<kStopOnStall, kStops, 1>(maxSteps);
      break;
    case 2:
      if constexpr (!kStopOnStall) return RunEngine<kStopOnStall, kStops, 2>(maxSteps);
      break;
    default: break;
  }
  return RunEngine<kStopOnStall, kStops, kAny>(maxSteps);
}

template <bool kStopOnStall, bool kStops, int kClocks>
[[gnu::noinline]] uint64_t Processor::RunEngine(uint64_t maxSteps) {
  // Only a run that a breakpoint can end has traps to heed: the others compile without them.
  Engine<true, kStops> e(*this);
  e.UseTap(tap_);
  Before before;
  if constexpr (kClocks == 0) {
    // No module is mapped, so nothing can throw: the loop is left without a handler, which
    // would keep some of its state out of machine registers.
    before =
        e.template Run<kClocks, kStopOnStall, kStops>(maxSteps, breakpointScratch_, trapScratch_);
  } else {
    try {
      before =
          e.template Run<kClocks, kStopOnStall, kStops>(maxSteps, breakpointScratch_, trapScratch_);
    } catch (...) {
      // A module threw: the processor keeps the state after the last cycle that completed.
      e.template Abandon<kClocks>();
      e.Finish();
      throw;
    }
  }
  if constexpr (kStops) watchHit_ = e.Hit();
  // The markers describe the last cycle only; earlier cycles' markers were never observable.
  memWritten = false;
  e.Finish();
  PayAll(clockNow_);
  e.SetRegisterMarkers();
  SetMarkers(before);
  return e.steps;
}

uint32_t Processor::ReadMem(uint32_t a) {
  Engine<false, false> e(*this);
  uint32_t v = 0;
  try {
    v = e.Read(a);
  } catch (...) {
    inAccess_ = false;  // outside a cycle: nothing to undo
    throw;
  }
  e.Finish();
  return v;
}

void Processor::CpuWriteMem(uint32_t a, uint32_t value) {
  Engine<false, false> e(*this);
  try {
    e.Store(a, value);
  } catch (...) {
    inAccess_ = false;
    throw;
  }
  e.Finish();
  NoteChange(RunTap::Change::Write);
}

void Processor::WriteMem(uint32_t a, uint32_t value) {
  NoteChange(RunTap::Change::Write);
  const Segment& seg = routing_.Find(a);
  switch (seg.kind) {
    case Segment::Kind::ROM:
    case Segment::Kind::RAM:
      seg.words[a - seg.lo] = value;
      MarkWrittenAt(seg.written, a);
      break;
    case Segment::Kind::DLL:
      PayModule(seg.module, clockNow_);
      seg.write(a - seg.regionStart, value);
      AskModule(seg.module, clockNow_);
      break;
    case Segment::Kind::Unmapped: break;
  }
}

}  // namespace tervik
