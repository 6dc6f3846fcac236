// The x86-64 code of translated blocks, emitted with xbyak.
//
// Register use while translated code runs: rbx the Context, rbp the cycles still allowed, r12d
// the flags (RawFlags), eax, ecx, edx and edi scratch, and r13d, r14d, r15d, r8d-r11d and esi
// the block's most used Tervik registers, loaded when the block starts and written back at
// every exit. The shift register and the clock count are left alone: the engine advances them
// by the number of cycles run.
#include "BlockCompiler.h"

#include <xbyak/xbyak.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "Instruction.h"

namespace tervik::jit {

namespace {

using namespace Xbyak::util;
using Xbyak::Label;
using Xbyak::Reg32;

constexpr int Off(size_t offset) {
  return static_cast<int>(offset);
}
#define CTX(field) Off(offsetof(Context, field))

uint32_t Simm(uint32_t word) {
  return Instruction{word}.simm();
}

// Where the flags of a value's N and Z, with C and O clear, sit in RawFlags.
constexpr uint32_t RawNZ(uint32_t v) {
  return RawFlags((v >> 31) | (v == 0 ? 2u : 0u));
}

enum class Kind : uint8_t { Plain, FlagWriter, FlagReaderWriter };

// How a translatable word touches the flags.
Kind FlagKind(uint32_t word) {
  switch (Instruction{word}.opcode()) {
    case Opcode::OR:
    case Opcode::XOR:
    case Opcode::NOR:
    case Opcode::AND:
    case Opcode::ADD:
    case Opcode::SUBB:
    case Opcode::NOT:
    case Opcode::ROR:
    case Opcode::SLL:
    case Opcode::SRL:
    case Opcode::SRA:
    case Opcode::MOVE:
    case Opcode::BITSET:
    case Opcode::ORI:
    case Opcode::XORI:
    case Opcode::NORI:
    case Opcode::ANDI:
    case Opcode::ADDI:
    case Opcode::SUBBI:
    case Opcode::RORI:
    case Opcode::SLLI:
    case Opcode::SRLI:
    case Opcode::SRAI:
    case Opcode::BITSETI:
    case Opcode::BITCLEARI:
    case Opcode::MOVEI: return Kind::FlagWriter;
    case Opcode::NOTI: return Kind::FlagReaderWriter;  // keeps C
    default: return Kind::Plain;
  }
}

// Whether translated code may leave the block before performing the word (its access misses
// a window, or its target is looked at).
bool MayExit(uint32_t word) {
  switch (Instruction{word}.opcode()) {
    case Opcode::LOAD:
    case Opcode::LOADI:
    case Opcode::STORE:
    case Opcode::STOREI:
    case Opcode::PUSH:
    case Opcode::PUSHI:
    case Opcode::POP:
    case Opcode::CALL:
    case Opcode::RET:
    case Opcode::BZE:
    case Opcode::BNZE:
    case Opcode::BNE:
    case Opcode::JUMP:
    case Opcode::BrZE:
    case Opcode::BrNZE:
    case Opcode::JUMPr:
    case Opcode::BrNE: return true;
    default: return false;
  }
}

// The Tervik registers a word reads or writes, as a bit mask.
uint32_t RegistersOf(uint32_t word) {
  const Instruction in{word};
  const uint32_t d = 1u << in.rd(), a = 1u << in.ra(), b = 1u << in.rb();
  switch (in.opcode()) {
    case Opcode::OR:
    case Opcode::XOR:
    case Opcode::NOR:
    case Opcode::AND:
    case Opcode::ADD:
    case Opcode::SUBB:
    case Opcode::ROR:
    case Opcode::SLL:
    case Opcode::SRL:
    case Opcode::SRA:
    case Opcode::LOAD:
    case Opcode::BITSET:
    case Opcode::BITCLEAR: return d | a | b;
    case Opcode::NOT:
    case Opcode::MOVE: return d | b;
    case Opcode::BZE:
    case Opcode::BNZE:
    case Opcode::BNE:
    case Opcode::BrZE:
    case Opcode::BrNZE:
    case Opcode::BrNE:
    case Opcode::STORE: return a | b;
    case Opcode::JUMP:
    case Opcode::JUMPr:
    case Opcode::CALL:
    case Opcode::PUSH: return b;
    case Opcode::POP: return d;
    case Opcode::ORI:
    case Opcode::XORI:
    case Opcode::NORI:
    case Opcode::ANDI:
    case Opcode::ADDI:
    case Opcode::SUBBI:
    case Opcode::RORI:
    case Opcode::SLLI:
    case Opcode::SRLI:
    case Opcode::SRAI:
    case Opcode::LOADI:
    case Opcode::BITSETI:
    case Opcode::BITCLEARI: return d | a;
    case Opcode::NOTI: return d;
    case Opcode::BZEI:
    case Opcode::BNZEI:
    case Opcode::BNEI:
    case Opcode::BrZEI:
    case Opcode::BrNZEI:
    case Opcode::BrNEI:
    case Opcode::STOREI: return a;
    case Opcode::MOVEI: return in.sub() == MoveiSub::MOVEL || in.sub() == MoveiSub::MOVEH ? d : 0u;
    default: return 0;
  }
}

// The registers a word writes.
uint32_t WrittenBy(uint32_t word) {
  const Instruction in{word};
  switch (FlagKind(word)) {
    case Kind::FlagWriter:
      if (in.opcode() == Opcode::MOVEI) return RegistersOf(word);
      return 1u << in.rd();
    case Kind::FlagReaderWriter: return 1u << in.rd();
    case Kind::Plain: break;
  }
  switch (in.opcode()) {
    case Opcode::LOAD:
    case Opcode::LOADI:
    case Opcode::POP:
    case Opcode::BITCLEAR: return 1u << in.rd();
    default: return 0;
  }
}

}  // namespace

bool Translatable(uint32_t word) {
  if (!IsDefinedInstruction(word)) return false;
  const Instruction in{word};
  switch (in.opcode()) {
    case Opcode::RETI:
    case Opcode::RANDOMSET:
    case Opcode::RANDOMIZE:
    case Opcode::RANDOMSETI: return false;
    case Opcode::MOVEI: return in.sub() != MoveiSub::MVNZCOU;
    default: return true;
  }
}

bool EndsBlock(uint32_t word) {
  return MovesOnlyPc(word) && Instruction{word}.opcode() != Opcode::NOP;
}

bool FixedTargetOf(uint32_t word, uint32_t at, FixedTarget& out) {
  const uint32_t simm = Simm(word);
  switch (Instruction{word}.opcode()) {
    case Opcode::BZEI:
    case Opcode::BNZEI:
    case Opcode::BNEI: out = {at + simm, true}; return true;
    case Opcode::JUMPI: out = {at + simm, false}; return true;
    case Opcode::BrZEI:
    case Opcode::BrNZEI:
    case Opcode::BrNEI: out = {simm, true}; return true;
    case Opcode::JUMPrI: out = {simm, false}; return true;
    default: return false;
  }
}

class BlockCompiler::Emitter : public Xbyak::CodeGenerator {
 public:
  explicit Emitter(size_t bytes) : Xbyak::CodeGenerator(bytes), bytes_(bytes) { EmitStubs(); }

  using EntryFn = Exit (*)(Context*, const uint8_t*);
  EntryFn entry = nullptr;
  const uint8_t* exit = nullptr;  // saves rbp and r12d, returns eax

  void Restart() {
    reset();
    EmitStubs();
  }

  // Space a block of `words` words may need at most.
  static size_t Worst(size_t words) { return 4096 + words * 640; }
  bool Room(size_t words) const { return getSize() + Worst(words) < bytes_; }

  void Block(uint32_t start, std::span<const uint32_t> words, const CompileEnv& env,
             CompiledBlock& out);

 private:
  void EmitStubs() {
    align(16);
    entry = getCurr<EntryFn>();
    push(rbx);
    push(rbp);
    push(r12);
    push(r13);
    push(r14);
    push(r15);
    sub(rsp, 8);
    mov(rbx, rdi);
    mov(rbp, qword[rbx + CTX(left)]);
    mov(r12d, dword[rbx + CTX(flags)]);
    jmp(rsi);
    align(16);
    exit = getCurr();
    mov(qword[rbx + CTX(left)], rbp);
    mov(dword[rbx + CTX(flags)], r12d);
    add(rsp, 8);
    pop(r15);
    pop(r14);
    pop(r13);
    pop(r12);
    pop(rbp);
    pop(rbx);
    ret();
  }

  // ---- Per block ----

  // A way out before the word at index `at` (its address start + at), for the interpreter.
  struct SideExit {
    Label label;
    uint32_t index;
    Fault fault;  // with the address in ecx
  };
  struct DirectExit {
    Label code;
    Label slot;
    Label unlinked;
    uint32_t target;
  };

  static constexpr std::array<int, 8> kHostIdx = {13, 14, 15, 8, 9, 10, 11, 6};  // r13d.. esi

  Reg32 Host(unsigned slot) const { return Reg32(kHostIdx[slot]); }
  int Cached(unsigned g) const { return cache_[g]; }

  void Get(const Reg32& dst, unsigned g) {
    if (cache_[g] >= 0) {
      mov(dst, Host(static_cast<unsigned>(cache_[g])));
    } else {
      mov(dst, dword[rbx + Off(4 * g)]);
    }
  }
  void Put(unsigned g, const Reg32& src) {
    if (cache_[g] >= 0) {
      mov(Host(static_cast<unsigned>(cache_[g])), src);
    } else {
      mov(dword[rbx + Off(4 * g)], src);
    }
  }
  void PutImm(unsigned g, uint32_t v) {
    if (cache_[g] >= 0) {
      mov(Host(static_cast<unsigned>(cache_[g])), v);
    } else {
      mov(dword[rbx + Off(4 * g)], v);
    }
  }
  void LoadCached() {
    for (unsigned g = 0; g < 32; ++g) {
      if (cache_[g] >= 0) mov(Host(static_cast<unsigned>(cache_[g])), dword[rbx + Off(4 * g)]);
    }
  }
  void WriteBack() {
    for (unsigned g = 0; g < 32; ++g) {
      if (cache_[g] >= 0 && ((written_ >> g) & 1u) != 0) {
        mov(dword[rbx + Off(4 * g)], Host(static_cast<unsigned>(cache_[g])));
      }
    }
  }

  // The flags from the host's after an operation whose SF, ZF, CF and OF are the word's N, Z,
  // C and O. eax is clobbered.
  void CaptureFlags() {
    if (!live_) return;
    lahf();
    seto(al);
    movzx(r12d, ax);
  }
  void ConstFlags(uint32_t raw) {
    if (live_) mov(r12d, raw);
  }

  Label& Side(Fault fault) {
    sides_.push_back(std::make_unique<SideExit>());
    sides_.back()->index = index_;
    sides_.back()->fault = fault;
    return sides_.back()->label;
  }

  // Loads the word at ecx into edx; leaves at the miss.
  void Load() {
    Label& miss = Side(Fault::Load);
    mov(eax, ecx);
    sub(eax, dword[rbx + CTX(loadLo)]);
    cmp(eax, dword[rbx + CTX(loadSize)]);
    jae(miss, T_NEAR);
    mov(rdx, qword[rbx + CTX(loadWords)]);
    mov(edx, dword[rdx + rax * 4]);
  }
  // Checks that ecx is in the store window, leaving at the miss; rdx + rax * 4 is the word.
  void AimStore() {
    Label& miss = Side(Fault::Store);
    mov(eax, ecx);
    sub(eax, dword[rbx + CTX(storeLo)]);
    cmp(eax, dword[rbx + CTX(storeSize)]);
    jae(miss, T_NEAR);
    mov(rdx, qword[rbx + CTX(storeWords)]);
  }
  void StoreEdi() {
    AimStore();
    mov(dword[rdx + rax * 4], edi);
    mov(dword[rbx + CTX(lastWrite)], ecx);
  }

  // Leaves before the word when a target in `reg` cannot be taken here: the word itself (the
  // interpreter may stop on the standstill) or a possible breakpoint.
  void CheckTarget(const Reg32& reg) {
    Label& out = Side(Fault::None);
    cmp(reg, at_);
    je(out, T_NEAR);
    if (!breakpoints_.empty()) {
      mov(edx, reg);
      and_(edx, 4095);
      shr(edx, 3);
      mov(rax, qword[rbx + CTX(breakpointMap)]);
      movzx(eax, byte[rax + rdx]);
      mov(edx, reg);
      and_(edx, 7);
      bt(eax, edx);
      jc(out, T_NEAR);
    }
  }

  // A jump whose target is in `reg` (already checked).
  void ExitTo(const Reg32& reg) {
    WriteBack();
    mov(dword[rbx + CTX(pc)], reg);
    mov(qword[rbx + CTX(exitSlot)], 0);
    mov(eax, static_cast<uint32_t>(Exit::Dispatch));
    jmp(exit, T_NEAR);
  }
  // A jump to a fixed target: back to the body when it is the block's own start.
  void ExitTo(uint32_t target) {
    if (target == start_) {
      sub(rbp, len_);
      jb(*loopBudget_, T_NEAR);
      jmp(*body_, T_NEAR);
      loops_ = true;
      return;
    }
    WriteBack();
    mov(dword[rbx + CTX(pc)], target);
    directs_.push_back(std::make_unique<DirectExit>());
    DirectExit& d = *directs_.back();
    d.target = target;
    jmp(qword[rip + d.slot]);
  }

  void Instruction1(uint32_t word);
  void Branch(uint32_t word);

  size_t bytes_;
  uint32_t start_ = 0;
  uint32_t len_ = 0;
  uint32_t index_ = 0;
  uint32_t at_ = 0;
  bool live_ = true;
  bool loops_ = false;
  std::array<int, 32> cache_{};
  uint32_t written_ = 0;
  std::span<const uint32_t> breakpoints_;
  std::unique_ptr<Label> body_;  // fresh for every block
  std::unique_ptr<Label> loopBudget_;
  std::vector<std::unique_ptr<SideExit>> sides_;
  std::vector<std::unique_ptr<DirectExit>> directs_;
};

void BlockCompiler::Emitter::Block(uint32_t start, std::span<const uint32_t> words,
                                   const CompileEnv& env, CompiledBlock& out) {
  start_ = start;
  len_ = static_cast<uint32_t>(words.size());
  breakpoints_ = env.breakpoints;
  loops_ = false;
  sides_.clear();
  directs_.clear();
  body_ = std::make_unique<Label>();
  loopBudget_ = std::make_unique<Label>();

  // The most used registers get host registers.
  std::array<uint32_t, 32> uses{};
  written_ = 0;
  for (uint32_t w : words) {
    const uint32_t mask = RegistersOf(w);
    for (unsigned g = 0; g < 32; ++g) uses[g] += (mask >> g) & 1u;
    written_ |= WrittenBy(w);
  }
  std::array<unsigned, 32> order{};
  for (unsigned g = 0; g < 32; ++g) order[g] = g;
  std::stable_sort(order.begin(), order.end(),
                   [&](unsigned x, unsigned y) { return uses[x] > uses[y]; });
  cache_.fill(-1);
  for (unsigned i = 0; i < kHostIdx.size() && uses[order[i]] != 0; ++i) {
    cache_[order[i]] = static_cast<int>(i);
  }

  Label stale, budget, epochWord;
  align(16);
  out.code = getCurr();
  mov(eax, dword[rip + epochWord]);
  cmp(eax, dword[rbx + CTX(epoch)]);
  jne(stale, T_NEAR);
  sub(rbp, len_);
  jb(budget, T_NEAR);
  LoadCached();
  L(*body_);
  for (index_ = 0; index_ < len_; ++index_) {
    at_ = start + index_;
    const uint32_t word = words[index_];
    // A flag result is kept only if something can see it before the next one replaces it.
    live_ = true;
    if (FlagKind(word) != Kind::Plain) {
      for (uint32_t j = index_ + 1; j < len_; ++j) {
        const uint32_t next = words[j];
        if (MayExit(next) || FlagKind(next) == Kind::FlagReaderWriter) break;
        if (FlagKind(next) == Kind::FlagWriter) {
          live_ = false;
          break;
        }
      }
    }
    if (index_ + 1 == len_ && EndsBlock(word)) {
      Branch(word);
    } else {
      Instruction1(word);
    }
  }
  if (len_ == 0 || !EndsBlock(words[len_ - 1])) {
    index_ = len_;
    ExitTo(start + len_);
  }

  // Cold paths.
  L(stale);
  mov(dword[rbx + CTX(pc)], start);
  mov(eax, static_cast<uint32_t>(Exit::Stale));
  jmp(exit, T_NEAR);
  L(budget);
  add(rbp, len_);
  mov(dword[rbx + CTX(pc)], start);
  mov(eax, static_cast<uint32_t>(Exit::Budget));
  jmp(exit, T_NEAR);
  if (loops_) {
    L(*loopBudget_);
    add(rbp, len_);
    WriteBack();
    mov(dword[rbx + CTX(pc)], start);
    mov(eax, static_cast<uint32_t>(Exit::Budget));
    jmp(exit, T_NEAR);
  }
  for (const auto& s : sides_) {
    L(s->label);
    if (s->fault != Fault::None) {
      mov(dword[rbx + CTX(faultAddr)], ecx);
      mov(dword[rbx + CTX(fault)], static_cast<uint32_t>(s->fault));
    }
    WriteBack();
    if (len_ != s->index) add(rbp, len_ - s->index);
    mov(dword[rbx + CTX(pc)], start + s->index);
    mov(eax, static_cast<uint32_t>(Exit::Handover));
    jmp(exit, T_NEAR);
  }
  for (const auto& d : directs_) {
    L(d->unlinked);
    lea(rax, ptr[rip + d->slot]);
    mov(qword[rbx + CTX(exitSlot)], rax);
    mov(eax, static_cast<uint32_t>(Exit::Dispatch));
    jmp(exit, T_NEAR);
  }
  // Data: the epoch word and the links.
  align(8);
  L(epochWord);
  dd(0);
  dd(0);
  for (const auto& d : directs_) {
    L(d->slot);
    putL(d->unlinked);
  }
  out.epoch = const_cast<uint32_t*>(reinterpret_cast<const uint32_t*>(epochWord.getAddress()));
  out.links.clear();
  for (const auto& d : directs_) {
    out.links.push_back(
        {const_cast<const uint8_t**>(reinterpret_cast<const uint8_t* const*>(d->slot.getAddress())),
         d->unlinked.getAddress()});
  }
}

void BlockCompiler::Emitter::Instruction1(uint32_t word) {
  const Instruction in{word};
  const uint32_t simm = in.simm();
  const unsigned rd = in.rd(), ra = in.ra(), rb = in.rb();
  // Register results with N and Z from the value, C and O clear.
  auto logicEax = [&] {
    Put(rd, eax);
    if (live_) {
      test(eax, eax);
      CaptureFlags();
    }
  };
  auto binary = [&](auto op) {
    Get(eax, ra);
    Get(ecx, rb);
    op();
    logicEax();
  };
  auto shift = [&](auto op, bool immediate) {
    Get(eax, ra);
    if (immediate) {
      op(static_cast<uint8_t>(simm & 7));
    } else {
      Get(ecx, rb);
      and_(ecx, 7);
      op(0xFF);
    }
    logicEax();
  };
  auto arith = [&](bool add_, bool immediate) {
    Get(eax, ra);
    if (immediate) {
      if (add_) {
        add(eax, simm);
      } else {
        sub(eax, simm);
      }
    } else {
      Get(ecx, rb);
      if (add_) {
        add(eax, ecx);
      } else {
        sub(eax, ecx);
      }
    }
    Put(rd, eax);
    CaptureFlags();
  };
  auto constant = [&](uint32_t v) {
    PutImm(rd, v);
    ConstFlags(RawNZ(v));
  };

  switch (in.opcode()) {
    case Opcode::NOP: return;
    case Opcode::OR: binary([&] { or_(eax, ecx); }); return;
    case Opcode::XOR: binary([&] { xor_(eax, ecx); }); return;
    case Opcode::NOR:
      binary([&] {
        or_(eax, ecx);
        not_(eax);
      });
      return;
    case Opcode::AND: binary([&] { and_(eax, ecx); }); return;
    case Opcode::ADD: arith(true, false); return;
    case Opcode::SUBB: arith(false, false); return;
    case Opcode::NOT:
      Get(eax, rb);
      not_(eax);
      logicEax();
      return;
    case Opcode::ROR:
    case Opcode::RORI:
      shift([&](uint8_t n) { n == 0xFF ? ror(eax, cl) : ror(eax, n); },
            in.opcode() == Opcode::RORI);
      return;
    case Opcode::SLL:
    case Opcode::SLLI:
      shift([&](uint8_t n) { n == 0xFF ? shl(eax, cl) : shl(eax, n); },
            in.opcode() == Opcode::SLLI);
      return;
    case Opcode::SRL:
    case Opcode::SRLI:
      shift([&](uint8_t n) { n == 0xFF ? shr(eax, cl) : shr(eax, n); },
            in.opcode() == Opcode::SRLI);
      return;
    case Opcode::SRA:
    case Opcode::SRAI:
      shift([&](uint8_t n) { n == 0xFF ? sar(eax, cl) : sar(eax, n); },
            in.opcode() == Opcode::SRAI);
      return;
    case Opcode::LOAD:
      Get(ecx, ra);
      Get(eax, rb);
      add(ecx, eax);
      Load();
      Put(rd, edx);
      return;
    case Opcode::LOADI:
      Get(ecx, ra);
      add(ecx, simm);
      Load();
      Put(rd, edx);
      return;
    case Opcode::STORE:
      Get(ecx, ra);
      Get(edi, rb);
      StoreEdi();
      return;
    case Opcode::STOREI:
      Get(ecx, ra);
      mov(edi, simm);
      StoreEdi();
      return;
    case Opcode::PUSH:
    case Opcode::PUSHI:
      if (in.opcode() == Opcode::PUSH) {
        Get(edi, rb);
      } else {
        mov(edi, simm);
      }
      mov(ecx, dword[rbx + CTX(sp)]);
      StoreEdi();
      inc(dword[rbx + CTX(sp)]);
      return;
    case Opcode::POP:
      mov(ecx, dword[rbx + CTX(sp)]);
      dec(ecx);
      Load();
      Put(rd, edx);
      dec(dword[rbx + CTX(sp)]);
      return;
    case Opcode::MOVE:
      Get(eax, rb);
      logicEax();
      return;
    case Opcode::BITSET:
    case Opcode::BITCLEAR:
      Get(eax, ra);
      Get(ecx, rb);
      mov(edx, 1);
      shl(edx, cl);  // the count is taken modulo 32, as B & 31
      if (in.opcode() == Opcode::BITSET) {
        or_(eax, edx);
        logicEax();
      } else {
        not_(edx);
        and_(eax, edx);
        Put(rd, eax);  // no flags
      }
      return;
    case Opcode::ORI:
      Get(eax, ra);
      or_(eax, simm);
      logicEax();
      return;
    case Opcode::XORI:
      Get(eax, ra);
      xor_(eax, simm);
      logicEax();
      return;
    case Opcode::NORI:
      Get(eax, ra);
      or_(eax, simm);
      not_(eax);
      logicEax();
      return;
    case Opcode::ANDI:
      Get(eax, ra);
      and_(eax, simm);
      logicEax();
      return;
    case Opcode::ADDI: arith(true, true); return;
    case Opcode::SUBBI: arith(false, true); return;
    case Opcode::NOTI:
      PutImm(rd, ~simm);
      and_(r12d, RawFlags(4u));  // C stays
      or_(r12d, RawNZ(~simm));
      return;
    case Opcode::BITSETI:
      Get(eax, ra);
      or_(eax, 1u << in.bit());
      logicEax();
      return;
    case Opcode::BITCLEARI:
      Get(eax, ra);
      and_(eax, ~(1u << in.bit()));
      logicEax();
      return;
    case Opcode::MOVEI:
      switch (in.sub()) {
        case MoveiSub::MOVEL: constant(simm); return;
        case MoveiSub::MOVEH: constant(in.imm16() << 16); return;
        case MoveiSub::SETMASK:
          mov(dword[rbx + CTX(im)], simm);
          ConstFlags(RawNZ(simm));
          return;
        case MoveiSub::MVSPL:
          mov(dword[rbx + CTX(sp)], simm);
          ConstFlags(RawNZ(simm));
          return;
        case MoveiSub::MVSPH:
          mov(dword[rbx + CTX(sp)], in.imm16() << 16);
          ConstFlags(RawNZ(in.imm16() << 16));
          return;
        default: break;
      }
      break;
    default: break;
  }
  // Not translatable: the caller never passes such a word.
  throw Xbyak::Error(Xbyak::ERR_INTERNAL);
}

// The block's last word: a jump, branch, call or return.
void BlockCompiler::Emitter::Branch(uint32_t word) {
  const Instruction in{word};
  const unsigned ra = in.ra(), rb = in.rb();
  FixedTarget fixed{};
  if (FixedTargetOf(word, at_, fixed)) {
    if (!fixed.conditional) {
      ExitTo(fixed.target);
      return;
    }
    Label taken;
    Get(eax, ra);
    test(eax, eax);
    const Opcode op = in.opcode();
    if (op == Opcode::BZEI || op == Opcode::BrZEI) {
      jz(taken, T_NEAR);
    } else if (op == Opcode::BNZEI || op == Opcode::BrNZEI) {
      jnz(taken, T_NEAR);
    } else {
      js(taken, T_NEAR);
    }
    ExitTo(at_ + 1);
    L(taken);
    ExitTo(fixed.target);
    return;
  }
  switch (in.opcode()) {
    case Opcode::BZE:
    case Opcode::BNZE:
    case Opcode::BNE:
    case Opcode::BrZE:
    case Opcode::BrNZE:
    case Opcode::BrNE:
    case Opcode::JUMP:
    case Opcode::JUMPr: {
      const Opcode op = in.opcode();
      Label taken;
      const bool conditional = op != Opcode::JUMP && op != Opcode::JUMPr;
      if (conditional) {
        Get(eax, ra);
        test(eax, eax);
        if (op == Opcode::BZE || op == Opcode::BrZE) {
          jz(taken, T_NEAR);
        } else if (op == Opcode::BNZE || op == Opcode::BrNZE) {
          jnz(taken, T_NEAR);
        } else {
          js(taken, T_NEAR);
        }
        ExitTo(at_ + 1);
        L(taken);
      }
      Get(edi, rb);
      if (op == Opcode::BZE || op == Opcode::BNZE || op == Opcode::BNE || op == Opcode::JUMP) {
        add(edi, at_);
      }
      CheckTarget(edi);
      ExitTo(edi);
      return;
    }
    case Opcode::CALL:
      Get(edi, rb);
      CheckTarget(edi);
      mov(ecx, dword[rbx + CTX(sp)]);
      AimStore();
      mov(dword[rdx + rax * 4], at_ + 1);
      mov(dword[rbx + CTX(lastWrite)], ecx);
      inc(dword[rbx + CTX(sp)]);
      ExitTo(edi);
      return;
    case Opcode::RET:
      mov(ecx, dword[rbx + CTX(sp)]);
      dec(ecx);
      Load();
      mov(edi, edx);
      CheckTarget(edi);
      dec(dword[rbx + CTX(sp)]);
      ExitTo(edi);
      return;
    default: break;
  }
  throw Xbyak::Error(Xbyak::ERR_INTERNAL);
}

BlockCompiler::BlockCompiler(size_t bytes) : emitter_(std::make_unique<Emitter>(bytes)) {}

BlockCompiler::~BlockCompiler() = default;

Exit BlockCompiler::Run(Context& ctx, const uint8_t* code) const {
  return emitter_->entry(&ctx, code);
}

bool BlockCompiler::Compile(uint32_t start, std::span<const uint32_t> words, const CompileEnv& env,
                            CompiledBlock& out) {
  if (!emitter_->Room(words.size())) return false;
  emitter_->Block(start, words, env, out);
  return true;
}

void BlockCompiler::Reset() {
  emitter_->Restart();
}

}  // namespace tervik::jit
