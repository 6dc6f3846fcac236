// Fuzzes the history: a random program (with a module whose values depend on its clocks, reads
// and writes) runs under a random mix of forward commands (single steps, batches with a
// breakpoint) and reverse ones (step back, step back over and out, reverse continue, last
// write, a jump to any recorded instruction, the present). After each command the state must be
// exactly the one single steps from Reset reach at the same instruction count: registers,
// markers and RAM; and a replay must never run out of recorded module values.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "Recorder.h"
#include "Reverse.h"
#include "Session.h"

using namespace tervik;

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = w << 8 | Byte();
    return w;
  }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool More() const { return pos_ < size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A module at 0x2000..0x2003 whose reads depend on everything done to it. Two instances: the
// reference and the session under test each clock their own, in whatever order they run.
template <int Instance>
struct Device {
  static inline uint32_t state = 0;
  static uint32_t Read(uint32_t offset) {
    state = state * 1103515245u + 12345u + offset;
    return state >> 7;
  }
  static void Write(uint32_t offset, uint32_t value) { state ^= value + offset; }
  static void Clock() { ++state; }
  static void Reset() { state = 0; }
  static void About(char*) {}
  static int32_t Init(TervikMessageCallback, const char*) { return 0; }
  static PluginEntryPoints Entry() {
    PluginEntryPoints e;
    e.About = About;
    e.WriteMem = Write;
    e.CPUWriteMem = Write;
    e.ReadMem = Read;
    e.Initialize = Init;
    e.Reset = Reset;
    e.Clock = Clock;
    return e;
  }
};

constexpr uint32_t kRam = 0x1000, kRamSize = 0x400;
// Short histories: an input explores more commands per second than it would steps, and every
// kind of command still crosses several checkpoints (the interval is 1 to 200).
constexpr uint64_t kMaxSteps = 1000;

struct Seen {
  CpuState cpu;
  history::Markers markers;
  uint64_t ram;
  bool operator==(const Seen&) const = default;
};

uint64_t RamHash(Processor& p) {
  uint64_t h = 1469598103934665603ull;
  for (uint32_t a = kRam; a < kRam + kRamSize; ++a) h = (h ^ p.ReadMem(a)) * 1099511628211ull;
  return h;
}

Seen Observe(Processor& p) {
  return {p, history::Markers::Of(p), RamHash(p)};
}

void SetUp(Processor& p, const std::vector<uint32_t>& program, const CpuState& start,
           const PluginEntryPoints& device) {
  p.AddRegion(0, 0x100, RegionType::ROM);
  p.AddRegion(kRam, kRamSize, RegionType::RAM);
  p.AddRegion(0x2000, 4, RegionType::DLL, device);
  for (uint32_t i = 0; i < program.size(); ++i) p.WriteMem(kRam + i, program[i]);
  p.Reset();
  static_cast<CpuState&>(p) = start;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::vector<uint32_t> program(16 + in.Byte() % 48);
  for (uint32_t& w : program) {
    w = in.Word();
    // Keep addresses near RAM, the stack and the module more often than not.
    if ((w & 0x300) == 0) w = (w & 0xFFFF0000u) | (kRam + (w & 0x3F));
  }
  CpuState start;
  start.pc = kRam;
  start.sp = kRam + 0x200 + in.Byte();
  for (int i = 0; i < 4; ++i) start.r[i + 1] = i == 0 ? 0x2000 + in.Byte() % 4 : in.Word();

  // The reference: single steps from Reset, taken only as far as the commands reach.
  Processor referenceCpu;
  SetUp(referenceCpu, program, start, Device<0>::Entry());
  std::vector<Seen> reference{Observe(referenceCpu)};
  auto referenceAt = [&](uint64_t count) -> const Seen& {
    while (reference.size() <= count) {
      referenceCpu.Step();
      reference.push_back(Observe(referenceCpu));
    }
    return reference[count];
  };

  debug::Session s;
  Processor& cpu = s.Cpu();
  s.History().SetEnabled(true);
  s.History().SetInterval(1 + in.Byte() % 200);
  SetUp(cpu, program, start, Device<1>::Entry());
  debug::Reverse reverse(s);
  for (int command = 0; command < 40 && in.More(); ++command) {
    const uint64_t now = s.History().Now();
    const uint8_t kind = in.Byte() % 10;
    const uint32_t arg = in.Word();
    s.ClearBreakpoints();
    s.ClearWatchpoints();
    switch (kind) {
      case 0: {
        const uint64_t n = std::min<uint64_t>(1 + arg % 50, kMaxSteps - now);
        for (uint64_t i = 0; i < n; ++i) cpu.Step();
        break;
      }
      case 1: {
        const uint32_t breakpoint[] = {kRam + (arg >> 16) % static_cast<uint32_t>(program.size())};
        cpu.RunBatch(std::min<uint64_t>(1 + (arg & 0xFFFF) % 1000, kMaxSteps - now), breakpoint);
        break;
      }
      case 2: reverse.StepBack(); break;
      case 3: reverse.StepOverBack(); break;
      case 4: reverse.StepOutBack(); break;
      case 5:
        s.ToggleBreakpoint(kRam + arg % static_cast<uint32_t>(program.size()));
        if ((arg >> 8) % 3 == 0) s.AddWatchpoint(kRam + (arg >> 12) % 64, kRam + (arg >> 12) % 64);
        reverse.ContinueBack();
        break;
      case 6: reverse.LastWrite(kRam + arg % 0x300); break;
      case 7: reverse.RunBackTo(kRam + arg % static_cast<uint32_t>(program.size())); break;
      case 8:
        if (s.History().Present() > 0) s.History().Seek(arg % (s.History().Present() + 1));
        break;
      default: reverse.Present(); break;
    }
    const uint64_t at = s.History().Now();
    if (at > kMaxSteps) fuzz::Broken("ran past the reference");
    if (!(Observe(cpu) == referenceAt(at))) fuzz::Broken("state differs from single steps");
    if (s.History().Diverged()) fuzz::Broken("a replay ran out of module values");
    if (s.History().InPast() != (at < s.History().Present())) fuzz::Broken("past and present");
  }
  return 0;
}
