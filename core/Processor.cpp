// Processor state, the step cycle with its change markers, the batched run, the memory bus and
// instruction execution. Kept in one unit so the hot path (fetch, decode, execute) inlines.
#include "Processor.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <utility>

namespace tervik {

Processor::Processor() {
  routing_.Clear();
  fetchSeg_ = dataSeg_ = routing_.First();
  Reset();
}

Processor::~Processor() { ClearRegions(); }

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

// ---- The cycle ----

// Markers by value: pc, sr, im, sp, lfsr and the one destination register are all that a cycle
// can change, so comparing those with their values before the cycle is exact. memWritten is
// cleared at the start of the cycle and set by the store itself.
void Processor::SetMarkers(const Before& before) {
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
  regChanged.fill(false);
  if (destIndex_ != kNoDest) regChanged[destIndex_] = r[destIndex_] != destOld_;
}

inline void Processor::Cycle() {
  destIndex_ = kNoDest;
  memWritten = false;
  ClockPeripherals();
  Execute(Fetch());
}

void Processor::Step() {
  const Before before{pc, sr, im, sp, lfsr};
  Cycle();
  SetMarkers(before);
}

uint64_t Processor::RunBatch(uint64_t maxSteps, std::span<const uint32_t> breakpoints) {
  if (maxSteps == 0) return 0;
  Before before{};
  uint64_t n = 0;
  if (breakpoints.empty()) {
    do {
      before = {pc, sr, im, sp, lfsr};
      Cycle();
    } while (++n < maxSteps);
  } else {
    breakpointScratch_.assign(breakpoints.begin(), breakpoints.end());
    std::sort(breakpointScratch_.begin(), breakpointScratch_.end());
    breakpointScratch_.erase(std::unique(breakpointScratch_.begin(), breakpointScratch_.end()),
                             breakpointScratch_.end());
    const uint32_t* first = breakpointScratch_.data();
    const uint32_t* last = first + breakpointScratch_.size();
    const bool linear = breakpointScratch_.size() <= 8;
    auto hit = [&](uint32_t a) {
      return linear ? std::find(first, last, a) != last : std::binary_search(first, last, a);
    };
    do {
      before = {pc, sr, im, sp, lfsr};
      Cycle();
    } while (++n < maxSteps && !hit(pc));
  }
  // The markers describe the last cycle only; earlier cycles' markers were never observable.
  SetMarkers(before);
  return n;
}

// ---- Memory bus ----

void Processor::ResetBusCaches() {
  fetchSeg_ = dataSeg_ = routing_.First();
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
  region.storage = WordStorage(size);  // may throw std::bad_alloc: nothing changed yet

  std::vector<TervikClockFn> clocks = clocks_;
  if (type == RegionType::DLL) clocks.push_back(entry.Clock);
  regions.reserve(regions.size() + 1);  // may throw: nothing changed yet
  regions.push_back(std::move(region));
  try {
    routing_.Rebuild(regions);
  } catch (...) {
    regions.pop_back();  // the routing still describes the old list
    throw;
  }
  clocks_.swap(clocks);
  ResetBusCaches();
}

void Processor::ClearRegions() noexcept {
  routing_.Clear();
  ResetBusCaches();
  clocks_.clear();
  regions.clear();
}

inline uint32_t Processor::Fetch() {
  const Segment* s = fetchSeg_;
  if (!s->Contains(pc)) [[unlikely]] {
    s = fetchSeg_ = &routing_.Find(pc);
  }
  switch (s->kind) {
    case Segment::Kind::ROM:
    case Segment::Kind::RAM: return s->words[pc - s->lo];
    case Segment::Kind::DLL: return s->read(pc - s->regionStart);
    case Segment::Kind::Unmapped: break;
  }
  return 0xFFFFFFFFu;
}

inline uint32_t Processor::BusRead(uint32_t a) {
  const Segment* s = dataSeg_;
  if (!s->Contains(a)) [[unlikely]] {
    s = dataSeg_ = &routing_.Find(a);
  }
  switch (s->kind) {
    case Segment::Kind::ROM:
    case Segment::Kind::RAM: return s->words[a - s->lo];
    case Segment::Kind::DLL: return s->read(a - s->regionStart);
    case Segment::Kind::Unmapped: break;
  }
  return 0xFFFFFFFFu;
}

inline void Processor::BusStore(uint32_t a, uint32_t value) {
  const Segment* s = dataSeg_;
  if (!s->Contains(a)) [[unlikely]] {
    s = dataSeg_ = &routing_.Find(a);
  }
  switch (s->kind) {
    case Segment::Kind::RAM:
      memWritten = true;
      lastWriteAddress = a;
      s->words[a - s->lo] = value;
      break;
    case Segment::Kind::DLL:
      memWritten = true;
      lastWriteAddress = a;
      s->cpuWrite(a - s->regionStart, value);
      break;
    case Segment::Kind::ROM:
    case Segment::Kind::Unmapped: break;
  }
}

uint32_t Processor::ReadMem(uint32_t a) { return BusRead(a); }

void Processor::CpuWriteMem(uint32_t a, uint32_t value) { BusStore(a, value); }

void Processor::WriteMem(uint32_t a, uint32_t value) {
  const Segment& s = routing_.Find(a);
  switch (s.kind) {
    case Segment::Kind::ROM:
    case Segment::Kind::RAM: s.words[a - s.lo] = value; break;
    case Segment::Kind::DLL: s.write(a - s.regionStart, value); break;
    case Segment::Kind::Unmapped: break;
  }
}

// ---- Instruction execution ----

Processor::ArithResult Processor::AddWithFlags(uint32_t x, uint32_t y) {
  const uint32_t s = x + y;
  const bool x31 = x >> 31, y31 = y >> 31, s31 = s >> 31;
  return {s, (x31 && y31) || ((x31 || y31) && !s31), (x31 && y31 && !s31) || (!x31 && !y31 && s31)};
}

Processor::ArithResult Processor::SubWithFlags(uint32_t x, uint32_t y) {
  const uint32_t d = x - y;
  const bool x31 = x >> 31, y31 = y >> 31, d31 = d >> 31;
  return {d, (!x31 && y31) || ((!x31 || y31) && d31), (x31 && !y31 && !d31) || (!x31 && y31 && d31)};
}

void Processor::Execute(uint32_t word) {
  const Instruction in{word};
  const unsigned rd = in.rd();
  const uint32_t a = r[in.ra()];
  const uint32_t b = r[in.rb()];
  const uint32_t simm = in.simm();
  const uint32_t next = pc + 1;

  // Register results with their flag effects.
  auto logic = [&](uint32_t v) {
    WriteDest(rd, v);
    sr = FlagsNZ(v);  // C = O = 0; bits 4..31 are always 0
  };
  auto arith = [&](ArithResult res) {
    WriteDest(rd, res.value);
    sr = FlagsNZ(res.value) | (res.carry ? kFlagC : 0u) | (res.overflow ? kFlagO : 0u);
  };
  auto branch = [&](bool taken, uint32_t target) { pc = taken ? target : next; };
  auto push = [&](uint32_t v) {
    BusStore(sp, v);
    ++sp;
  };

  switch (in.opcode()) {
    case Opcode::NOP: pc = next; return;
    case Opcode::OR: logic(a | b); break;
    case Opcode::XOR: logic(a ^ b); break;
    case Opcode::NOR: logic(~(a | b)); break;
    case Opcode::AND: logic(a & b); break;
    case Opcode::ADD: arith(AddWithFlags(a, b)); break;
    case Opcode::SUBB: arith(SubWithFlags(a, b)); break;
    case Opcode::NOT: logic(~b); break;
    case Opcode::ROR: logic(std::rotr(a, static_cast<int>(b & 7))); break;
    case Opcode::SLL: logic(a << (b & 7)); break;
    case Opcode::SRL: logic(a >> (b & 7)); break;
    case Opcode::SRA: logic(static_cast<uint32_t>(static_cast<int32_t>(a) >> (b & 7))); break;
    case Opcode::BZE: branch(a == 0, pc + b); return;
    case Opcode::BNZE: branch(a != 0, pc + b); return;
    case Opcode::BNE: branch((a >> 31) != 0, pc + b); return;
    case Opcode::JUMP: pc += b; return;
    case Opcode::BrZE: branch(a == 0, b); return;
    case Opcode::BrNZE: branch(a != 0, b); return;
    case Opcode::JUMPr: pc = b; return;
    case Opcode::LOAD: WriteDest(rd, BusRead(a + b)); break;
    case Opcode::STORE: BusStore(a, b); break;
    case Opcode::CALL:
      push(next);
      pc = b;
      return;
    case Opcode::RETI: return;
    case Opcode::BrNE: branch((a >> 31) != 0, b); return;
    case Opcode::RET:
      --sp;
      pc = BusRead(sp);
      return;
    case Opcode::PUSH: push(b); break;
    case Opcode::POP:
      --sp;
      WriteDest(rd, BusRead(sp));
      break;
    case Opcode::MOVE: logic(b); break;
    case Opcode::BITSET: logic(a | (1u << (b & 31))); break;
    case Opcode::BITCLEAR: WriteDest(rd, a & ~(1u << (b & 31))); break;
    case Opcode::RANDOMSET: lfsr = b; break;
    case Opcode::RANDOMIZE: logic(lfsr); break;
    case Opcode::ORI: logic(a | simm); break;
    case Opcode::XORI: logic(a ^ simm); break;
    case Opcode::NORI: logic(~(a | simm)); break;
    case Opcode::ANDI: logic(a & simm); break;
    case Opcode::ADDI: arith(AddWithFlags(a, simm)); break;
    case Opcode::SUBBI: arith(SubWithFlags(a, simm)); break;
    case Opcode::NOTI:
      WriteDest(rd, ~simm);
      sr = (sr & kFlagC) | FlagsNZ(~simm);
      break;
    case Opcode::RORI: logic(std::rotr(a, static_cast<int>(simm & 7))); break;
    case Opcode::SLLI: logic(a << (simm & 7)); break;
    case Opcode::SRLI: logic(a >> (simm & 7)); break;
    case Opcode::SRAI: logic(static_cast<uint32_t>(static_cast<int32_t>(a) >> (simm & 7))); break;
    case Opcode::BZEI: branch(a == 0, pc + simm); return;
    case Opcode::BNZEI: branch(a != 0, pc + simm); return;
    case Opcode::BNEI: branch((a >> 31) != 0, pc + simm); return;
    case Opcode::JUMPI: pc += simm; return;
    case Opcode::BrZEI: branch(a == 0, simm); return;
    case Opcode::BrNZEI: branch(a != 0, simm); return;
    case Opcode::JUMPrI: pc = simm; return;
    case Opcode::LOADI: WriteDest(rd, BusRead(a + simm)); break;
    case Opcode::STOREI: BusStore(a, simm); break;
    case Opcode::BrNEI: branch((a >> 31) != 0, simm); return;
    case Opcode::PUSHI: push(simm); break;
    case Opcode::MOVEI:
      switch (in.sub()) {
        case MoveiSub::MOVEL: logic(simm); break;
        case MoveiSub::SETMASK:
          im = simm;
          sr = FlagsNZ(simm);
          break;
        case MoveiSub::MVSPL:
          sp = simm;
          sr = FlagsNZ(simm);
          break;
        case MoveiSub::MVNZCOU:
          // Rd gets sr as it was; then C and O clear and N, Z follow the remaining N, Z bits,
          // which leaves only Z, set exactly when N and Z were both clear.
          WriteDest(rd, sr);
          sr = FlagsNZ(sr & (kFlagN | kFlagZ));
          break;
        case MoveiSub::MOVEH: logic(in.imm16() << 16); break;
        case MoveiSub::MVSPH:
          sp = in.imm16() << 16;
          sr = FlagsNZ(sp);
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
    case Opcode::BITSETI: logic(a | (1u << in.bit())); break;
    case Opcode::BITCLEARI: logic(a & ~(1u << in.bit())); break;
    case Opcode::RANDOMSETI: lfsr = simm; break;
    case Opcode::Undefined32:
    case Opcode::Undefined53:
    case Opcode::Undefined54:
    case Opcode::Undefined56:
    case Opcode::Undefined58:
    case Opcode::Undefined63: return;  // not performed: pc stays
  }
  pc = next;
}

}  // namespace tervik
