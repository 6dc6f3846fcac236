// Panels: the bundled modules' descriptions against golden text, the checks a broken
// description fails, the map loader's line for one, and inputs handed through the Board that
// a running program then reads.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Board.h"
#include "MemoryMap.h"
#include "Panel.h"
#include "PeripheralModule.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

using test::RecordingConsole;
using test::TempDir;

TEST(PanelTest, BundledModulesDescribeTheirPanelsAsTheGoldenFileSays) {
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  RecordingConsole console;
  // Each module with a parameter text and a region size of the examples' map.
  const struct {
    const char* name;
    const char* param;
    uint32_t size;
  } cases[] = {{"libtervik_gpio.so", "0x0F", 6},
               {"libtervik_terminal.so", "", 5},
               {"libtervik_sevenseg.so", "4", 9},
               {"libtervik_display.so", "64x32", 0x800},
               {"libtervik_timer.so", "", 6}};
  std::string all;
  for (const auto& c : cases) {
    const auto entry = modules.LoadPeripheralModule(c.name, c.param, {}, console);
    ASSERT_TRUE(entry) << console.Text();
    const PanelCheck check = CheckPanel(*entry, c.size);
    EXPECT_EQ(check.error, "") << c.name;
    all += std::string("# ") + c.name + " " + c.param + "\n";
    all += check.panel ? FormatPanel(*check.panel) : "no panel\n";
  }
  test::ExpectGolden("panels.txt", all);
  EXPECT_TRUE(console.lines.empty()) << console.Text();
}

// A valid description, which each case below breaks in one way.
struct BrokenCase {
  const char* what;
  std::function<void(TervikPanel&, TervikPanelElement*)> breakIt;
  bool peek, input;
  const char* error;
};

TEST(PanelTest, ABrokenDescriptionIsRefusedWithItsReason) {
  static const std::string longLabel(TERVIK_PANEL_LABEL_MAX + 1, 'x');
  static const std::string longTitle(TERVIK_PANEL_TITLE_MAX + 1, 't');
  const BrokenCase cases[] = {
      {"valid", [](TervikPanel&, TervikPanelElement*) {}, false, true, ""},
      {"version", [](TervikPanel& p, TervikPanelElement*) { p.version = 2; }, false, true,
       "version 2, not 1"},
      {"no title", [](TervikPanel& p, TervikPanelElement*) { p.title = nullptr; }, false, true,
       "the title is missing or longer than 64 characters"},
      {"long title", [](TervikPanel& p, TervikPanelElement*) { p.title = longTitle.c_str(); },
       false, true, "the title is missing or longer than 64 characters"},
      {"too many", [](TervikPanel& p, TervikPanelElement*) { p.element_count = 257; }, false, true,
       "257 elements, more than 256"},
      {"no list", [](TervikPanel& p, TervikPanelElement*) { p.elements = nullptr; }, false, true,
       "3 elements but no list of them"},
      {"kind", [](TervikPanel&, TervikPanelElement* e) { e[1].kind = 0; }, false, true,
       "element 1 has the unknown kind 0"},
      {"label", [](TervikPanel&, TervikPanelElement* e) { e[0].label = longLabel.c_str(); }, false,
       true, "element 0 has a label longer than 32 characters"},
      {"field past bit 31",
       [](TervikPanel&, TervikPanelElement* e) { e[0].shift = 31, e[0].bits = 2; }, false, true,
       "element 0 selects bits 31 to 32 of a word"},
      {"no bits", [](TervikPanel&, TervikPanelElement* e) { e[0].bits = 0; }, false, true,
       "element 0 has a field of 0 bits"},
      {"digit of 6",
       [](TervikPanel&, TervikPanelElement* e) { e[0].kind = TERVIK_PANEL_DIGIT, e[0].bits = 6; },
       false, true, "element 0 is a digit of 6 segments"},
      {"size 0", [](TervikPanel&, TervikPanelElement* e) { e[2].width = 0; }, false, true,
       "element 2 has the size 0x2"},
      {"size 1025", [](TervikPanel&, TervikPanelElement* e) { e[2].height = 1025; }, false, true,
       "element 2 has the size 4x1025"},
      {"input without PanelInput", [](TervikPanel&, TervikPanelElement*) {}, false, false,
       "element 1 takes input, but the module has no PanelInput"},
      {"outside quiet", [](TervikPanel& p, TervikPanelElement*) { p.quiet_first = 1; }, false, true,
       "element 0 reads word 0, outside the quiet words and without PanelPeek"},
      {"pixels outside the region", [](TervikPanel&, TervikPanelElement* e) { e[2].offset = 10; },
       false, true, "element 2 reads word 10, outside the quiet words and without PanelPeek"},
      {"quiet past the region", [](TervikPanel& p, TervikPanelElement*) { p.quiet_count = 100; },
       false, true, "element 2 reads word 17, outside the region of 16 words"},
      {"peek reads anywhere",
       [](TervikPanel& p, TervikPanelElement* e) { p.quiet_count = 0, e[2].offset = 0xFFFFFFF8u; },
       true, true, ""},
      {"past FFFFFFFF", [](TervikPanel&, TervikPanelElement* e) { e[2].offset = 0xFFFFFFF9u; },
       true, true, "element 2 reads past word FFFFFFFF"},
  };
  for (const BrokenCase& c : cases) {
    TervikPanelElement elements[3] = {
        {TERVIK_PANEL_LED, "L", 0, 3, 1, 0, 0, 0},
        {TERVIK_PANEL_SWITCH, nullptr, 1, 0, 1, 0, 0, 5},
        {TERVIK_PANEL_PIXELS, "", 8, 0, 0, 4, 2, 0},
    };
    TervikPanel panel = {TERVIK_PANEL_VERSION, "Board", elements, 3, 0, 16};
    if (std::string(c.what) == "quiet past the region") elements[2].offset = 10;
    c.breakIt(panel, elements);
    const PanelCheck check = CheckPanelDescription(&panel, 16, c.peek, c.input);
    EXPECT_EQ(check.error, c.error) << c.what;
    EXPECT_EQ(check.panel.has_value(), std::string(c.error).empty()) << c.what;
  }
}

class BoardTest : public ::testing::Test {
 protected:
  void LoadMap(const std::string& text) {
    const std::string path = dir.Write("board.map", text);
    ASSERT_TRUE(LoadMemoryMap(path, processor, modules, console));
  }

  TempDir dir;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  RecordingConsole console;
  Processor processor;
  Board board;
};

TEST_F(BoardTest, ABrokenPanelCostsOneLineAndTheModuleWorksOnWithoutIt) {
  // The test modules' folder stands in for the bundled one.
  PeripheralModuleLoader testModules{libraries, TERVIK_TEST_MODULE_DIR};
  const std::string module = "libtervik_test_panel.so";
  for (const char* mode : {"kind", "outside", "null", "good"}) {
    console.lines.clear();
    const std::string path = dir.Write("panel.map", "0x7000 0x4 DLL " + module + " " + mode + "\n");
    ASSERT_TRUE(LoadMemoryMap(path, processor, testModules, console));
    std::vector<std::string> panelLines;
    for (const std::string& line : console.lines) {
      if (line.find("has no panel") != std::string::npos) panelLines.push_back(line);
    }
    const std::string name = "DLL '" + module + "' has no panel: ";
    const std::vector<std::string> expected =
        std::string(mode) == "kind"
            ? std::vector<std::string>{name + "element 1 has the unknown kind 9"}
        : std::string(mode) == "outside"
            ? std::vector<std::string>{name +
                                       "element 1 reads word 9, outside the region of 4 words"}
            : std::vector<std::string>{};
    EXPECT_EQ(panelLines, expected) << mode;
    ASSERT_EQ(processor.Regions().size(), 1u) << mode;
    board.Sync(processor);
    EXPECT_EQ(board.Panels().size(), std::string(mode) == "good" ? 1u : 0u) << mode;
  }
  // The good panel: the switch reaches the module, the LED shows it, and the display reads
  // went to the quiet word only (any other read would count in word 1).
  const Board::Panel& panel = board.Panels().front();
  EXPECT_TRUE(Board::Input(processor, panel, 7, 1));
  EXPECT_FALSE(Board::Input(processor, panel, 8, 1));
  EXPECT_EQ(Board::Field(panel, panel.description.elements[1]), 1u);
  EXPECT_EQ(processor.ReadMem(0x7001), 1u);
}

// The encoders of the few instructions the program below uses.
constexpr uint32_t Loadi(unsigned rd, uint16_t address) {
  return static_cast<uint32_t>(Opcode::LOADI) << 26 | rd << 21 | address;
}
constexpr uint32_t Store(unsigned ra, unsigned rb) {
  return static_cast<uint32_t>(Opcode::STORE) << 26 | ra << 16 | rb;
}
constexpr uint32_t Movel(unsigned rd, uint16_t imm) {
  return static_cast<uint32_t>(Opcode::MOVEI) << 26 | rd << 21 |
         static_cast<uint32_t>(MoveiSub::MOVEL) << 17 | imm;
}

TEST_F(BoardTest, InputsThroughThePanelsChangeWhatTheProgramReads) {
  LoadMap(
      "0x0000 0x100 ROM\n0x7000 0x5 DLL libtervik_terminal.so\n"
      "0x7020 0x6 DLL libtervik_gpio.so 0x3\n0x7030 0x9 DLL libtervik_sevenseg.so\n");
  ASSERT_TRUE(board.Sync(processor));
  EXPECT_FALSE(board.Sync(processor));  // the same regions: nothing taken again
  ASSERT_EQ(board.Panels().size(), 3u);
  const Board::Panel& terminal = board.Panels()[0];
  const Board::Panel& gpio = board.Panels()[1];
  // Switches, buttons, one received character taken, the next one, the status.
  const uint32_t program[] = {Movel(4, 0x7004), Loadi(1, 0x7021), Loadi(2, 0x7025),
                              Loadi(3, 0x7004), Store(4, 0),      Loadi(5, 0x7004),
                              Loadi(6, 0x7001)};
  for (uint32_t i = 0; i < std::size(program); ++i) processor.WriteMem(i, program[i]);

  struct Row {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> gpioInputs;  // input, value
    std::string typed;
    uint32_t switches, buttons, first, second, status;
  };
  const Row rows[] = {
      {"nothing", {}, "", 0x3, 0, 0, 0, 1},
      {"switch 0 off, 5 on", {{0, 0}, {5, 1}}, "", 0x22, 0, 0, 0, 1},
      {"button 2 held, 0 pressed and released", {{34, 1}, {32, 1}, {32, 0}}, "", 0x3, 0x4, 0, 0, 1},
      {"two keys", {}, "ok", 0x3, 0, 'o', 'k', 5},
      {"three keys", {}, "abc", 0x3, 0, 'a', 'b', 5},
      {"one key", {}, "\n", 0x3, 0, '\n', 0, 1},
  };
  for (const Row& row : rows) {
    LoadMap(
        "0x0000 0x100 ROM\n0x7000 0x5 DLL libtervik_terminal.so\n"
        "0x7020 0x6 DLL libtervik_gpio.so 0x3\n0x7030 0x9 DLL libtervik_sevenseg.so\n");
    for (uint32_t i = 0; i < std::size(program); ++i) processor.WriteMem(i, program[i]);
    board.Sync(processor);
    processor.Reset();
    for (const auto& [input, value] : row.gpioInputs) {
      EXPECT_TRUE(Board::Input(processor, gpio, input, value)) << row.what;
    }
    for (char c : row.typed) {
      EXPECT_TRUE(Board::Input(processor, terminal, 0, static_cast<uint8_t>(c))) << row.what;
    }
    processor.RunBatch(std::size(program));
    EXPECT_EQ(processor.r[1], row.switches) << row.what;
    EXPECT_EQ(processor.r[2], row.buttons) << row.what;
    EXPECT_EQ(processor.r[3], row.first) << row.what;
    EXPECT_EQ(processor.r[5], row.second) << row.what;
    EXPECT_EQ(processor.r[6], row.status) << row.what;
  }

  // The receive buffer takes 256 characters and refuses the next until one is taken out.
  processor.Reset();
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(Board::Input(processor, terminal, 0, 'x'));
  EXPECT_FALSE(Board::Input(processor, terminal, 0, 'y'));
  EXPECT_FALSE(Board::Input(processor, terminal, 0, 0x100));  // not a character
  processor.CpuWriteMem(0x7004, 0);
  EXPECT_TRUE(Board::Input(processor, terminal, 0, 'y'));
}

}  // namespace
}  // namespace tervik
