// Helpers for the core tests: instruction encoders, a small machine, and fake peripherals whose
// entry points record every call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Processor.h"

namespace tervik::test {

constexpr uint32_t Op(Opcode op) {
  return static_cast<uint32_t>(op) << 26;
}

// Register form: Rd, Ra, Rb.
constexpr uint32_t Rrr(Opcode op, unsigned rd, unsigned ra, unsigned rb) {
  return Op(op) | rd << 21 | ra << 16 | rb;
}
// Immediate form: Rd, Ra, imm16.
constexpr uint32_t Rri(Opcode op, unsigned rd, unsigned ra, uint16_t imm) {
  return Op(op) | rd << 21 | ra << 16 | imm;
}
// MOVEI group: Rd and imm16 with a sub-operation.
constexpr uint32_t Movei(MoveiSub sub, unsigned rd, uint16_t imm) {
  return Op(Opcode::MOVEI) | rd << 21 | static_cast<uint32_t>(sub) << 17 | imm;
}

// A processor with ROM at 0..0x3FF and RAM at 0x1000..0x8FFF (0x400..0xFFF is a gap).
struct Machine {
  static constexpr uint32_t kRom = 0, kRomSize = 0x400;
  static constexpr uint32_t kRam = 0x1000, kRamSize = 0x8000;

  Processor cpu;

  Machine() {
    cpu.AddRegion(kRom, kRomSize, RegionType::ROM);
    cpu.AddRegion(kRam, kRamSize, RegionType::RAM);
  }

  // Places the words at `at` and points pc there.
  void Load(uint32_t at, std::initializer_list<uint32_t> words) {
    uint32_t a = at;
    for (uint32_t w : words) cpu.WriteMem(a++, w);
    cpu.SetPC(at);
  }
};

// Everything a fake module's entry points were called with, in order ("Clock", "Read 3", ...).
inline std::vector<std::string>& CallLog() {
  static std::vector<std::string> log;
  return log;
}

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 at -O3 reports a false -Wrestrict inside the inlined std::string insert behind
// "literal" + std::string (GCC bug 105329); the strings here never overlap.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
// A fake peripheral: N tells instances apart in the log. ReadMem answers 0xA0000 + N * 0x1000
// plus the offset, so a test can tell which module served a read.
template <int N>
struct FakeModule {
  static inline uint32_t cpuWrites = 0;

  static void Log(const std::string& what) {
    CallLog().push_back("M" + std::to_string(N) + " " + what);
  }
  static int32_t Initialize(TervikMessageCallback, const char*) { return 0; }
  static void About(char* text) { text[0] = '\0'; }
  static uint32_t ReadMem(uint32_t offset) {
    Log("Read " + std::to_string(offset));
    return 0xA0000u + N * 0x1000u + offset;
  }
  static void WriteMem(uint32_t offset, uint32_t value) {
    Log("Write " + std::to_string(offset) + "=" + std::to_string(value));
  }
  static void CPUWriteMem(uint32_t offset, uint32_t value) {
    ++cpuWrites;
    Log("CPUWrite " + std::to_string(offset) + "=" + std::to_string(value));
  }
  static void Reset() { Log("Reset"); }
  static void Clock() { Log("Clock"); }
  // As `steps` calls of Clock, logged one by one, so that catch-up clocking logs what clocking
  // every step does.
  static uint32_t ClockSteps(uint32_t steps) {
    for (uint32_t i = 0; i < steps; ++i) Clock();
    return TERVIK_PLUGIN_CLOCK_IDLE;
  }

  static PluginEntryPoints Entry() {
    return {&About, &WriteMem, &CPUWriteMem, &ReadMem, &Initialize, &Reset, &Clock};
  }
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace tervik::test
