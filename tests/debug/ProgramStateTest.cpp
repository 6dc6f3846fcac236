// The debugger's one rule for a program's state, as a user meets it with the example stack.asm:
// a table of actions, each followed by what memory, the registers, the change markers, the hit
// count, the breakpoints and the console show. Then the session file kept beside a program (a
// table of missing, unreadable, binary and stale files, and a round trip through a new debugger),
// and the map a program runs in.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Debugger.h"
#include "RowSymbols.h"
#include "SessionFile.h"

namespace tervik::debug {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMap = "0x0000 0x1000 ROM\n0x1000 0x1000 RAM\n";

class Folder {
 public:
  Folder() {
    std::string name = (fs::temp_directory_path() / "tervik-state-XXXXXX").string();
    path_ = mkdtemp(name.data());
    for (const char* example : {"stack.asm", "counter.asm"}) {
      fs::copy_file(fs::path(TERVIK_EXAMPLES_DIR) / example, path_ / example);
    }
    Write("default.map", kMap);
  }
  ~Folder() {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(path_);
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return Path(name);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  fs::path path_;
};

struct Lines final : DebugListener {
  std::vector<std::string> lines;
  void ConsoleLine(std::string_view line) override { lines.emplace_back(line); }
  std::string Last() const { return lines.empty() ? std::string() : lines.back(); }
};

// The breakpoints and watchpoints as the session file keeps them, one "|"-separated item each.
std::string Kept(const Debugger& d) {
  std::string text = SessionText(Capture(d.GetSession(), d.Watches()));
  text.erase(0, text.find('\n') + 1);  // the heading
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (char& c : text) c = c == '\n' ? '|' : c;
  return text;
}

bool AnyMarker(const Processor& cpu) {
  bool any = cpu.pcChanged || cpu.srChanged || cpu.imChanged || cpu.spChanged || cpu.cChanged ||
             cpu.oChanged || cpu.nChanged || cpu.zChanged || cpu.lfsrChanged || cpu.memWritten;
  for (bool r : cpu.regChanged) any = any || r;
  return any;
}

// Run (F9) as the window's controller does it: to the end, then the console line.
void RunProgram(Debugger& d) {
  RunOperation op = d.GetSession().StartRun(true, 100000);
  d.Message(d.GetSession().Describe(d.GetSession().Finish(op)));
  d.NotifyMachine();
}

struct World {
  Folder folder;
  platform::PosixLibraryLoader libraries;
  Debugger debugger{libraries};
  Lines console;
  std::string stackSource = folder.Read("stack.asm");
  World() { debugger.AddListener(console); }
  ~World() { debugger.RemoveListener(console); }
};

struct Step {
  const char* action;
  std::function<void(World&)> act;
  uint32_t stackWord;  // M[0x1800]: CALL's return address once the program ran
  uint32_t pc;
  uint32_t sp;
  bool markers;         // any change marker set
  uint64_t hits;        // of breakpoint 1
  const char* kept;     // the breakpoints, as the session file keeps them
  const char* console;  // the console's last line holds this
};

void RunF9(World& w) {
  RunProgram(w.debugger);
}

uint32_t Mul(World& w) {
  return *w.debugger.GetSession().Symbols().Value("mul");
}

TEST(ProgramStateTest, OneRuleForReloadsResetsAndOtherPrograms) {
  const Step steps[] = {
      {"Open source stack.asm",
       [](World& w) { w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open); }, 0, 0,
       0, false, 0, "", "No session file stack.session: no breakpoints or watches to restore"},
      {"breakpoint at mul, Run",
       [](World& w) {
         w.debugger.ToggleBreakpoint(Mul(w));
         RunF9(w);
       },
       4, 0xF, 0x1809, true, 1, "break mul", "Breakpoint 1 at 0000000F after "},
      {"stack.asm saved with one more line: Reload on change",
       [](World& w) {
         w.stackSource += "; c\n";
         w.folder.Write("stack.asm", w.stackSource);
         w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Changed);
       },
       0, 0, 0, false, 0, "break mul", "Reloaded stack.asm (changed on disk): processor reset"},
      {"Run: the same stop as the first run", RunF9, 4, 0xF, 0x1809, true, 1, "break mul",
       "Breakpoint 1 at 0000000F after "},
      {"stop at hit 5, Run",
       [](World& w) {
         w.debugger.GetSession().SetStopAtHit(1, 5);
         w.debugger.NotifyBreakpoints();
         RunF9(w);
       },
       4, 0xF, 0x1805, true, 5, "break mul hit=5", "Breakpoint 1 at 0000000F after "},
      {"CPU > Reset", [](World& w) { w.debugger.Reset(); }, 4, 0, 0, true, 0, "break mul hit=5",
       "Breakpoint 1 at 0000000F after "},
      {"Run: stops at the fifth hit again", RunF9, 4, 0xF, 0x1805, true, 5, "break mul hit=5",
       "Breakpoint 1 at 0000000F after "},
      {"Open source counter.asm: another program",
       [](World& w) { w.debugger.OpenSource(w.folder.Path("counter.asm"), OpenCause::Open); }, 0,
       0xF, 0x1805, true, 0, "", "No session file counter.session: no breakpoints or watches"},
      {"Open source stack.asm: its breakpoint comes back",
       [](World& w) { w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open); }, 0, 0xF,
       0x1805, true, 0, "break mul hit=5",
       "Restored 1 breakpoint, 0 watchpoints and 0 watch expressions from stack.session"},
      {"Load LST file stack.lst: the same program, loaded as always",
       [](World& w) {
         w.debugger.OpenProgram(w.folder.Path("stack.lst"), w.folder.Path("stack.lst"),
                                OpenCause::Listing);
       },
       0, 0xF, 0x1805, true, 0, "break mul hit=5", "Loaded 6 symbols from stack.sym"},
      {"Reload previous LST file",
       [](World& w) {
         w.debugger.OpenProgram(w.folder.Path("stack.lst"), w.folder.Path("stack.lst"),
                                OpenCause::Reload);
       },
       0, 0, 0, false, 0, "break mul hit=5",
       "Reloaded stack.lst (Reload previous LST file): processor reset"},
      {"Run", RunF9, 4, 0xF, 0x1805, true, 5, "break mul hit=5", "Breakpoint 1 at 0000000F after "},
      {"stack.asm broken: the reload changes nothing",
       [](World& w) {
         w.folder.Write("stack.asm", w.stackSource + "  ADDI R1,R1,R1\n");
         w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Changed);
       },
       4, 0xF, 0x1805, true, 5, "break mul hit=5", ": error: expected an immediate as operand 3"},
      {"stack.asm mended, Open source again: a fresh start",
       [](World& w) {
         w.folder.Write("stack.asm", w.stackSource);
         w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open);
       },
       0, 0, 0, false, 0, "break mul hit=5", "Reloaded stack.asm (opened again): processor reset"},
      {"Run", RunF9, 4, 0xF, 0x1805, true, 5, "break mul hit=5", "Breakpoint 1 at 0000000F after "},
      {"stack.lst gone: Reload previous LST file clears memory and announces no fresh start",
       [](World& w) {
         fs::remove(w.folder.Path("stack.lst"));
         w.debugger.OpenProgram(w.folder.Path("stack.lst"), w.folder.Path("stack.lst"),
                                OpenCause::Reload);
       },
       0, 0xF, 0x1805, true, 5, "break mul hit=5", "Loaded 6 symbols from stack.sym"},
  };
  World w;
  for (const Step& step : steps) {
    step.act(w);
    Processor& cpu = w.debugger.Cpu();
    const Session& session = w.debugger.GetSession();
    EXPECT_EQ(cpu.ReadMem(0x1800), step.stackWord) << step.action;
    EXPECT_EQ(cpu.pc, step.pc) << step.action;
    EXPECT_EQ(cpu.sp, step.sp) << step.action;
    if (step.pc == 0) {
      bool zero = cpu.sr == 0 && cpu.lfsr == 0;
      for (uint32_t r : cpu.r) zero = zero && r == 0;
      EXPECT_TRUE(zero) << step.action << ": a register kept its value";
    }
    EXPECT_EQ(AnyMarker(cpu), step.markers) << step.action;
    EXPECT_EQ(session.Breakpoints().empty() ? 0 : session.Settings(1).hits, step.hits)
        << step.action;
    EXPECT_EQ(Kept(w.debugger), step.kept) << step.action;
    EXPECT_NE(w.console.Last().find(step.console), std::string::npos)
        << step.action << ": " << w.console.Last();
  }
  // One console line tells of the reload: the loaders' lines, then it.
  const auto reloaded =
      std::count_if(w.console.lines.begin(), w.console.lines.end(),
                    [](const std::string& l) { return l.starts_with("Reloaded"); });
  EXPECT_EQ(reloaded, 3);
}

// The session file beside a program: whatever is wrong with it is one console line, and the
// program opens with what could be used.
TEST(ProgramStateTest, BrokenSessionFilesAreOneLineAndSkipped) {
  const struct {
    const char* name;
    std::string text;  // empty: no file; "/": a folder in its place
    const char* line;  // the console's last line starts with this
    const char* kept;
  } cases[] = {
      {"missing", "", "No session file stack.session: no breakpoints or watches to restore", ""},
      {"a folder", "/", "Cannot read the session file stack.session: ", ""},
      {"binary",
       std::string("\x7f"
                   "ELF\0\x01\n",
                   7),
       "Restored 0 breakpoints, 0 watchpoints and 0 watch expressions from stack.session; "
       "skipped 1: line 1: not a session line",
       ""},
      {"stale and broken lines",
       "; Tervik session\nbreak gone+2\nbreak mul hit=2\nwatch fact..fact+1 rw off\n"
       "expr M[SP-1]\nbreak\n",
       "Restored 1 breakpoint, 1 watchpoint and 1 watch expression from stack.session; skipped "
       "2: line 6: break needs an address; gone+2: undefined symbol 'gone'",
       "break mul hit=2|watch fact..fact+1 rw off|expr M[SP-1]"},
  };
  for (const auto& c : cases) {
    World w;
    if (c.text == "/") {
      fs::create_directory(w.folder.Path("stack.session"));
    } else if (!c.text.empty()) {
      w.folder.Write("stack.session", c.text);
    }
    w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open);
    EXPECT_EQ(w.console.Last().rfind(c.line, 0), 0u) << c.name << ": " << w.console.Last();
    EXPECT_EQ(Kept(w.debugger), c.kept) << c.name;
  }
}

// What a program keeps outlives the debugger: saved when it is destroyed, restored by the next
// one that opens the same program, never given to another program.
TEST(ProgramStateTest, SessionOutlivesTheDebuggerAndStaysWithItsProgram) {
  Folder folder;
  platform::PosixLibraryLoader libraries;
  const std::string kept =
      "break fact+2 off if R1 == 1|break mul hit=3|watch 0x00001800..0x00001803 w|expr R1 + R2";
  {
    Debugger d(libraries);
    d.OpenSource(folder.Path("stack.asm"), OpenCause::Open);
    Session& s = d.GetSession();
    d.ToggleBreakpoint(*s.Symbols().Value("fact") + 2);
    d.ToggleBreakpoint(*s.Symbols().Value("mul"));
    ASSERT_TRUE(s.SetCondition(1, "R1 == 1").ok());
    s.SetEnabled(1, false);
    s.SetStopAtHit(2, 3);
    s.AddWatchpoint(0x1800, 0x1803, WatchAccess::Write);
    d.Watches().Add("R1 + R2");
    EXPECT_EQ(Kept(d), kept);
  }
  Debugger d(libraries);
  Lines console;
  d.AddListener(console);
  d.OpenSource(folder.Path("counter.asm"), OpenCause::Open);
  EXPECT_EQ(Kept(d), "");
  d.OpenSource(folder.Path("stack.asm"), OpenCause::Open);
  EXPECT_EQ(Kept(d), kept);
  EXPECT_EQ(console.Last(),
            "Restored 2 breakpoints, 1 watchpoint and 1 watch expression from stack.session");
  // A program that never kept anything leaves no file behind.
  EXPECT_FALSE(fs::exists(folder.Path("counter.session")));
  d.RemoveListener(console);
}

// Opening a program uses the map of its folder; Load LST file keeps the map in use and hints at
// the folder's own.
TEST(ProgramStateTest, ProgramsRunInTheMapOfTheirFolder) {
  World w;
  const std::string other = (fs::path(w.folder.Path("")) / "other").string();
  fs::create_directory(other);
  fs::copy_file(w.folder.Path("counter.asm"), other + "/counter.asm");
  const std::string otherMap = other + "/default.map";
  std::ofstream(otherMap) << "0x0000 0x100 ROM\n0x1000 0x100 RAM\n";

  w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open);
  EXPECT_EQ(w.debugger.MapPath(), w.folder.Path("default.map"));
  EXPECT_EQ(w.debugger.Cpu().Regions().size(), 2u);
  const auto said = [&](const std::string& text) {
    return std::find(w.console.lines.begin(), w.console.lines.end(), text) != w.console.lines.end();
  };
  EXPECT_TRUE(said("Using the memory map default.map of the program's folder"));

  // Another folder's program runs in its own map, said once.
  w.console.lines.clear();
  w.debugger.OpenSource(other + "/counter.asm", OpenCause::Open);
  EXPECT_EQ(w.debugger.MapPath(), otherMap);
  EXPECT_EQ(w.debugger.Cpu().Regions()[0].size, 0x100u);
  EXPECT_TRUE(said("Using the memory map default.map of the program's folder"));
  EXPECT_TRUE(said("Loading memory map from default.map..."));

  // Load LST file of stack.lst keeps the other map and says so.
  w.console.lines.clear();
  fs::current_path(other);
  w.debugger.HintFolderMap(w.folder.Path("stack.lst"));
  w.debugger.OpenProgram(w.folder.Path("stack.lst"), w.folder.Path("stack.lst"),
                         OpenCause::Listing);
  EXPECT_EQ(w.debugger.MapPath(), otherMap);
  ASSERT_FALSE(w.console.lines.empty());
  EXPECT_EQ(w.console.lines.front(), "The listing's folder has its own " +
                                         w.folder.Path("default.map") +
                                         "; the memory map in use is default.map (Load memory "
                                         "map to change it)");
  // No hint where the listing's folder has no map of its own, or has the map in use.
  w.console.lines.clear();
  fs::remove(w.folder.Path("default.map"));
  w.debugger.HintFolderMap(w.folder.Path("stack.lst"));
  w.debugger.HintFolderMap(other + "/counter.lst");
  EXPECT_TRUE(w.console.lines.empty());
  // A folder without a map keeps the map in use.
  w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open);
  EXPECT_TRUE(
      said("Using the memory map other/default.map: the program's folder has no default.map"));
}

// The disassembly names the label a word reaches where the source wrote a symbol, and the
// target of every branch and jump, never a constant that equals a label's address.
TEST(ProgramStateTest, TargetsOnlyWhereTheSourceUsedASymbol) {
  World w;
  w.debugger.OpenSource(w.folder.Path("stack.asm"), OpenCause::Open);
  Session& s = w.debugger.GetSession();
  const auto target = [&](uint32_t address) {
    const RowSymbols row =
        SymbolsForRow(s.Symbols(), address, *s.PeekWord(address), s.PeekWord(address - 1));
    return row.target ? *row.target : std::string();
  };
  const struct {
    uint32_t address;
    const char* source;
    const char* target;
  } rows[] = {
      {1, "MOVEL R9,fact%", "fact"},  {2, "MOVEL R1,5% (fact is 5)", ""},
      {4, "JUMPI halt%", "halt"},     {5, "BNZEI R1,recurse%", "recurse"},
      {0x11, "BNZEI R4,mul%", "mul"}, {0xE, "MOVEL R2,0% (start is 0)", ""},
  };
  for (const auto& r : rows) EXPECT_EQ(target(r.address), r.target) << r.source;
  // An older symbol file, without uses: branches and jumps only.
  std::string old;
  std::istringstream in(w.folder.Read("stack.sym"));
  for (std::string line; std::getline(in, line);) {
    if (line.find(" U ") == std::string::npos) old += line + "\n";
  }
  w.debugger.LoadSymbolFile(w.folder.Write("old.sym", old), true, false);
  ASSERT_EQ(s.Symbols().size(), 6u);
  for (const auto& r : rows) {
    const bool flow = r.address == 4 || r.address == 5 || r.address == 0x11;
    EXPECT_EQ(target(r.address), flow ? r.target : "") << r.source << " (older file)";
  }
}

}  // namespace
}  // namespace tervik::debug
