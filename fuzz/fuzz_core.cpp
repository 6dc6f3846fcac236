// Fuzzes the processor: random regions, memory contents and registers, then a bounded number of
// cycles run twice, once by single steps and once as a batch (with up to three breakpoints near
// pc and, at times, the stop on a standstill), which must agree exactly, memory included. Along
// the way: sr never has bits beyond the four flags, and unmapped words read as all ones.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "Processor.h"

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

uint32_t deviceReads = 0;
uint32_t DevRead(uint32_t offset) {
  return offset ^ ++deviceReads;
}
void DevWrite(uint32_t, uint32_t) {}
void DevNothing() {}
void DevAbout(char*) {}
int32_t DevInit(TervikMessageCallback, const char*) {
  return 0;
}

// How the batch is asked to run.
struct RunRequest {
  uint32_t steps = 0;
  std::vector<uint32_t> breakpoints;
  Processor::OnStall onStall = Processor::OnStall::Continue;
};

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
    p.AddRegion(start, size32, type, type == RegionType::DLL ? device : PluginEntryPoints{});
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
  // The rest: words to place, each at pc plus a small offset or at a register's address.
  while (in.More()) {
    const uint8_t where = in.Byte();
    const uint32_t a = where < 128 ? p.pc + where : p.r[where % 32] + (where >> 5);
    p.WriteMem(a, in.Word());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Processor stepped, batched;
  RunRequest run;
  deviceReads = 0;
  Build(stepped, data, size, run);
  deviceReads = 0;
  Build(batched, data, size, run);
  const uint32_t startPc = stepped.pc;

  const uint32_t readsBefore = deviceReads;
  uint32_t steps = 0;
  auto atBreakpoint = [&]() {
    for (uint32_t a : run.breakpoints) {
      if (stepped.pc == a) return true;
    }
    return false;
  };
  while (steps < run.steps) {
    stepped.Step();
    ++steps;
    if (stepped.sr & ~0xFu) fuzz::Broken("sr bits beyond the flags");
    if (atBreakpoint()) break;
    if (run.onStall == Processor::OnStall::Stop && !stepped.pcChanged) break;
  }
  deviceReads = readsBefore;
  if (batched.RunBatch(run.steps, run.breakpoints, run.onStall) != steps) {
    fuzz::Broken("batch and single steps run different numbers of cycles");
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
