// A user's edits through the debugger, as one table: what is edited (a register or a memory
// word), the value before and the value typed, against the value stored, the change markers
// afterwards and what the listeners were told. Markers set before the edit (R07's, and the last
// write at 0x1005) must survive an edit that changes nothing; an accepted edit is told once
// whether it changed the value or not (the views then show what the user confirmed), a refused
// one not at all.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "Debugger.h"
#include "Inspection.h"
#include "Reverse.h"

namespace tervik::debug {
namespace {

struct Recorder final : DebugListener {
  std::vector<std::string> told;
  void MachineChanged() override { told.push_back("machine"); }
  void BreakpointsChanged() override { told.push_back("breakpoints"); }
  void SymbolsChanged() override { told.push_back("symbols"); }
  void RegionsChanged() override { told.push_back("regions"); }
  void ConsoleLine(std::string_view line) override { told.push_back(std::string(line)); }
};

// The markers that are set, by name ("R07", "PC", "SR", "N", ..., "M@1003" for the last write).
std::string Markers(const Processor& cpu) {
  std::string set;
  auto add = [&](bool on, const std::string& name) {
    if (on) set += (set.empty() ? "" : " ") + name;
  };
  add(cpu.pcChanged, "PC");
  add(cpu.spChanged, "SP");
  add(cpu.imChanged, "IM");
  add(cpu.lfsrChanged, "LFSR");
  add(cpu.srChanged, "SR");
  add(cpu.nChanged, "N");
  add(cpu.zChanged, "Z");
  add(cpu.cChanged, "C");
  add(cpu.oChanged, "O");
  for (unsigned n = 0; n < 32; ++n)
    add(cpu.regChanged[n], (n < 10 ? "R0" : "R") + std::to_string(n));
  char word[16];
  std::snprintf(word, sizeof word, "M@%X", cpu.lastWriteAddress);
  add(cpu.memWritten, word);
  return set;
}

using Target = std::variant<RegisterId, uint32_t>;  // a register, or a word's address

struct EditCase {
  const char* name;
  Target target;
  uint32_t before;
  uint32_t typed;
  bool accepted;    // EditWord's answer (a register edit is always taken)
  uint32_t stored;  // the value read back afterwards
  const char* markers;
  const char* told;  // "machine" or "" (refused)
};

const EditCase kCases[] = {
    {"R05 changed", GeneralRegister(5), 0, 0x1234, true, 0x1234, "R05 R07 M@1005", "machine"},
    {"R05 same value", GeneralRegister(5), 9, 9, true, 9, "R07 M@1005", "machine"},
    {"R31 to zero", GeneralRegister(31), 0xFFFFFFFF, 0, true, 0, "R07 R31 M@1005", "machine"},
    {"PC", RegisterId::PC, 0, 0x40, true, 0x40, "PC R07 M@1005", "machine"},
    {"SP same value", RegisterId::SP, 0x800, 0x800, true, 0x800, "R07 M@1005", "machine"},
    {"IM", RegisterId::IM, 0, 1, true, 1, "IM R07 M@1005", "machine"},
    {"LFSR", RegisterId::LFSR, 1, 0x80000000, true, 0x80000000, "LFSR R07 M@1005", "machine"},
    {"SR high bits dropped", RegisterId::SR, 0, 0xFFFFFFF5, true, 5, "SR N C R07 M@1005",
     "machine"},
    {"SR one flag", RegisterId::SR, 5, 4, true, 4, "SR N R07 M@1005", "machine"},
    {"SR only high bits", RegisterId::SR, 5, 0x15, true, 5, "R07 M@1005", "machine"},
    {"ROM word", uint32_t{0x3}, 0, 0xCAFE, true, 0xCAFE, "R07 M@3", "machine"},
    {"RAM word", uint32_t{0x1001}, 7, 0xCAFE, true, 0xCAFE, "R07 M@1001", "machine"},
    {"RAM word same value", uint32_t{0x1001}, 7, 7, true, 7, "R07 M@1005", "machine"},
    {"unmapped word", uint32_t{0x10}, 0xFFFFFFFF, 0xCAFE, false, 0xFFFFFFFF, "R07 M@1005", ""},
};

TEST(DebuggerTest, EditsMarkOnlyChangesAndNotifyOnce) {
  for (const EditCase& c : kCases) {
    platform::PosixLibraryLoader libraries;
    Debugger debugger(libraries);
    Processor& cpu = debugger.Cpu();
    cpu.AddRegion(0, 16, RegionType::ROM);
    cpu.AddRegion(0x1000, 16, RegionType::RAM);
    if (const RegisterId* id = std::get_if<RegisterId>(&c.target)) {
      Edit(cpu, *id, c.before);
    } else {
      EditWord(cpu, std::get<uint32_t>(c.target), c.before);
    }
    cpu.pcChanged = cpu.spChanged = cpu.imChanged = cpu.lfsrChanged = cpu.srChanged = false;
    cpu.nChanged = cpu.zChanged = cpu.cChanged = cpu.oChanged = false;
    cpu.regChanged = {};
    cpu.regChanged[7] = true;
    cpu.memWritten = true;
    cpu.lastWriteAddress = 0x1005;

    Recorder recorder;
    debugger.AddListener(recorder);
    uint32_t after = 0;
    if (const RegisterId* id = std::get_if<RegisterId>(&c.target)) {
      EXPECT_EQ(debugger.EditRegister(*id, c.typed), c.stored) << c.name;
      after = ReadRegister(cpu, *id);
    } else {
      const uint32_t a = std::get<uint32_t>(c.target);
      EXPECT_EQ(debugger.EditWord(a, c.typed), c.accepted) << c.name;
      after = cpu.ReadMem(a);
    }
    EXPECT_EQ(after, c.stored) << c.name;
    EXPECT_EQ(Markers(cpu), c.markers) << c.name;
    const std::string told = recorder.told.empty() ? "" : recorder.told.front();
    EXPECT_EQ(told, c.told) << c.name;
    EXPECT_LE(recorder.told.size(), 1u) << c.name << ": told once per change";
    debugger.RemoveListener(recorder);
  }
}

// The rule for the past, whichever front end edits: in the past memory, registers and pc are
// refused with one console line and the history stays whole (a step replays on); breakpoints
// and conditions may change; a reset says that the history after the instruction shown went.
TEST(DebuggerTest, ThePastIsNotEdited) {
  using Command = std::function<bool(Debugger&)>;
  const std::string refused = kPastEditRefused;
  const struct {
    const char* name;
    Command command;  // true when it reports success
    bool succeeds;
    std::string line;  // the console's lines, '|' between
    uint64_t present;  // the history's present after one step more
    uint32_t r5;       // R05 after that step
  } cases[] = {
      {"word", [](Debugger& d) { return d.EditWord(0x1001, 7); }, false, refused, 20, 6},
      {"register", [](Debugger& d) { return d.EditRegister(GeneralRegister(5), 99) == 99; }, false,
       refused, 20, 6},
      {"register, told",
       [](Debugger& d) {
         uint32_t stored = 0;
         return d.EditRegister(GeneralRegister(5), 99, stored) || stored != 5;
       },
       false, refused, 20, 6},
      {"pc", [](Debugger& d) { return d.SetPC(0); }, false, refused, 20, 6},
      {"may edit", [](Debugger& d) { return d.MayEdit(); }, false, refused, 20, 6},
      {"breakpoint",
       [](Debugger& d) {
         d.ToggleBreakpoint(1);
         return d.GetSession().IsBreakpoint(1);
       },
       true, "", 20, 6},
      {"condition",
       [](Debugger& d) {
         d.ToggleBreakpoint(0);
         return d.GetSession().SetCondition(1, "R5 == 3").ok();
       },
       true, "", 20, 6},
      {"reset",
       [](Debugger& d) {
         d.Reset();
         return true;
       },
       true, "Reset: the history after instruction 10 was dropped; recording starts again", 1, 1},
  };
  for (const auto& c : cases) {
    platform::PosixLibraryLoader libraries;
    Debugger debugger(libraries);
    Processor& cpu = debugger.Cpu();
    cpu.AddRegion(0, 16, RegionType::ROM);
    cpu.AddRegion(0x1000, 16, RegionType::RAM);
    // R5 counts: ADDI R5,R5,1 then a jump back to it.
    cpu.WriteMem(0, static_cast<uint32_t>(Opcode::ADDI) << 26 | 5u << 21 | 5u << 16 | 1u);
    cpu.WriteMem(1, static_cast<uint32_t>(Opcode::JUMPI) << 26 | 0xFFFFu);
    history::Recorder& history = debugger.GetSession().History();
    history.SetEnabled(true);
    for (int i = 0; i < 20; ++i) debugger.Step();
    ASSERT_TRUE(history.Seek(10)) << c.name;
    ASSERT_TRUE(debugger.InPast()) << c.name;

    Recorder recorder;
    debugger.AddListener(recorder);
    EXPECT_EQ(c.command(debugger), c.succeeds) << c.name;
    std::string lines;
    for (const std::string& told : recorder.told) {
      if (told != "machine" && told != "breakpoints") lines += (lines.empty() ? "" : "|") + told;
    }
    EXPECT_EQ(lines, c.line) << c.name;
    EXPECT_EQ(cpu.ReadMem(0x1001), 0u) << c.name;
    debugger.Step();
    EXPECT_EQ(history.Present(), c.present) << c.name;
    EXPECT_EQ(cpu.r[5], c.r5) << c.name;
    debugger.RemoveListener(recorder);
  }
}
}  // namespace
}  // namespace tervik::debug
