// The emulated Tervik processor: registers, flags, stack pointer, interrupt mask, shift
// register, the memory bus with its regions, the step cycle with its change markers, and the
// disassembler. Plain C++: it knows nothing of any window.
//
// Threading: a Processor is used from one thread at a time (the GUI thread in the emulator);
// plug-in entry points are called synchronously from its operations.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AddressMap.h"
#include "Instruction.h"
#include "MemoryRegion.h"

namespace tervik {

// The programmer-visible registers, in the order the processor record keeps them.
struct CpuState {
  uint32_t pc = 0;
  uint32_t sr = 0;  // only bits 0..3 (N, Z, C, O) are ever set
  uint32_t im = 0;
  uint32_t sp = 0;  // next free stack word; the stack grows upwards
  std::array<uint32_t, 32> r{};
  uint32_t lfsr = 0;

  bool operator==(const CpuState&) const = default;
};

template <bool kLocalState, bool kTraps>
class Engine;
class BatchEngine;

// What a recorder of the processor's history sees of its runs (see Processor::SetTap). Every
// call comes from the processor's own operations, synchronously.
class RunTap {
 public:
  // What changed outside a run.
  enum class Change : uint8_t {
    Reset,    // Reset
    Regions,  // AddRegion or ClearRegions
    Memory,   // ZeroMemory
    Write,    // a loader's WriteMem or a debugger's CpuWriteMem
  };

  // While true, the program's reads of module words (fetches included) take their values from
  // Replay, and no module entry point is called: no ReadMem, WriteMem, CPUWriteMem, Clock or
  // ClockSteps. Stores into module words only set the markers.
  bool replaying = false;

  // Before a Step (maxSteps 1) or a slice of a batch: the most cycles it may run, at least 1.
  // A batch runs in slices of these lengths, and ends where it would have without them.
  virtual uint64_t BeforeRun(uint64_t maxSteps) = 0;
  // After the Step or slice, with the cycles it ran; the engine has lifted its traps.
  virtual void Ran(uint64_t cycles) = 0;
  // While recording: the program read `value` from the module word at `address`.
  virtual void Record(uint32_t address, uint32_t value) = 0;
  // While replaying: the value the program reads from the module word at `address`.
  virtual uint32_t Replay(uint32_t address) = 0;
  virtual void Changed(Change change) = 0;

 protected:
  ~RunTap() = default;
};

// The processor record: the registers (CpuState), then the region list, then the change markers
// of the last step. Views read the registers and markers directly; only the processor's
// operations and a debugger's explicit edits write them.
class Processor : public CpuState {
 public:
  // Flag bits of sr.
  static constexpr uint32_t kFlagN = 1u << 0;
  static constexpr uint32_t kFlagZ = 1u << 1;
  static constexpr uint32_t kFlagC = 1u << 2;
  static constexpr uint32_t kFlagO = 1u << 3;

  // A disassembly text never needs more than this many bytes, terminator included.
  static constexpr size_t kDisassemblyMax = 24;

  // Result of the adder and the subtractor: the value and the carry (borrow) and overflow bits.
  struct ArithResult {
    uint32_t value;
    bool carry;
    bool overflow;
  };

  // All fields zero, no regions; then Reset.
  Processor();
  ~Processor();
  Processor(const Processor&) = delete;
  Processor& operator=(const Processor&) = delete;

  // Registers, pc, sr, im, sp and lfsr become 0; then every DLL region's Reset is called in
  // region order. Memory, regions and change markers are left as they are.
  void Reset();

  // One instruction cycle: clock the peripherals, advance the shift register, fetch the word at
  // pc through the bus, execute it, and set the change markers from what differs.
  void Step();

  // Whether a batched run also ends after a cycle that left pc where it was (an undefined word,
  // RETI, a jump to itself): the processor would repeat that cycle forever.
  enum class OnStall : uint8_t { Continue, Stop };

  // A range of word addresses, first to last, that a batch watches: it ends after a cycle whose
  // instruction loads (onRead: LOAD, LOADI, POP, RET) or stores (onWrite: STORE, STOREI, PUSH,
  // PUSHI, CALL) a word in it, in any region or none. Instruction fetches are not watched.
  struct Watch {
    uint32_t first = 0;
    uint32_t last = 0;
    bool onRead = false;
    bool onWrite = true;
  };
  // The access that ended a batch on a watch.
  struct WatchHit {
    size_t watch = 0;  // the first of the batch's watches, in their order, that it matched
    uint32_t address = 0;
    uint32_t pc = 0;  // the address of the instruction that made the access
    bool write = false;
    // For a store: the word there before it, as ReadMem would have given it; nothing for a
    // module's word, which is not read (its ReadMem may act on the read).
    std::optional<uint32_t> before;
    uint32_t value = 0;    // the word loaded or stored
    bool dropped = false;  // a store into ROM or an unmapped address, which changes nothing
  };

  // Runs up to maxSteps cycles and ends early after a cycle that leaves pc at an address in
  // `breakpoints` (unsorted; duplicates are fine) or, with OnStall::Stop, after a cycle that
  // leaves pc unchanged (then pcChanged is false). The state afterwards, memory and change
  // markers included, is exactly that of the same number of Step calls: the markers describe
  // the last cycle. With `watches`, it also ends after a cycle that made an access one of them
  // watches; LastWatchHit then tells which. Returns the number of cycles run.
  //
  // When a module's entry point throws, here or in Step, the exception goes on to the caller
  // and the processor is in the state after the last cycle that completed, as single steps up
  // to the throwing one leave it: registers, pc, sp and the shift register are those the
  // throwing cycle started from, and memory holds that cycle's stores only if a module took
  // them before it threw. The change markers are left as they were before the operation.
  // Modules that the cycle reached before the throw keep what it did to them (a Clock, a
  // store). LastModuleFault names the module.
  uint64_t RunBatch(uint64_t maxSteps, std::span<const uint32_t> breakpoints = {},
                    OnStall onStall = OnStall::Continue, std::span<const Watch> watches = {});
  // The watched access that ended the last batch, if one did.
  const std::optional<WatchHit>& LastWatchHit() const { return watchHit_; }

  // ---- Batch engines ----

  // Makes `engine` run every RunBatch from now on (null: the interpreter). Step, ReadMem and
  // the other operations stay interpreted.
  void SetBatchEngine(std::unique_ptr<BatchEngine> engine);
  BatchEngine* GetBatchEngine() const { return engine_.get(); }
  // The interpreter's batched run: what RunBatch does without an engine, and what an engine
  // hands the parts of a batch to that it does not run itself.
  uint64_t RunInterpreted(uint64_t maxSteps, std::span<const uint32_t> breakpoints = {},
                          OnStall onStall = OnStall::Continue, std::span<const Watch> watches = {});
  // The routing of addresses to regions: for an engine that reads ROM and RAM directly, and for
  // the inspection unit (core/Inspection.h).
  const AddressMap& Routing() const { return routing_; }
  // How many cycles an engine may run without clocking a module: none (nullopt) while a module
  // is clocked every step, else those before a catch-up module asks for an exact clock.
  std::optional<uint64_t> ClockRoom() const {
    if (!clocks_.empty()) return std::nullopt;
    if (catchUpCount_ == 0) return UINT64_MAX;
    return nextDue_ > clockNow_ + 1 ? nextDue_ - clockNow_ - 1 : 0;
  }
  // Counts `cycles` clock phases that an engine ran within ClockRoom.
  void CountClockPhases(uint64_t cycles) {
    if (catchUpCount_ != 0) clockNow_ += cycles;
  }
  // The module entry point whose exception last came out of a batch, a step or a load or store
  // (a batch clears it as it starts): the module's region (an index into Regions()) and the
  // entry point's name ("Clock", "ClockSteps", "ReadMem", "CPUWriteMem"). After a batch or
  // step, pc is the address of the instruction whose cycle it cut short.
  struct ModuleFault {
    size_t region = 0;
    const char* entry = "";
  };
  const std::optional<ModuleFault>& LastModuleFault() const { return fault_; }
  // The recorder of this processor's history, or none (the default, which costs nothing).
  void SetTap(RunTap* tap) { tap_ = tap; }
  RunTap* Tap() const { return tap_; }

  uint32_t GetPC() const { return pc; }
  void SetPC(uint32_t value) { pc = value; }
  uint32_t GetRegister(unsigned n) const { return r[n]; }
  void SetRegister(unsigned n, uint32_t value) { r[n] = value; }

  // First half of the cycle: every DLL region's Clock in region order, then one AdvanceLfsr. A
  // module clocked by catch-up gets the clock on its account (and is paid when it asked for
  // this step's clock).
  void ClockPeripherals();

  // Catch-up clocking. A module that exports ClockSteps (see tervik_plugin.h) is not clocked
  // every step: the processor counts the clocks it owes the module and pays them with one
  // ClockSteps call before every access to the module (fetch, load, store, ReadMem, WriteMem,
  // CpuWriteMem), before Reset, at the step the module asked for, and at the end of every batch
  // and step, so that between operations every module has had all its clocks. A module on two
  // map lines is clocked every step. On by default; off clocks every module every step by its
  // Clock, as a module without ClockSteps is.
  void SetCatchUpClocking(bool on);
  bool CatchUpClocking() const { return catchUpOn_; }
  // How many regions' modules are clocked by catch-up now.
  size_t CatchUpModules() const { return catchUpCount_; }
  // Around a panel's input to the module of DLL region number `module` (MemoryRegion::module),
  // between operations: SettleModule pays it the clocks it is owed, ModuleChanged asks it
  // afterwards when it next needs an exact clock, as around a WriteMem. Out-of-range numbers
  // are ignored.
  void SettleModule(uint32_t module);
  void ModuleChanged(uint32_t module);
  // One shift of lfsr with the feedback taps 31, 6, 5, 1 and 0.
  void AdvanceLfsr() {
    const uint32_t t = lfsr >> 31;
    lfsr = (lfsr << 1) ^ ((0u - t) & 0x80000063u);
  }

  // ---- Memory bus ----

  // Appends a zero-filled region. A DLL region needs all seven entry points
  // (std::invalid_argument otherwise). On std::bad_alloc the region list is unchanged.
  void AddRegion(uint32_t start, uint32_t size, RegionType type,
                 const PluginEntryPoints& entry = {});
  // Removes every region and releases its storage. No plug-in is called.
  void ClearRegions() noexcept;
  const std::vector<MemoryRegion>& Regions() const { return regions; }

  // What a loader's WriteMem(a, 0) for every word of every ROM and RAM region, in region order,
  // does, without writing word by word: addresses that an earlier plug-in region serves still
  // reach its WriteMem, each region's own words become 0 by dropping their pages.
  void ZeroMemory();

  // The word at address a: the first region covering a serves it; 0xFFFFFFFF when none does.
  uint32_t ReadMem(uint32_t a);
  // The loaders' write: ROM and RAM storage (ROM is writable here) or the module's WriteMem.
  // Touches no change marker.
  void WriteMem(uint32_t a, uint32_t value);
  // An instruction's store: RAM storage or the module's CPUWriteMem, setting memWritten and
  // lastWriteAddress; stores into ROM or unmapped addresses are dropped.
  void CpuWriteMem(uint32_t a, uint32_t value);

  // ---- Instruction execution ----

  // Performs one instruction word completely, including the move of pc. Memory goes through
  // ReadMem and CpuWriteMem, so loads and stores reach plug-in regions. Called by Step.
  void Execute(uint32_t word);
  // N and Z from a value; C and O untouched.
  void SetFlagsNZ(uint32_t value) { sr = (sr & ~(kFlagN | kFlagZ)) | FlagsNZ(value); }
  static ArithResult AddWithFlags(uint32_t x, uint32_t y);
  static ArithResult SubWithFlags(uint32_t x, uint32_t y);

  // ---- Disassembly ----

  // Writes the assembler text of `word` (zero-terminated, truncated to the buffer) and returns
  // its length. Reads nothing but the word.
  static size_t Disassemble(uint32_t word, std::span<char> buffer);
  static std::string Disassemble(uint32_t word);

  // The N and Z bits of sr for a result value.
  static uint32_t FlagsNZ(uint32_t v) { return (v >> 31) | (v == 0 ? kFlagZ : 0u); }

 private:
  std::vector<MemoryRegion> regions;

 public:
  // Change markers of the last Step (or the last cycle of RunBatch).
  bool pcChanged = false;
  bool srChanged = false;
  bool imChanged = false;
  bool spChanged = false;
  bool cChanged = false;
  bool oChanged = false;
  bool nChanged = false;
  bool zChanged = false;
  std::array<bool, 32> regChanged{};
  bool lfsrChanged = false;
  bool memWritten = false;
  uint32_t lastWriteAddress = 0;  // kept across steps and resets

 private:
  template <bool kLocalState, bool kTraps>
  friend class Engine;

  // The values a cycle compares its result with.
  struct Before {
    uint32_t pc, sr, im, sp, lfsr;
  };

  // While a batch with breakpoints runs, memory holds kTrapWord at each breakpoint in ROM or
  // RAM and at each word there before a breakpoint that goes on to the next word (not a jump,
  // branch or other word that moves only pc), so that the fetch finds them without looking pc
  // up. Loads and stores of a trap's address go to its `word` instead, and a store there sets
  // or clears the trap by the new word's kind. The traps are lifted before the batch returns.
  // kTrapWord has an undefined opcode: were it ever performed, it would change nothing.
  static constexpr uint32_t kTrapWord = 0xD6B7E3A9u;
  struct Trap {
    uint32_t address;
    uint32_t word;    // the word the program sees at `address`
    uint32_t* cell;   // where memory keeps it
    bool stop;        // a breakpoint
    bool beforeStop;  // the word before a breakpoint
    bool set;         // *cell holds kTrapWord in place of `word`

    // Makes `value` the word at `address`, when the batch starts or the program stores it, and
    // sets the trap where the fetch must stop: at a breakpoint, or before one at a word that
    // goes on to the next.
    void Store(uint32_t value) {
      word = value;
      set = stop || (beforeStop && !MovesOnlyPc(value));
      *cell = set ? kTrapWord : value;
    }
  };
  // Copies a batch's watches and merges the stretches they cover.
  void SetWatches(std::span<const Watch> watches);
  // Sets the traps of breakpointScratch_; LiftTraps puts memory back as it was.
  void SetTraps();
  void LiftTraps() noexcept;

  void SetMarkers(const Before& before);
  // The module entry point about to be called during a run, noted so that a throw can be traced
  // to it: the module by its place among the DLL regions.
  enum class Entry : uint8_t { Clock, ClockSteps, ReadMem, CPUWriteMem };
  struct Calling {
    uint32_t module = 0;
    Entry entry = Entry::Clock;
  };
  void NoteCalling(uint32_t module, Entry entry) { calling_ = {module, entry}; }
  // For a throw from the per-step clock at `index` in clocks_.
  [[gnu::cold]] void NoteClockThrow(size_t index) noexcept;
  // Sets fault_ from calling_ once a run or step has been cut short.
  [[gnu::cold]] void NoteFault() noexcept;
  // A load and a store of a module's word in an instruction cycle, its owed clocks paid first.
  uint32_t ReadModuleWord(const Segment& seg, uint32_t a, uint64_t now);
  void StoreModuleWord(const Segment& seg, uint32_t a, uint32_t value, uint64_t now);
  // RunBatch once its breakpoints are sorted: the compiled loop for the peripheral count.
  template <bool kStopOnStall, bool kStops>
  uint64_t RunWith(uint64_t maxSteps);
  template <bool kStopOnStall, bool kStops, int kClocks>
  uint64_t RunEngine(uint64_t maxSteps);
  void ResetBusCaches();

  // The clocking of one DLL region's module, by its place among the DLL regions.
  struct ModuleClock {
    TervikClockFn clock;
    TervikClockStepsFn clockSteps;  // null: clocked every step by `clock`
    uint64_t paid;                  // the clock count (clockNow_) it has had clocks up to
    uint64_t due;  // the clock count at which it must have its clock at the exact step
  };
  // Recomputes clocks_ and modules_ from the regions; every module is paid up (as between
  // operations) and a catch-up module is asked when it next needs an exact clock.
  void RebuildClocks();
  // Pays module m the clocks owed up to clock count `now`, if it is clocked by catch-up.
  void PayModule(uint32_t m, uint64_t now);
  // After a write or Reset: asks module m (if by catch-up) when it next needs an exact clock.
  void AskModule(uint32_t m, uint64_t now);
  // The clock phase at clock count `now` when a catch-up module is due: every module in region
  // order, per-step ones by Clock, due ones paid.
  void ClockInOrder(uint64_t now);
  // Pays every catch-up module up to clock count `now` (clockNow_ afterwards).
  void PayAll(uint64_t now);
  void PayEveryModule(uint64_t now);
  void UpdateNextDue();
  void PayClocks(ModuleClock& m, uint64_t now);
  void SetDue(ModuleClock& m, uint64_t due);

  AddressMap routing_;
  SegmentCursor fetch_;  // where the last instruction was fetched from
  SegmentCursor data_;   // where the last load or store went
  // Clock of each DLL region clocked every step, in region order: a module on two map lines is
  // clocked twice.
  std::vector<TervikClockFn> clocks_;
  std::vector<ModuleClock> modules_;  // every DLL region's, in region order
  std::vector<TervikClockStepsFn> stepsScratch_;
  uint64_t clockNow_ = 0;          // clock phases run while a catch-up module was mapped
  uint64_t nextDue_ = UINT64_MAX;  // the least `due` of the catch-up modules
  size_t catchUpCount_ = 0;
  bool catchUpOn_ = true;
  std::vector<uint32_t> breakpointScratch_;  // a batch's breakpoints, sorted
  std::vector<Trap> trapScratch_;            // their traps, sorted by address
  // A batch's watches as given, and the stretches of the address space they cover, merged and
  // sorted, which the data cursor keeps out of its fast path.
  std::vector<Watch> watchScratch_;
  struct Fence {
    uint32_t first;
    uint32_t last;
  };
  std::vector<Fence> fenceScratch_;
  std::optional<WatchHit> watchHit_;
  std::unique_ptr<BatchEngine> engine_;
  Calling calling_;
  std::optional<ModuleFault> fault_;
  bool inAccess_ = false;  // in a module call of a cycle's fetch, load or store
  RunTap* tap_ = nullptr;

  void NoteChange(RunTap::Change change) {
    if (tap_ != nullptr) tap_->Changed(change);
  }
};

// The hook through which another engine (a translator to host code) runs the processor's
// batches. The core knows only this interface; a front end installs an implementation with
// Processor::SetBatchEngine. It lives beside the processor because each names the other.
//
// Runs Processor::RunBatch in place of the interpreter. An implementation must end in exactly
// the state RunInterpreted would (registers, memory, change markers, LastWatchHit, plug-in
// calls, step count); it may hand any part of the batch to RunInterpreted, which is the
// reference.
class BatchEngine {
 public:
  virtual ~BatchEngine() = default;

  virtual uint64_t RunBatch(Processor& p, uint64_t maxSteps, std::span<const uint32_t> breakpoints,
                            Processor::OnStall onStall,
                            std::span<const Processor::Watch> watches) = 0;
};

}  // namespace tervik
