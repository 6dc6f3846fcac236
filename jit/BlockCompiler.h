// Turns a run of Tervik words into x86-64 code (with xbyak). The code works on a Context: the
// registers, a budget of cycles, and the windows of memory that loads and stores may use
// directly. Anything else (an access outside the windows, a branch onto a breakpoint or onto
// itself) leaves the code before the instruction, with the state as it was, for the
// interpreter to perform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tervik::jit {

// Why translated code returned to the engine.
enum class Exit : uint32_t {
  Budget = 1,  // a block needed more cycles than were left; pc is its start
  Dispatch,    // a jump to pc, which no block is linked to yet (exitSlot: the link to fill)
  Handover,    // the instruction at pc is the interpreter's (fault: an access outside a window)
  Stale,       // the block at pc was translated before memory may have changed
};
enum class Fault : uint32_t { None = 0, Load, Store };

// The flags as translated code keeps them: the host's lahf/seto layout (bit 15 N, bit 14 Z,
// bit 8 C, bit 0 O; other bits are noise).
constexpr uint32_t RawFlags(uint32_t sr) {
  return (sr & 1u) << 15 | ((sr >> 1) & 1u) << 14 | ((sr >> 2) & 1u) << 8 | ((sr >> 3) & 1u);
}
constexpr uint32_t SrFromRaw(uint32_t raw) {
  return ((raw >> 15) & 1u) | ((raw >> 14) & 1u) << 1 | ((raw >> 8) & 1u) << 2 | (raw & 1u) << 3;
}

// What translated code reads and writes. Standard layout: the code addresses the fields by
// offset.
struct Context {
  uint32_t r[32];
  uint32_t pc;
  uint32_t sp;
  uint32_t im;
  uint32_t flags;  // RawFlags
  uint64_t left;   // cycles the code may still run
  uint32_t lastWrite;
  uint32_t epoch;  // blocks checked against memory at another epoch exit as Stale
  // Loads of lo..lo+size-1 read words[a - lo]; stores likewise. Empty: size 0.
  uint32_t loadLo, loadSize;
  uint32_t* loadWords;
  uint32_t storeLo, storeSize;
  uint32_t* storeWords;
  uint32_t faultAddr;
  Fault fault;
  const uint8_t** exitSlot;      // Dispatch: the link that a block for pc may fill, or null
  const uint8_t* breakpointMap;  // 4096 bits: address & 4095 of every breakpoint
};

// A translated block: its entry, the word translated code compares the context's epoch with,
// and its links to the blocks of its direct jumps.
struct CompiledBlock {
  const uint8_t* code = nullptr;
  uint32_t* epoch = nullptr;
  struct Link {
    const uint8_t** slot;
    const uint8_t* unlinked;  // what the slot holds when it leads back to the engine
  };
  std::vector<Link> links;
};

// How to translate: the batch's breakpoints, sorted, with the 4096-bit map for jumps whose
// target is known only when they run.
struct CompileEnv {
  std::span<const uint32_t> breakpoints;
};

class BlockCompiler {
 public:
  // Code space of `bytes`; throws std::bad_alloc or the emitter's error when it cannot be had.
  explicit BlockCompiler(size_t bytes);
  ~BlockCompiler();
  BlockCompiler(const BlockCompiler&) = delete;
  BlockCompiler& operator=(const BlockCompiler&) = delete;

  // Runs the block at `code` on `ctx` until it exits; returns why.
  Exit Run(Context& ctx, const uint8_t* code) const;

  // Translates `words` found at `start` (every one translatable, see Translatable; only the
  // last may branch). False when the code space is full: Reset, then try again.
  bool Compile(uint32_t start, std::span<const uint32_t> words, const CompileEnv& env,
               CompiledBlock& out);
  // Forgets all translated code.
  void Reset();

 private:
  class Emitter;
  std::unique_ptr<Emitter> emitter_;
};

// Whether translated code performs the word (the others are handed to the interpreter: words
// not performed, RETI, MVNZCOU and the words that read or set the shift register).
bool Translatable(uint32_t word);
// Whether the word ends a block: a jump, branch, call or return.
bool EndsBlock(uint32_t word);
// For a block-ending word at `at` whose targets are fixed: the address it may go to besides
// at + 1, and whether it may also go on to at + 1. Nothing for a target read from a register
// or the stack.
struct FixedTarget {
  uint32_t target;
  bool conditional;
};
bool FixedTargetOf(uint32_t word, uint32_t at, FixedTarget& out);

}  // namespace tervik::jit
