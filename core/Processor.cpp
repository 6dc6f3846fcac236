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
  pc = im = sr = sp = lfsr = 0;
  r.fill(0);
  for (const MemoryRegion& region : regions) {
    if (region.type == RegionType::DLL) region.entry.Reset();
  }
}

void Processor::ClockPeripherals() {
  for (TervikClockFn clock : clocks_) clock();
  AdvanceLfsr();
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

// Whether a plug-in entry point is a function that returns at once. Calling it or not is then
// the same, and a peripheral without a clocked behaviour costs nothing per cycle. Recognises
// the forms compilers emit on x86-64: "ret", "rep ret", and "endbr64; ret".
static bool ReturnsAtOnce(TervikClockFn fn) {
#if defined(__x86_64__)
  const auto* code = reinterpret_cast<const unsigned char*>(fn);
  if (code[0] == 0xC3) return true;
  if (code[0] == 0xF3 && code[1] == 0xC3) return true;
  return code[0] == 0xF3 && code[1] == 0x0F && code[2] == 0x1E && code[3] == 0xFA &&
         code[4] == 0xC3;
#else
  (void)fn;
  return false;
#endif
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
  region.storage =
      WordStorage(static_cast<uint32_t>(std::min<uint64_t>(size, (uint64_t{1} << 32) - start)));

  std::vector<TervikClockFn> clocks = clocks_;
  if (type == RegionType::DLL && !ReturnsAtOnce(entry.Clock)) clocks.push_back(entry.Clock);
  regions.reserve(regions.size() + 1);  // may throw: nothing changed yet
  regions.push_back(std::move(region));
  try {
    routing_.Add(regions.back());
  } catch (...) {
    regions.pop_back();  // the routing still describes the old list
    throw;
  }
  clocks_.swap(clocks);
  ResetBusCaches();
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
        for (uint64_t b = a; b < segEnd; ++b) {
          seg.write(static_cast<uint32_t>(b) - seg.regionStart, 0);
        }
      }
      a = segEnd;
    }
  }
  // Then the words: a word a region holds but does not serve can never be read, so zeroing
  // every ROM and RAM array whole is the same as zeroing the words it serves.
  for (MemoryRegion& region : regions) {
    if (region.type != RegionType::DLL) region.storage.Zero();
  }
}

void Processor::ClearRegions() noexcept {
  routing_.Clear();
  ResetBusCaches();
  clocks_.clear();
  regions.clear();
}

// ---- The instruction engine ----

// Runs cycles for one Processor. With kLocalState the registers are a local copy, which the
// compiler keeps in machine registers across the batch (nothing else can alias them: plug-ins
// have no access to the processor), and are written back at the end. Without it the engine
// works on the processor's own fields, as a single step does. Either way it tracks what the
// markers need: the one destination register written and whether a store happened.
template <bool kLocalState>
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
    }
    p_.lastWriteAddress = lastWrite;
    if (memWritten) p_.memWritten = true;
  }

  // The register markers of the last cycle: only its destination register can differ.
  TERVIK_HOT void SetRegisterMarkers() const {
    p_.regChanged.fill(false);
    if (dest != kNoDest) p_.regChanged[dest] = r[dest] != destOld;
  }

  // kClocks is the number of peripheral clocks when it is 0, 1 or 2 (their entry points then
  // stay in machine registers across the batch), or kAnyClocks to call them from the list.
  static constexpr int kAnyClocks = -1;
  template <int kClocks = kAnyClocks>
  TERVIK_HOT void Cycle() {
    CycleWord<kClocks>();
  }

  // A cycle that returns the word it executed.
  template <int kClocks = kAnyClocks>
  TERVIK_HOT uint32_t CycleWord() {
    dest = kNoDest;
    memWritten = false;
    if constexpr (kClocks == 1) {
      clock0_();
    } else if constexpr (kClocks == 2) {
      clock0_();
      clock1_();
    } else if constexpr (kClocks == kAnyClocks) {
      for (const TervikClockFn* c = clocksBegin_; c != clocksEnd_; ++c) (*c)();
    }
    const uint32_t t = lfsr >> 31;
    lfsr = (lfsr << 1) ^ ((0u - t) & 0x80000063u);
    const uint32_t word = Fetch();
    Execute(word);
    return word;
  }

  // The values a cycle started from, rebuilt from its result and its word, for a cycle whose
  // instruction left pc anywhere but at the next word: a branch, jump, call or return, or a word
  // not performed (RETI, undefined, invalid MOVEI), which leaves pc in place. None of them
  // writes sr, im or lfsr, so only the shift register's advance and the stack move of CALL and
  // RET are undone; `at` is the address the cycle started at.
  TERVIK_HOT Processor::Before JumpCycleStart(uint32_t word, uint32_t at) const {
    const uint32_t t = lfsr & 1u;  // the advance feeds the outgoing top bit into bit 0
    const uint32_t lfsrBefore = ((lfsr ^ ((0u - t) & 0x80000063u)) >> 1) | (t << 31);
    uint32_t spBefore = sp;
    const Opcode op = Instruction{word}.opcode();
    if (op == Opcode::CALL) spBefore = sp - 1;
    if (op == Opcode::RET) spBefore = sp + 1;
    return {at, sr, im, spBefore, lfsrBefore};
  }

  // Cycles until maxSteps ran or pc lands on one of the sorted breakpoints [first, last), and
  // with kStopOnStall also after a cycle that left pc unchanged. Returns the values the last
  // cycle started from; `steps` counts the cycles.
  template <int kClocks, bool kStopOnStall>
  TERVIK_HOT Processor::Before Run(uint64_t maxSteps, const uint32_t* first, const uint32_t* last) {
    Processor::Before before{};
    uint64_t n = 0;
    // True when the cycle just run ends the batch (besides the step count).
    auto stalled = [&]() TERVIK_LAMBDA { return kStopOnStall && pc == before.pc; };
    if (first == last && !kStopOnStall) {
      // Nothing can end the run early, so only the last cycle needs its starting values.
      for (; n + 1 < maxSteps; ++n) Cycle<kClocks>();
      before = {pc, sr, im, sp, lfsr};
      Cycle<kClocks>();
      ++n;
    } else if (first == last) {
      // Only pc is remembered per cycle, which keeps this loop nearly as fast as the plain one;
      // a cycle that left pc in place has its starting values rebuilt afterwards.
      uint32_t word = 0;
      bool stall = false;
      for (; n + 1 < maxSteps; ++n) {
        const uint32_t at = pc;
        word = CycleWord<kClocks>();
        if (pc == at) {
          stall = true;
          break;
        }
      }
      if (stall) {
        before = JumpCycleStart(word, pc);
      } else {
        before = {pc, sr, im, sp, lfsr};
        Cycle<kClocks>();
      }
      ++n;
    } else if (last - first == 1) {
      // One address (a run to a given address). A cycle that ends on the address either ran
      // the word just before it, whose starting values are saved when it comes up, or jumped
      // there, and then they are rebuilt like those of a stall; the last cycle allowed saves
      // them too. So the other cycles, nearly all, save nothing.
      const uint32_t stop = *first;
      uint32_t word = 0;
      uint32_t at = 0;
      bool saved = false;
      bool ended = false;
      while (n + 1 < maxSteps) {
        at = pc;
        saved = at + 1 == stop;
        if (saved) [[unlikely]] {
          before = {pc, sr, im, sp, lfsr};
        }
        word = CycleWord<kClocks>();
        ++n;
        if (pc == stop || (kStopOnStall && pc == at)) {
          ended = true;
          break;
        }
      }
      if (!ended) {
        before = {pc, sr, im, sp, lfsr};
        Cycle<kClocks>();
        ++n;
      } else if (!saved) {
        before = JumpCycleStart(word, at);
      }
    } else if (last - first <= 8) {
      do {
        before = {pc, sr, im, sp, lfsr};
        Cycle<kClocks>();
      } while (++n < maxSteps && !stalled() && std::find(first, last, pc) == last);
    } else {
      do {
        before = {pc, sr, im, sp, lfsr};
        Cycle<kClocks>();
      } while (++n < maxSteps && !stalled() && !std::binary_search(first, last, pc));
    }
    steps = n;
    return before;
  }

  // Fetch and data accesses each remember the segment they last used, with its bounds and its
  // words held apart so a batch keeps them in machine registers. A hit in ROM or RAM is one
  // compare and one load; anything else takes the slower path.
  TERVIK_HOT uint32_t Fetch() {
    const uint32_t off = pc - fetch_.lo;
    if (off <= fetch_.span && fetch_.words != nullptr) [[likely]] {
      return fetch_.words[off];
    }
    return Load(fetch_, pc);
  }

  TERVIK_HOT uint32_t Read(uint32_t a) {
    const uint32_t off = a - data_.lo;
    if (off <= data_.span && data_.words != nullptr) [[likely]] {
      return data_.words[off];
    }
    return Load(data_, a);
  }

  TERVIK_HOT void Store(uint32_t a, uint32_t value) {
    const uint32_t off = a - data_.lo;
    if (off <= data_.span && data_.ram != nullptr) [[likely]] {
      memWritten = true;
      lastWrite = a;
      data_.ram[off] = value;
      return;
    }
    StoreSlow(a, value);
  }

  void StoreSlow(uint32_t a, uint32_t value) {
    Aim(data_, a);
    switch (data_.seg->kind) {
      case Segment::Kind::RAM:
        memWritten = true;
        lastWrite = a;
        data_.ram[a - data_.lo] = value;
        break;
      case Segment::Kind::DLL:
        memWritten = true;
        lastWrite = a;
        data_.seg->cpuWrite(a - data_.seg->regionStart, value);
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
        --sp;
        pc = Read(sp);
        return;
      case Opcode::PUSH: push(B()); break;
      case Opcode::POP:
        --sp;
        Write(in.rd(), Read(sp));
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

  uint32_t Load(SegmentCursor& c, uint32_t a) {
    Aim(c, a);
    switch (c.seg->kind) {
      case Segment::Kind::ROM:
      case Segment::Kind::RAM: return c.words[a - c.lo];
      case Segment::Kind::DLL: return c.seg->read(a - c.seg->regionStart);
      case Segment::Kind::Unmapped: break;
    }
    return 0xFFFFFFFFu;
  }

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
  unsigned dest = kNoDest;
  uint32_t destOld = 0;

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
  const Before before{pc, sr, im, sp, lfsr};
  Engine<false> e(*this);
  e.Cycle();
  memWritten = false;
  e.Finish();
  e.SetRegisterMarkers();
  SetMarkers(before);
}

void Processor::Execute(uint32_t word) {
  Engine<false> e(*this);
  e.Execute(word);
  e.Finish();
}

uint64_t Processor::RunBatch(uint64_t maxSteps, std::span<const uint32_t> breakpoints,
                             OnStall onStall) {
  if (maxSteps == 0) return 0;
  const uint32_t* first = nullptr;
  const uint32_t* last = nullptr;
  if (!breakpoints.empty()) {
    breakpointScratch_.assign(breakpoints.begin(), breakpoints.end());
    std::sort(breakpointScratch_.begin(), breakpointScratch_.end());
    breakpointScratch_.erase(std::unique(breakpointScratch_.begin(), breakpointScratch_.end()),
                             breakpointScratch_.end());
    first = breakpointScratch_.data();
    last = first + breakpointScratch_.size();
  }
  // One compiled loop per case, each a function of its own so that it is laid out as if it
  // were alone: the plain batch, and the batches with one or two peripherals whose Clock entry
  // points then stay in machine registers.
  const size_t clocks = clocks_.size();
  if (onStall == OnStall::Stop) {
    return clocks == 0 ? RunEngine<true, 0>(maxSteps, first, last)
                       : RunEngine<true, Engine<true>::kAnyClocks>(maxSteps, first, last);
  }
  switch (clocks) {
    case 0: return RunEngine<false, 0>(maxSteps, first, last);
    case 1: return RunEngine<false, 1>(maxSteps, first, last);
    case 2: return RunEngine<false, 2>(maxSteps, first, last);
    default: return RunEngine<false, Engine<true>::kAnyClocks>(maxSteps, first, last);
  }
}

// Each variant is a function of its own, so the plain batch compiles exactly as it would alone.
template <bool kStopOnStall, int kClocks>
[[gnu::noinline]] uint64_t Processor::RunEngine(uint64_t maxSteps, const uint32_t* first,
                                                const uint32_t* last) {
  Engine<true> e(*this);
  const Before before = e.Run<kClocks, kStopOnStall>(maxSteps, first, last);
  // The markers describe the last cycle only; earlier cycles' markers were never observable.
  memWritten = false;
  e.Finish();
  e.SetRegisterMarkers();
  SetMarkers(before);
  return e.steps;
}

uint32_t Processor::ReadMem(uint32_t a) {
  Engine<false> e(*this);
  const uint32_t v = e.Read(a);
  e.Finish();
  return v;
}

void Processor::CpuWriteMem(uint32_t a, uint32_t value) {
  Engine<false> e(*this);
  e.Store(a, value);
  e.Finish();
}

void Processor::WriteMem(uint32_t a, uint32_t value) {
  const Segment& seg = routing_.Find(a);
  switch (seg.kind) {
    case Segment::Kind::ROM:
    case Segment::Kind::RAM: seg.words[a - seg.lo] = value; break;
    case Segment::Kind::DLL: seg.write(a - seg.regionStart, value); break;
    case Segment::Kind::Unmapped: break;
  }
}

}  // namespace tervik
