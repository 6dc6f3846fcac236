// The session file kept beside a program never loses what is in it: a table of files (links to a
// file in the folder and out of it, a FIFO, a file too large to read, one nearly at the limit,
// lines the debugger does not know, comments, labels that are gone, another window's changes),
// each opened and quit as it is and with a change, the file's bytes compared before and after.
// Then the lines a change rewrites against a reader's round trip, on random edits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Debugger.h"
#include "SessionDocument.h"
#include "SessionFile.h"
#include "SessionStore.h"

namespace tervik::debug {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A folder with stack.asm and its map, and a folder beside it that stands for the user's files.
struct Folders {
  fs::path program;
  fs::path outside;
  Folders() {
    std::string name = (fs::temp_directory_path() / "tervik-keep-XXXXXX").string();
    const fs::path root = mkdtemp(name.data());
    program = root / "program";
    outside = root / "home";
    fs::create_directories(program);
    fs::create_directories(outside);
    fs::copy_file(fs::path(TERVIK_EXAMPLES_DIR) / "stack.asm", program / "stack.asm");
    WriteFile(program / "default.map", "0x0000 0x1000 ROM\n0x1000 0x1000 RAM\n");
  }
  ~Folders() {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(program.parent_path());
  }
  fs::path Session() const { return program / "stack.session"; }
};

struct Console final : DebugListener {
  std::vector<std::string> lines;
  void ConsoleLine(std::string_view line) override { lines.emplace_back(line); }
  size_t Starting(const std::string& start) const {
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(start, 0) == 0; }));
  }
};

uint32_t Label(Debugger& d, const char* name) {
  return *d.GetSession().Symbols().Value(name);
}

// What is at stack.session before the program is opened.
enum class Kind { Link, LinkOut, Fifo, TooLarge, NearlyFull, Unknown, Comments, Unresolved, Two };

constexpr const char* kVictim = "export SECRET=1\n";
constexpr const char* kUnknown = "; Tervik session\ntrace on\nbreak 0x3\nexpr R1\n";
constexpr const char* kComments = "; my notes\n\n;break mul\nbreak fact\n  ; a note\nexpr SP\n";
constexpr const char* kUnresolved = "break nosuchlabel+1\nbreak fact if R1 == 1\nexpr R2";
constexpr const char* kRefused = "Not writing the session file stack.session: ";

TEST(SessionKeepingTest, FilesAreKeptUnlessTheUserChangedSomething) {
  const std::string tooLarge(kMaxSessionFileBytes + 1, ';');
  // Leaves room for the heading's line end but not for "break mul".
  const std::string nearlyFull = std::string(kMaxSessionFileBytes - 4, ';') + "\n";
  const struct {
    const char* name;
    Kind kind;
    std::function<void(Debugger&)> change;  // null: open and quit
    std::string after;                      // the file's text then; "=" for unchanged
    const char* said;  // a console line said exactly once, or null for none of kRefused
  } cases[] = {
      {"link to a file, open and quit", Kind::Link, nullptr, "=", nullptr},
      {"link to a file, change and quit", Kind::Link,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "mul")); }, "=",
       "Not writing the session file stack.session: it is a symbolic link"},
      {"link out of the folder, open and quit", Kind::LinkOut, nullptr, "=", nullptr},
      {"link out of the folder, change and quit", Kind::LinkOut,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "mul")); }, "=",
       "Not writing the session file stack.session: it is a symbolic link"},
      {"FIFO, open and quit", Kind::Fifo, nullptr, "=", nullptr},
      {"FIFO, change and quit", Kind::Fifo,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "mul")); }, "=",
       "Not writing the session file stack.session: it is a FIFO"},
      {"too large, open and quit", Kind::TooLarge, nullptr, "=", nullptr},
      {"too large, change and quit", Kind::TooLarge,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "mul")); }, "=",
       "Not writing the session file stack.session: it could not be read whole"},
      {"nearly full, change and quit", Kind::NearlyFull,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "mul")); }, "=",
       "Not writing the session file stack.session: it would be larger than"},
      {"unknown lines, open and quit", Kind::Unknown, nullptr, "=", nullptr},
      {"unknown lines, change and quit", Kind::Unknown,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "mul")); },
       std::string(kUnknown) + "break mul\n", nullptr},
      {"comments, open and quit", Kind::Comments, nullptr, "=", nullptr},
      {"comments, change and quit", Kind::Comments,
       [](Debugger& d) { d.ToggleBreakpoint(Label(d, "fact")); },
       "; my notes\n\n;break mul\n  ; a note\nexpr SP\n", nullptr},
      {"unresolved labels, open and quit", Kind::Unresolved, nullptr, "=", nullptr},
      {"unresolved labels, change and quit", Kind::Unresolved,
       [](Debugger& d) {
         ASSERT_TRUE(d.GetSession().SetCondition(1, "R1 == 2").ok());
         d.Watches().Edit(0, "R3");
       },
       "break nosuchlabel+1\nbreak fact if R1 == 2\nexpr R3", nullptr},
      {"two windows, open and quit", Kind::Two, nullptr, "break fact\nbreak fact+2\n", nullptr},
      {"two windows, change and quit", Kind::Two,
       [](Debugger& d) {
         d.ToggleBreakpoint(Label(d, "fact"));
         d.ToggleBreakpoint(Label(d, "mul"));
       },
       "break fact+2\nbreak mul\n",
       "The session file stack.session was changed by another window since this one read it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Folders folders;
    const fs::path session = folders.Session();
    fs::path read = session;  // where the file's bytes are
    std::string before;
    int fifo = -1;
    switch (c.kind) {
      case Kind::Link:
      case Kind::LinkOut:
        read = (c.kind == Kind::Link ? folders.program : folders.outside) / "victim.txt";
        WriteFile(read, before = kVictim);
        fs::create_symlink(c.kind == Kind::Link ? fs::path("victim.txt") : read, session);
        break;
      case Kind::Fifo:
        ASSERT_EQ(mkfifo(session.c_str(), 0600), 0);
        // A reader, so that a write would not block the test but show up here.
        fifo = open(session.c_str(), O_RDONLY | O_NONBLOCK);
        break;
      case Kind::TooLarge: WriteFile(session, before = tooLarge); break;
      case Kind::NearlyFull: WriteFile(session, before = nearlyFull); break;
      case Kind::Unknown: WriteFile(session, before = kUnknown); break;
      case Kind::Comments: WriteFile(session, before = kComments); break;
      case Kind::Unresolved: WriteFile(session, before = kUnresolved); break;
      case Kind::Two: WriteFile(session, before = "break fact\n"); break;
    }
    platform::PosixLibraryLoader libraries;
    Console console;
    {
      Debugger first(libraries);
      first.AddListener(console);
      first.OpenSource((folders.program / "stack.asm").string(), OpenCause::Open);
      if (c.kind == Kind::Two) {
        // Another window on the same program adds a breakpoint and quits.
        Debugger second(libraries);
        second.OpenSource((folders.program / "stack.asm").string(), OpenCause::Open);
        second.ToggleBreakpoint(Label(second, "fact") + 2);
      }
      if (c.change) c.change(first);
      // The window saves after each change; a file it must not write is said once.
      first.SaveProgramSession();
      first.SaveProgramSession();
      first.RemoveListener(console);
    }
    if (c.said) {
      EXPECT_EQ(console.Starting(c.said), 1u);
    } else {
      EXPECT_EQ(console.Starting(kRefused), 0u);
    }
    if (c.kind == Kind::Fifo) {
      char byte = 0;
      EXPECT_LE(::read(fifo, &byte, 1), 0) << "something was written to the FIFO";
      close(fifo);
      EXPECT_TRUE(fs::is_fifo(fs::symlink_status(session)));
      continue;
    }
    if (c.kind == Kind::Link || c.kind == Kind::LinkOut) {
      EXPECT_TRUE(fs::is_symlink(fs::symlink_status(session)));
    }
    // Compared whole, shown in part: some files are megabytes long.
    const std::string now = ReadFile(read);
    const std::string& want = c.after == "=" ? before : c.after;
    EXPECT_TRUE(now == want) << now.size() << " bytes: " << now.substr(0, 200) << "\nwanted "
                             << want.size() << " bytes: " << want.substr(0, 200);
  }
}

// Symbols for the random sessions: labels every 0x40 words below 0x1000.
SymbolTable RandomSymbols() {
  std::vector<SymbolEntry> entries;
  for (uint32_t i = 0; i < 0x40; ++i) entries.push_back({"l" + std::to_string(i), i * 0x40, true});
  return SymbolTable(std::move(entries));
}

// The items as a reader of the text restores them, breakpoints and watchpoints in address
// order (a breakpoint removed and set again keeps its old line, so its number may differ).
SessionState Restored(const std::string& text) {
  Session session;
  session.SetSymbols(RandomSymbols());
  WatchList watches;
  Apply(ReadSessionText(text).session, session, watches);
  SessionState state = StateOf(session, watches);
  std::sort(state.breakpoints.begin(), state.breakpoints.end(),
            [](const auto& a, const auto& b) { return a.address < b.address; });
  std::sort(state.watchpoints.begin(), state.watchpoints.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first, a.last, a.access) < std::tie(b.first, b.last, b.access);
  });
  return state;
}

bool operator==(const SessionState& a, const SessionState& b) {
  return a.breakpoints == b.breakpoints && a.watchpoints == b.watchpoints &&
         a.expressions == b.expressions;
}

// The lines that are no item of the session, in their order.
std::vector<std::string> Foreign(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const SessionLine read = ReadSessionLine(line);
    if (read.kind == SessionLine::Kind::Comment || read.kind == SessionLine::Kind::Unknown ||
        (read.kind == SessionLine::Kind::Breakpoint && read.breakpoint.address == "gone")) {
      lines.push_back(line);
    }
  }
  return lines;
}

// Random edits saved as the window saves them, after each few: reading the file back gives the
// session as it is, and every line that is no item stays, in its order.
TEST(SessionKeepingTest, WrittenChangesReadBackAsTheSession) {
  std::mt19937 random(36);
  const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  for (int round = 0; round < 100; ++round) {
    std::string text = "; notes\nbreak gone\n";
    for (int i = 0; i < 8; ++i) {
      const uint32_t a = pick(0x1000);
      text += pick(2) ? "break l" + std::to_string(a / 0x40) + "+" + std::to_string(a % 0x40)
                      : "break " + std::to_string(a);
      text += pick(2) ? " off\n" : "\ntrace " + std::to_string(i) + "\n";
      if (pick(3) == 0) text += "expr R" + std::to_string(pick(3)) + "\n";
    }
    Session session;
    session.SetSymbols(RandomSymbols());
    WatchList watches;
    Apply(ReadSessionText(text).session, session, watches);
    SessionState base = StateOf(session, watches);
    SessionDocument document(text);
    const std::vector<std::string> foreign = Foreign(text);
    for (int save = 0; save < 6; ++save) {
      for (int edit = 0, n = static_cast<int>(pick(4)); edit <= n; ++edit) {
        const size_t breakpoints = session.Breakpoints().size();
        switch (pick(7)) {
          case 0: session.ToggleBreakpoint(pick(0x1000)); break;
          case 1:
            if (breakpoints) session.ToggleBreakpoint(session.Breakpoints()[pick(breakpoints)]);
            break;
          case 2:
            if (breakpoints) session.SetEnabled(pick(breakpoints) + 1, pick(2));
            break;
          case 3:
            if (breakpoints) (void)session.SetCondition(pick(breakpoints) + 1, "R1 == 3");
            break;
          case 4: {
            const uint32_t first = pick(0x1000);
            const size_t w = session.AddWatchpoint(first, first + pick(4), WatchAccess::Read);
            session.WatchpointAt(w).settings.stopAtHit = 1 + pick(3);
            break;
          }
          case 5: watches.Add("R" + std::to_string(pick(3))); break;
          case 6:
            if (watches.size() && pick(2)) {
              watches.Edit(pick(static_cast<uint32_t>(watches.size())),
                           "M[" + std::to_string(pick(3)) + "]");
            } else if (watches.size()) {
              watches.Remove(pick(static_cast<uint32_t>(watches.size())));
            }
            break;
        }
      }
      SessionState now = StateOf(session, watches);
      document.Apply(Changes(base, now), session);
      const std::string written = document.Text();
      SessionState sorted = now;
      std::sort(sorted.breakpoints.begin(), sorted.breakpoints.end(),
                [](const auto& a, const auto& b) { return a.address < b.address; });
      std::sort(sorted.watchpoints.begin(), sorted.watchpoints.end(),
                [](const auto& a, const auto& b) {
                  return std::tie(a.first, a.last, a.access) < std::tie(b.first, b.last, b.access);
                });
      ASSERT_TRUE(Restored(written) == sorted) << "round " << round << ", save " << save << ":\n"
                                               << written;
      ASSERT_EQ(Foreign(written), foreign) << written;
      base = std::move(now);
    }
  }
}

// A watch line that repeats another's words and access is skipped with a problem line: the
// first line is kept whole, whether the repeat's condition is bad or its settings differ.
TEST(SessionKeepingTest, RepeatedWatchLinesKeepTheFirst) {
  const struct {
    const char* text;
    const char* kept;     // the watchpoints as written back, in order
    const char* problem;  // the problems, joined by '|'
  } cases[] = {
      {"watch 0x10..0x11 rw hit=2\nwatch 0x10..0x11 rw if R1 ==\n",
       "watch 0x00000010..0x00000011 rw hit=2\n",
       "0x10..0x11: the same watch again; the first one is kept"},
      {"watch 0x10..0x11 w\nwatch 0x10..0x11 w hit=5 off\n", "watch 0x00000010..0x00000011 w\n",
       "0x10..0x11: the same watch again; the first one is kept"},
      {"watch 0x10..0x11 w if R1 == 1\nwatch 0x11..0x10 w\n",
       "watch 0x00000010..0x00000011 w if R1 == 1\n",
       "0x11..0x10: the first address lies above the last"},
      {"watch 0x10..0x11 w\nwatch 0x10..0x11 r hit=5\n",
       "watch 0x00000010..0x00000011 w\nwatch 0x00000010..0x00000011 r hit=5\n", ""},
      {"watch 0x10..0x11 w if R1 ==\nwatch 0x10..0x11 w hit=5\n",
       "watch 0x00000010..0x00000011 w hit=5\n", "0x10..0x11: R1 ==: "},
  };
  for (const auto& c : cases) {
    Session session;
    WatchList watches;
    const std::vector<std::string> problems =
        Apply(ReadSessionText(c.text).session, session, watches);
    std::string joined;
    for (const std::string& p : problems) joined += (joined.empty() ? "" : "|") + p;
    EXPECT_EQ(joined.rfind(c.problem, 0), 0u) << c.text << joined;
    EXPECT_EQ(problems.size(), *c.problem ? 1u : 0u) << c.text << joined;
    std::string kept;
    for (const SavedWatchpoint& w : Capture(session, watches).watchpoints) {
      kept += WatchpointLine(w) + "\n";
    }
    EXPECT_EQ(kept, c.kept) << c.text;
  }
}

// 10^5 breakpoints and watchpoints: the indexes agree with the lists through removals, and a
// session of them is restored whole and left byte for byte as it was when nothing changed.
TEST(SessionKeepingTest, HundredThousandItems) {
  constexpr uint32_t kCount = 100000;
  Session session;
  for (uint32_t i = 0; i < kCount; ++i) session.ToggleBreakpoint(i * 7 % kCount);
  for (uint32_t i = 0; i < kCount; i += 97) session.ToggleBreakpoint(i * 7 % kCount);
  for (uint32_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(session.AddWatchpoint(i, i + 1 + i % 3), i + 1);
  }
  for (uint32_t i = 0; i < kCount; i += 1000) session.RemoveWatchpoint(kCount / 2);
  const std::vector<uint32_t>& list = session.Breakpoints();
  for (size_t n = 0; n < list.size(); ++n) ASSERT_EQ(session.BreakpointNumber(list[n]), n + 1);
  ASSERT_EQ(session.BreakpointNumber(0), 0u);  // removed by the second loop
  for (size_t n = 0; n < session.Watchpoints().size(); ++n) {
    const Watchpoint w = session.Watchpoints()[n];
    ASSERT_EQ(session.AddWatchpoint(w.first, w.last, w.access), n + 1);
  }
  ASSERT_EQ(session.Watchpoints().size(), kCount - kCount / 1000);

  Folders folders;
  std::string text = "; many\n";
  for (uint32_t i = 0; i < kCount; ++i) text += "break 0x" + std::to_string(0x1000 + i) + "\n";
  WriteFile(folders.Session(), text);
  platform::PosixLibraryLoader libraries;
  Console console;
  {
    Debugger d(libraries);
    d.AddListener(console);
    d.OpenSource((folders.program / "stack.asm").string(), OpenCause::Open);
    EXPECT_EQ(d.GetSession().Breakpoints().size(), kCount);
    d.RemoveListener(console);
  }
  EXPECT_EQ(console.Starting("Restored 100000 breakpoints"), 1u);
  EXPECT_TRUE(ReadFile(folders.Session()) == text);
}

}  // namespace
}  // namespace tervik::debug
