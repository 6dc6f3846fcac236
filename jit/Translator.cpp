// The translating batch engine: a dispatcher that runs translated blocks while they can do
// exactly what the interpreter would, and hands every other cycle to the interpreter.
//
// Exactness rests on three rules. Translated code never performs a batch's last cycle, nor a
// cycle that ends it (landing on a breakpoint, a standstill, a watched access): it leaves
// before such a cycle, and the interpreter performs it, so the change markers, the watch hit
// and the stop are the interpreter's own. Translated code stays out of everything with a side
// effect beyond registers and plain memory (modules, watched words, the shift register's
// instructions, catch-up deadlines): those cycles are the interpreter's too. And a translation
// is used only while the words it was made from are still in memory: stores by translated code
// never reach translated words (they leave first), a store by the interpreter into one drops
// its blocks, and a block met again after anything else may have written memory (a longer
// interpreted stretch, a new batch after a load, an edit or Clear memory) is compared with
// memory before it runs.
//
// Invalidation is local. Blocks are listed by the pages they lie in, so a store finds the
// blocks of its own page only. A block depends on the stops (breakpoints and a run's goals)
// inside its span and the word after it, and on the fixed target of its last word: when the
// stops change (step over and run to cursor change theirs every time), only the blocks that
// looked at a changed address are made again; the rest, and their links, stay.
#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "BlockCompiler.h"
#include "Lfsr.h"
#include "Translator.h"

namespace tervik::jit {

namespace {

constexpr uint32_t kMaxBlockWords = 64;
// Cycles the interpreter runs at a time where nothing is translated.
constexpr uint64_t kChunk = 256;
// Hand-overs at one word after which its code is left to the interpreter.
constexpr uint32_t kColdAfter = 64;
// Blocks are indexed by pages of this many words; a block (kMaxBlockWords at most) lies in one
// or two.
constexpr uint32_t kPageShift = 10;

// Whether the interpreter's batch notices a watched access made by its own last cycle. Where
// it does not, a stretch the engine hands it that may make one runs to the end of the batch, so
// that the batch ends where the interpreter alone would end it.
bool InterpreterWatchesLastCycle() {
  Processor probe;
  probe.AddRegion(0, 4, RegionType::RAM);
  probe.WriteMem(0, static_cast<uint32_t>(Opcode::LOADI) << 26 | 1u << 21 | 2u);  // LOADI R1,R0,2
  const Processor::Watch watch{2, 2, true, true};
  probe.RunInterpreted(1, {}, Processor::OnStall::Continue, std::span(&watch, 1));
  return probe.LastWatchHit().has_value();
}

class Translator final : public BatchEngine {
 public:
  explicit Translator(const TranslatorOptions& options)
      : options_(options),
        compiler_(options.codeBytes),
        watchesLastCycle_(InterpreterWatchesLastCycle()) {}

  uint64_t RunBatch(Processor& p, uint64_t maxSteps, std::span<const uint32_t> breakpoints,
                    Processor::OnStall onStall, std::span<const Processor::Watch> watches) override;
  uint64_t Translated() const { return translated_; }
  uint64_t Translations() const { return translations_; }

 private:
  struct Block {
    uint32_t start = 0;
    std::vector<uint32_t> words;  // empty: not translated (the interpreter runs there)
    bool oneCycle = false;        // empty: the interpreter runs one cycle, not a stretch
    // The stops the scan looked at: the addresses start+1..reach (none when reach is start),
    // where a word would go on to, and the fixed target of the jump or branch that ended it.
    uint32_t reach = 0;
    uint32_t target = 0;
    bool hasTarget = false;
    // Made while there were no stops, with a jump to a target in a register: that jump does
    // not look the target up in the map of stops.
    bool unchecked = false;
    CompiledBlock compiled;
  };
  struct Incoming {
    const uint8_t** slot;
    const uint8_t* unlinked;
  };
  struct Fence {
    uint32_t first, last;
  };

  bool IsBreakpoint(uint32_t a) const {
    return std::binary_search(breakpoints_.begin(), breakpoints_.end(), a);
  }
  void SetBreakpoints(std::span<const uint32_t> breakpoints);
  // Drops the blocks whose translation looked at whether `a` is a stop.
  void DropWatching(uint32_t a);
  void SetFences(std::span<const Processor::Watch> watches);

  Block* Find(uint32_t pc);
  Block* Translate(uint32_t pc);
  void Scan(uint32_t pc, Block& block) const;
  // The pages block spans (an empty block: its start's).
  static uint32_t FirstPage(const Block& block) { return block.start >> kPageShift; }
  static uint32_t LastPage(const Block& block) {
    const uint32_t size = static_cast<uint32_t>(std::max<size_t>(block.words.size(), 1));
    return (block.start + size - 1) >> kPageShift;
  }
  void Index(const Block& block);
  void Unindex(const Block& block);
  bool Matches(const Block& block) const;
  void Drop(uint32_t start);
  void DropCovering(uint32_t a);
  void Flush();
  void MakeCold(uint32_t a);

  Exit RunCode(Block& block, uint64_t room);
  bool Interpret(uint64_t cycles);
  // Whether the word at pc may load or store a watched word.
  bool MayTouchFence() const;
  // Point the load or store window at a, if plain memory is there; true if it covers a then.
  bool AimLoad(uint32_t a);
  bool AimStore(uint32_t a);
  // The stretch around a in `seg` free of watched words (and, for stores, translated words);
  // false when a itself is one.
  bool Narrow(const Segment& seg, uint32_t a, bool store, uint32_t& lo, uint32_t& hi) const;

  TranslatorOptions options_;
  BlockCompiler compiler_;
  bool watchesLastCycle_;
  Context ctx_{};
  uint32_t epoch_ = 1;
  uint64_t flushes_ = 0;
  uint64_t translated_ = 0;  // cycles run in translated code
  uint64_t translations_ = 0;
  std::unordered_map<uint32_t, std::unique_ptr<Block>> blocks_;
  std::unordered_map<uint32_t, uint32_t> heat_;                // meetings of untranslated addresses
  std::unordered_map<uint32_t, uint32_t> handovers_;           // per word
  std::unordered_set<uint32_t> cold_;                          // words left to the interpreter
  std::map<uint32_t, uint32_t> codeWords_;                     // translated words: how many blocks
  std::unordered_map<uint32_t, std::vector<uint32_t>> pages_;  // page: the blocks' starts
  std::unordered_map<uint32_t, std::vector<uint32_t>> targets_;   // stop: blocks that looked
  std::unordered_map<uint32_t, std::vector<Incoming>> incoming_;  // block: links filled to it
  std::unordered_map<const uint8_t**, const uint8_t*> slots_;     // every link: unlinked
  std::vector<uint32_t> unchecked_;    // starts of blocks made without stops (some dropped)
  std::vector<uint32_t> breakpoints_;  // sorted; the translations' own
  std::vector<uint32_t> scratch_;
  std::vector<uint32_t> changed_;
  std::array<uint8_t, 512> breakpointMap_{};
  std::vector<Fence> fences_;

  // The batch running.
  Processor* p_ = nullptr;
  uint64_t maxSteps_ = 0;
  uint64_t n_ = 0;
  std::span<const uint32_t> batchBreakpoints_;
  Processor::OnStall onStall_ = Processor::OnStall::Continue;
  std::span<const Processor::Watch> watches_;
};

uint64_t Translator::RunBatch(Processor& p, uint64_t maxSteps,
                              std::span<const uint32_t> breakpoints, Processor::OnStall onStall,
                              std::span<const Processor::Watch> watches) {
  // A module clocked every step is called every cycle: the interpreter does that.
  if (maxSteps <= 1 || !p.ClockRoom()) {
    return p.RunInterpreted(maxSteps, breakpoints, onStall, watches);
  }
  p_ = &p;
  maxSteps_ = maxSteps;
  n_ = 0;
  batchBreakpoints_ = breakpoints;
  onStall_ = onStall;
  watches_ = watches;
  SetBreakpoints(breakpoints);
  SetFences(watches);
  // Memory, regions and routing may all have changed since the last batch.
  ctx_.epoch = ++epoch_;
  ctx_.loadSize = ctx_.storeSize = 0;
  ctx_.breakpointMap = breakpointMap_.data();

  for (;;) {
    const uint64_t left = maxSteps_ - n_;
    uint64_t cycles = std::min(left, kChunk);
    if (Block* block = left > 1 ? Find(p.pc) : nullptr) {
      const uint64_t size = block->words.size();
      const uint64_t clockRoom = *p.ClockRoom();
      if (size == 0) {
        if (block->oneCycle) cycles = 1;
      } else if (std::min(left - 1, clockRoom) >= size) {
        switch (RunCode(*block, std::min(left - 1, clockRoom))) {
          case Exit::Budget: break;
          case Exit::Dispatch:
            if (ctx_.exitSlot != nullptr) {
              // Translating may drop all code, the slot's block included.
              const uint64_t flushes = flushes_;
              Block* next = Find(p.pc);
              const auto slot = slots_.find(ctx_.exitSlot);
              if (next != nullptr && !next->words.empty() && flushes == flushes_ &&
                  slot != slots_.end()) {
                *ctx_.exitSlot = next->compiled.code;
                incoming_[next->start].push_back({slot->first, slot->second});
              }
            }
            break;
          case Exit::Handover: {
            const uint32_t at = p.pc;
            // An access outside its window: aim the window there for the next time, if plain
            // memory is there.
            bool plain = false;
            if (ctx_.fault == Fault::Load) plain = AimLoad(ctx_.faultAddr);
            if (ctx_.fault == Fault::Store) plain = AimStore(ctx_.faultAddr);
            ctx_.fault = Fault::None;
            if (!plain && ++handovers_[at] >= kColdAfter) MakeCold(at);
            if (Interpret(1)) return n_;
            break;
          }
          case Exit::Stale:
            if (Block* stale = blocks_.count(p.pc) != 0 ? blocks_[p.pc].get() : nullptr) {
              if (Matches(*stale)) {
                *stale->compiled.epoch = epoch_;
              } else {
                Drop(p.pc);
              }
            }
            break;
        }
        continue;
      } else if (clockRoom < size) {
        cycles = std::min(left, clockRoom + 1);  // through the cycle a module asked for
      } else {
        cycles = left;  // the last few cycles
      }
    }
    if (Interpret(cycles)) return n_;
  }
}

// Runs `cycles` interpreted cycles; true when the batch ends with them.
bool Translator::Interpret(uint64_t cycles) {
  Processor& p = *p_;
  if (!watchesLastCycle_ && !fences_.empty() && (cycles > 1 || MayTouchFence())) {
    cycles = maxSteps_ - n_;  // see InterpreterWatchesLastCycle
  }
  const uint64_t ran = p.RunInterpreted(cycles, batchBreakpoints_, onStall_, watches_);
  n_ += ran;
  if (n_ == maxSteps_ || ran < cycles || p.LastWatchHit() || IsBreakpoint(p.pc) ||
      (onStall_ == Processor::OnStall::Stop && !p.pcChanged)) {
    return true;
  }
  if (ran == 1) {
    if (p.memWritten) DropCovering(p.lastWriteAddress);
  } else {
    ctx_.epoch = ++epoch_;  // any translated word may have been written
  }
  return false;
}

bool Translator::MayTouchFence() const {
  const Processor& p = *p_;
  const Segment& seg = p.Routing().Find(p.pc);
  if (seg.kind != Segment::Kind::ROM && seg.kind != Segment::Kind::RAM) return true;
  const Instruction in{seg.words[p.pc - seg.lo]};
  uint32_t a = 0;
  switch (in.opcode()) {
    case Opcode::LOAD: a = p.r[in.ra()] + p.r[in.rb()]; break;
    case Opcode::LOADI: a = p.r[in.ra()] + in.simm(); break;
    case Opcode::STORE:
    case Opcode::STOREI: a = p.r[in.ra()]; break;
    case Opcode::CALL:
    case Opcode::PUSH:
    case Opcode::PUSHI: a = p.sp; break;
    case Opcode::POP:
    case Opcode::RET: a = p.sp - 1; break;
    default: return false;
  }
  return std::any_of(fences_.begin(), fences_.end(),
                     [a](const Fence& f) { return f.first <= a && a <= f.last; });
}

Exit Translator::RunCode(Block& block, uint64_t room) {
  Processor& p = *p_;
  std::copy(p.r.begin(), p.r.end(), ctx_.r);
  ctx_.pc = p.pc;
  ctx_.sp = p.sp;
  ctx_.im = p.im;
  ctx_.flags = RawFlags(p.sr);
  ctx_.left = room;
  ctx_.lastWrite = p.lastWriteAddress;
  ctx_.exitSlot = nullptr;
  ctx_.fault = Fault::None;
  const Exit exit = compiler_.Run(ctx_, block.compiled.code);
  const uint64_t steps = room - ctx_.left;
  std::copy(ctx_.r, ctx_.r + 32, p.r.begin());
  p.pc = ctx_.pc;
  p.sp = ctx_.sp;
  p.im = ctx_.im;
  p.sr = SrFromRaw(ctx_.flags);
  p.lastWriteAddress = ctx_.lastWrite;
  p.lfsr = AdvanceLfsrBy(p.lfsr, steps);
  p.CountClockPhases(steps);
  n_ += steps;
  translated_ += steps;
  return exit;
}

Translator::Block* Translator::Find(uint32_t pc) {
  if (const auto it = blocks_.find(pc); it != blocks_.end()) return it->second.get();
  if (cold_.count(pc) == 0) {
    uint32_t& heat = heat_[pc];
    if (heat < options_.hotAfter) {
      ++heat;
      return nullptr;
    }
    heat_.erase(pc);
  }
  return Translate(pc);
}

// The words of the block at pc: up to the first jump, branch, call or return, stopping before
// a word the interpreter must perform (one not translated, one that would go on to a
// breakpoint or jump onto itself) and at the end of the segment.
void Translator::Scan(uint32_t pc, Block& block) const {
  block.start = block.reach = pc;
  const Segment& seg = p_->Routing().Find(pc);
  if ((seg.kind != Segment::Kind::ROM && seg.kind != Segment::Kind::RAM) || cold_.count(pc)) {
    return;  // a module's or an unmapped word, or cold: stretches of interpreted cycles
  }
  block.oneCycle = true;
  for (uint32_t i = 0; i < kMaxBlockWords; ++i) {
    const uint32_t a = pc + i;
    if (i != 0 && (a == 0 || !seg.Contains(a) || cold_.count(a) != 0)) return;
    const uint32_t word = seg.words[a - seg.lo];
    if (!Translatable(word)) {
      if (i == 0) block.oneCycle = MovesOnlyPc(word) ? false : true;  // a standstill spins
      return;
    }
    if (EndsBlock(word)) {
      FixedTarget fixed{};
      block.hasTarget = FixedTargetOf(word, a, fixed);
      block.target = fixed.target;
      const bool conditional = FixedTargetOf(word, a, fixed)
                                   ? fixed.conditional
                                   : Instruction{word}.opcode() != Opcode::JUMP &&
                                         Instruction{word}.opcode() != Opcode::JUMPr &&
                                         Instruction{word}.opcode() != Opcode::CALL &&
                                         Instruction{word}.opcode() != Opcode::RET;
      if (FixedTargetOf(word, a, fixed) && (fixed.target == a || IsBreakpoint(fixed.target))) {
        if (i == 0) block.oneCycle = fixed.target != a;
        return;
      }
      if (conditional) block.reach = a + 1;
      if (conditional && IsBreakpoint(a + 1)) return;
      block.words.push_back(word);
      return;
    }
    block.reach = a + 1;
    if (IsBreakpoint(a + 1)) return;
    block.words.push_back(word);
  }
}

Translator::Block* Translator::Translate(uint32_t pc) {
  auto block = std::make_unique<Block>();
  Scan(pc, *block);
  if (!block->words.empty()) {
    const CompileEnv env{breakpoints_};
    if (!compiler_.Compile(pc, block->words, env, block->compiled)) {
      Flush();
      if (!compiler_.Compile(pc, block->words, env, block->compiled)) block->words.clear();
    }
  }
  if (!block->words.empty()) {
    *block->compiled.epoch = epoch_;
    ++translations_;
    for (uint32_t i = 0; i < block->words.size(); ++i) ++codeWords_[pc + i];
    ctx_.storeSize = 0;  // the store window may now cover translated words
    for (const CompiledBlock::Link& link : block->compiled.links) slots_[link.slot] = link.unlinked;
    FixedTarget fixed{};
    const uint32_t last = block->words.back();
    block->unchecked =
        breakpoints_.empty() && EndsBlock(last) &&
        !FixedTargetOf(last, pc + static_cast<uint32_t>(block->words.size()) - 1, fixed);
    if (block->unchecked) unchecked_.push_back(pc);
  }
  Block* result = block.get();
  Index(*block);
  blocks_[pc] = std::move(block);
  return result;
}

bool Translator::Matches(const Block& block) const {
  for (uint32_t i = 0; i < block.words.size(); ++i) {
    const uint32_t a = block.start + i;
    const Segment& seg = p_->Routing().Find(a);
    if (seg.kind != Segment::Kind::ROM && seg.kind != Segment::Kind::RAM) return false;
    if (seg.words[a - seg.lo] != block.words[i]) return false;
  }
  return true;
}

void Translator::Drop(uint32_t start) {
  const auto it = blocks_.find(start);
  if (it == blocks_.end()) return;
  const std::unique_ptr<Block> dead = std::move(it->second);
  blocks_.erase(it);
  Unindex(*dead);
  if (dead->words.empty()) return;
  for (uint32_t i = 0; i < dead->words.size(); ++i) {
    const auto word = codeWords_.find(start + i);
    if (word != codeWords_.end() && --word->second == 0) codeWords_.erase(word);
  }
  // Its own links go with it; its code stays until the next flush, unreachable.
  for (const CompiledBlock::Link& link : dead->compiled.links) slots_.erase(link.slot);
  // Jumps into it lead back to the engine again.
  if (const auto in = incoming_.find(start); in != incoming_.end()) {
    for (const Incoming& link : in->second) {
      if (*link.slot == dead->compiled.code) *link.slot = link.unlinked;
    }
    incoming_.erase(in);
  }
}

void Translator::DropCovering(uint32_t a) {
  if (codeWords_.count(a) == 0) return;
  // A block covering a starts at most kMaxBlockWords - 1 words before it: in a's page or the
  // one before.
  std::vector<uint32_t> starts;
  for (uint32_t page : {(a - (kMaxBlockWords - 1)) >> kPageShift, a >> kPageShift}) {
    const auto listed = pages_.find(page);
    if (listed == pages_.end()) continue;
    for (uint32_t start : listed->second) {
      if (a - start < blocks_.at(start)->words.size()) starts.push_back(start);
    }
  }
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  for (uint32_t start : starts) Drop(start);
}

void Translator::DropWatching(uint32_t a) {
  // start+1..reach: a block whose scan looked at a starts at most kMaxBlockWords + 1 before.
  std::vector<uint32_t> starts;
  for (uint32_t page : {(a - kMaxBlockWords - 1) >> kPageShift, (a - 1) >> kPageShift}) {
    const auto listed = pages_.find(page);
    if (listed == pages_.end()) continue;
    for (uint32_t start : listed->second) {
      if (a - start - 1 < blocks_.at(start)->reach - start) starts.push_back(start);
    }
  }
  if (const auto looked = targets_.find(a); looked != targets_.end()) {
    starts.insert(starts.end(), looked->second.begin(), looked->second.end());
  }
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  for (uint32_t start : starts) Drop(start);
}

void Translator::Index(const Block& block) {
  for (uint32_t page = FirstPage(block);; ++page) {
    pages_[page].push_back(block.start);
    if (page == LastPage(block)) break;
  }
  if (block.hasTarget) targets_[block.target].push_back(block.start);
}

void Translator::Unindex(const Block& block) {
  const auto remove = [&](auto& index, uint32_t key) {
    const auto listed = index.find(key);
    if (listed == index.end()) return;
    std::vector<uint32_t>& starts = listed->second;
    starts.erase(std::remove(starts.begin(), starts.end(), block.start), starts.end());
    if (starts.empty()) index.erase(listed);
  };
  for (uint32_t page = FirstPage(block);; ++page) {
    remove(pages_, page);
    if (page == LastPage(block)) break;
  }
  if (block.hasTarget) remove(targets_, block.target);
}

void Translator::MakeCold(uint32_t a) {
  cold_.insert(a);
  DropCovering(a);
  Drop(a);
}

void Translator::Flush() {
  ++flushes_;
  blocks_.clear();
  codeWords_.clear();
  pages_.clear();
  targets_.clear();
  incoming_.clear();
  slots_.clear();
  unchecked_.clear();
  compiler_.Reset();
  ctx_.storeSize = 0;
}

void Translator::SetBreakpoints(std::span<const uint32_t> breakpoints) {
  scratch_.assign(breakpoints.begin(), breakpoints.end());
  std::sort(scratch_.begin(), scratch_.end());
  scratch_.erase(std::unique(scratch_.begin(), scratch_.end()), scratch_.end());
  if (scratch_ == breakpoints_) return;
  // Translations stop short of the stops they were made for: the blocks that looked at an
  // address that became or ceased to be a stop are made again.
  changed_.clear();
  std::set_symmetric_difference(scratch_.begin(), scratch_.end(), breakpoints_.begin(),
                                breakpoints_.end(), std::back_inserter(changed_));
  if (breakpoints_.empty()) {
    // Their jumps to targets in registers never look at the map of stops.
    for (uint32_t start : unchecked_) {
      const auto it = blocks_.find(start);
      if (it != blocks_.end() && it->second->unchecked) Drop(start);
    }
    unchecked_.clear();
  }
  breakpoints_.swap(scratch_);
  for (uint32_t a : changed_) DropWatching(a);
  breakpointMap_.fill(0);
  for (uint32_t a : breakpoints_) {
    breakpointMap_[(a & 4095u) >> 3] |= static_cast<uint8_t>(1u << (a & 7u));
  }
}

void Translator::SetFences(std::span<const Processor::Watch> watches) {
  fences_.clear();
  for (const Processor::Watch& w : watches) {
    fences_.push_back({std::min(w.first, w.last), std::max(w.first, w.last)});
  }
  std::sort(fences_.begin(), fences_.end(),
            [](const Fence& x, const Fence& y) { return x.first < y.first; });
}

bool Translator::Narrow(const Segment& seg, uint32_t a, bool store, uint32_t& lo,
                        uint32_t& hi) const {
  lo = seg.lo;
  hi = seg.lo + seg.span;
  if (hi == UINT32_MAX && lo == 0) hi = UINT32_MAX - 1;  // the size must fit 32 bits
  for (const Fence& f : fences_) {
    if (f.first <= a && a <= f.last) return false;
    if (f.last < a) lo = std::max(lo, f.last + 1);
    if (f.first > a) hi = std::min(hi, f.first - 1);
  }
  if (store) {
    const auto next = codeWords_.lower_bound(a);
    if (next != codeWords_.end()) {
      if (next->first == a) return false;
      hi = std::min(hi, next->first - 1);
    }
    if (next != codeWords_.begin()) lo = std::max(lo, std::prev(next)->first + 1);
  }
  return lo <= a && a <= hi;
}

bool Translator::AimLoad(uint32_t a) {
  const Segment& seg = p_->Routing().Find(a);
  uint32_t lo = 0, hi = 0;
  if (seg.kind != Segment::Kind::ROM && seg.kind != Segment::Kind::RAM) return false;
  if (!Narrow(seg, a, false, lo, hi)) return false;
  ctx_.loadLo = lo;
  ctx_.loadSize = hi - lo + 1;
  ctx_.loadWords = seg.words + (lo - seg.lo);
  return true;
}

bool Translator::AimStore(uint32_t a) {
  const Segment& seg = p_->Routing().Find(a);
  uint32_t lo = 0, hi = 0;
  if (seg.kind != Segment::Kind::RAM) return false;
  if (!Narrow(seg, a, true, lo, hi)) return false;
  // Translated stores do not mark the pages they write (see WordStorage): the window covers
  // only pages already marked, around a's, which is marked now that a store goes there. A
  // store into another page leaves the code and comes here again, once per page.
  constexpr uint32_t kShift = WordStorage::kPageShift;
  constexpr uint32_t kReach = 4096;  // pages looked at on each side
  MarkWrittenAt(seg.written, a);
  auto marked = [&seg](uint32_t page) {
    return *reinterpret_cast<const uint8_t*>(seg.written + page) != 0;
  };
  uint32_t first = a >> kShift, last = a >> kShift;
  while (first > (lo >> kShift) && a - (first << kShift) < (kReach << kShift) &&
         marked(first - 1)) {
    --first;
  }
  while (last < (hi >> kShift) && (last << kShift) - a < (kReach << kShift) && marked(last + 1)) {
    ++last;
  }
  lo = std::max(lo, first << kShift);
  hi = std::min(hi, (last << kShift) | (WordStorage::kPageWords - 1));
  ctx_.storeLo = lo;
  ctx_.storeSize = hi - lo + 1;
  ctx_.storeWords = seg.words + (lo - seg.lo);
  return true;
}

}  // namespace

std::unique_ptr<BatchEngine> NewTranslator(const TranslatorOptions& options) {
  return std::make_unique<Translator>(options);
}

bool IsTranslator(const BatchEngine* engine) {
  return dynamic_cast<const Translator*>(engine) != nullptr;
}

uint64_t TranslatedCycles(const Processor& p) {
  const auto* translator = dynamic_cast<const Translator*>(p.GetBatchEngine());
  return translator != nullptr ? translator->Translated() : 0;
}

uint64_t Translations(const Processor& p) {
  const auto* translator = dynamic_cast<const Translator*>(p.GetBatchEngine());
  return translator != nullptr ? translator->Translations() : 0;
}

}  // namespace tervik::jit
