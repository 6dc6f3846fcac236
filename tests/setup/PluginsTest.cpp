// The bundled modules, loaded from the build's bundled folder through the real loader and
// driven through their entry points as the processor drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "PeripheralModule.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

using test::RecordingConsole;

class PluginsTest : public ::testing::Test {
 protected:
  PluginEntryPoints Load(const char* name, const char* param) {
    const auto entry = modules.LoadPeripheralModule(name, param, {}, console);
    if (!entry) ADD_FAILURE() << console.Text();
    return entry.value_or(PluginEntryPoints{});
  }
  static std::string About(const PluginEntryPoints& entry) {
    char text[TERVIK_PLUGIN_ABOUT_BUFFER];
    std::memset(text, 0x7F, sizeof text);
    entry.About(text);
    EXPECT_LE(strnlen(text, sizeof text), size_t{TERVIK_PLUGIN_ABOUT_MAX});
    return text;
  }

  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  RecordingConsole console;
};

TEST_F(PluginsTest, TerminalSendsCompletedLinesToTheConsole) {
  const PluginEntryPoints t = Load("libtervik_terminal.so", "uart0");
  ASSERT_TRUE(t.Complete());
  EXPECT_EQ(About(t), "Terminal output port 'uart0': DATA +0, STATUS +1, FLUSH +2, LINES +3");
  for (char c : std::string("50%s\r\nab")) t.CPUWriteMem(0, static_cast<uint8_t>(c));
  t.WriteMem(0, '\n');                   // the emulator's own writes have no effect
  EXPECT_EQ(t.ReadMem(1), 0x00020003u);  // ready, two characters pending
  EXPECT_EQ(t.ReadMem(3), 1u);
  t.CPUWriteMem(2, 0);  // flush
  EXPECT_EQ(t.ReadMem(1), 1u);
  t.CPUWriteMem(0, 'z');
  t.Reset();  // drops the pending line
  t.CPUWriteMem(0, '\n');
  EXPECT_EQ(console.lines, (std::vector<std::string>{"uart0: 50%s", "uart0: ab", "uart0: "}));
  EXPECT_EQ(t.ReadMem(3), 1u);

  // A line that fills a console line, label and ": " included, is sent at once, so the console
  // cuts nothing off, whatever the label's length.
  std::string text;
  for (size_t i = 0; i < 2 * kConsoleLineMax + 3; ++i) text += static_cast<char>('a' + i % 26);
  for (const std::string& label :
       {std::string(), std::string("uart0"), std::string(TERVIK_PLUGIN_PARAM_MAX, 'L')}) {
    console.lines.clear();
    const PluginEntryPoints labelled = Load("libtervik_terminal.so", label.c_str());
    for (char c : text) labelled.CPUWriteMem(0, static_cast<uint8_t>(c));
    labelled.CPUWriteMem(0, '\n');
    const std::string prefix = label.empty() ? "" : label + ": ";
    ASSERT_EQ(console.lines.size(), 3u) << label.size();
    EXPECT_EQ(console.lines[0].size(), kConsoleLineMax) << label.size();
    std::string received;
    for (const std::string& line : console.lines) {
      EXPECT_EQ(line.substr(0, prefix.size()), prefix) << label.size();
      received += line.substr(std::min(prefix.size(), line.size()));
    }
    EXPECT_TRUE(received == text) << "label of " << label.size() << ": " << received.size()
                                  << " of " << text.size() << " characters arrived";
  }
}

TEST_F(PluginsTest, TimerCountsPrescaledClocksUpToCompare) {
  const PluginEntryPoints t = Load("libtervik_timer.so", "3");
  ASSERT_TRUE(t.Complete());
  EXPECT_EQ(t.ReadMem(5), 3u);
  t.CPUWriteMem(3, 2);   // compare
  t.CPUWriteMem(2, 10);  // reload
  for (int i = 0; i < 5; ++i) t.Clock();
  EXPECT_EQ(t.ReadMem(1), 1u);
  EXPECT_EQ(t.ReadMem(4), 0u);
  t.Clock();  // sixth: counter reaches compare, flag set, reload
  EXPECT_EQ(t.ReadMem(4), 1u);
  EXPECT_EQ(t.ReadMem(1), 10u);
  t.CPUWriteMem(4, 0);  // a 0 leaves the flag
  EXPECT_EQ(t.ReadMem(4), 1u);
  t.CPUWriteMem(4, 1);
  EXPECT_EQ(t.ReadMem(4), 0u);
  t.WriteMem(0, 0);  // disabled: clocks are ignored
  for (int i = 0; i < 9; ++i) t.Clock();
  EXPECT_EQ(t.ReadMem(1), 10u);
  t.Reset();
  EXPECT_EQ(t.ReadMem(0), 1u);
  EXPECT_EQ(t.ReadMem(3), 0xFFFFFFFFu);
  EXPECT_TRUE(console.lines.empty());

  const PluginEntryPoints hex = Load("libtervik_timer.so", "0x10");
  EXPECT_EQ(hex.ReadMem(5), 16u);
  for (const char* bad : {"0", "fast", "4294967296"}) {
    const PluginEntryPoints t2 = Load("libtervik_timer.so", bad);
    EXPECT_EQ(t2.ReadMem(5), 1u) << bad;
  }
  EXPECT_EQ(console.lines.back(), "Timer: invalid prescaler '4294967296', using 1");
  EXPECT_EQ(About(hex).substr(0, 20), "Timer, prescaler 1: ");
}

TEST_F(PluginsTest, GpioReportsLedChangesAndReadsSwitches) {
  const PluginEntryPoints g = Load("libtervik_gpio.so", "0xA5");
  ASSERT_TRUE(g.Complete());
  EXPECT_EQ(g.ReadMem(1), 0xA5u);
  g.CPUWriteMem(1, 0);  // switches are inputs
  EXPECT_EQ(g.ReadMem(1), 0xA5u);
  g.CPUWriteMem(0, 0x5);
  g.CPUWriteMem(2, 0x4);  // already on: no change, no line
  g.CPUWriteMem(3, 0x1);
  g.CPUWriteMem(4, 0x80000002u);
  g.WriteMem(0, 0xFF);  // silent
  EXPECT_EQ(g.ReadMem(0), 0xFFu);
  g.Reset();
  EXPECT_EQ(console.lines,
            (std::vector<std::string>{
                "GPIO LEDs 00000005 (LED 0 on, LED 2 on)", "GPIO LEDs 00000004 (LED 0 off)",
                "GPIO LEDs 80000006 (LED 1 on, LED 31 on)",
                "GPIO LEDs 00000000 (LED 0 off, LED 1 off, LED 2 off, LED 3 off, "
                "LED 4 off, LED 5 off, LED 6 off, LED 7 off)"}));
  EXPECT_EQ(About(g), "GPIO, switches 000000A5: LEDS +0, SWITCHES +1, SET +2, CLEAR +3, TOGGLE +4");

  console.lines.clear();
  const PluginEntryPoints bad = Load("libtervik_gpio.so", "on");
  EXPECT_EQ(bad.ReadMem(1), 0u);
  EXPECT_EQ(console.lines,
            std::vector<std::string>{"GPIO: invalid switch setting 'on', all switches off"});
}

// The registers the Board brought: one row per access, in order, on a fresh module each.
TEST_F(PluginsTest, NewRegistersReadAsTheirTablesSay) {
  struct Access {
    char op;  // 'w' CPUWriteMem, 'W' WriteMem, 'r' ReadMem expects, 'p' PanelPeek expects,
              // 'i' PanelInput(offset, value) expects 1, 'I' expects 0, 'R' Reset
    uint32_t offset, value;
  };
  const struct {
    const char* module;
    const char* param;
    std::vector<Access> accesses;
  } cases[] = {
      {"libtervik_gpio.so",
       "",
       {{'r', 5, 0},
        {'i', 33, 1},
        {'i', 35, 1},
        {'r', 5, 0xA},
        {'w', 5, 0},
        {'r', 5, 0xA},
        {'i', 33, 0},
        {'r', 5, 0x8},
        {'i', 31, 1},
        {'r', 1, 0x80000000u},
        {'I', 36, 1},
        {'R', 0, 0},
        {'r', 5, 0x8},
        {'r', 1, 0x80000000u}}},
      {"libtervik_terminal.so",
       "",
       {{'r', 4, 0},    {'r', 1, 1},   {'i', 0, 'a'}, {'i', 0, 'b'},  {'r', 1, 5},
        {'r', 4, 'a'},  {'r', 4, 'a'}, {'W', 4, 0},   {'r', 4, 'a'},  {'w', 4, 0},
        {'r', 4, 'b'},  {'w', 4, 7},   {'r', 4, 0},   {'r', 1, 1},    {'w', 4, 0},
        {'I', 1, 'x'},  {'i', 0, 'c'}, {'R', 0, 0},   {'r', 4, 0},    {'w', 0, 'H'},
        {'w', 0, '\n'}, {'w', 0, 'i'}, {'p', 0, 'H'}, {'p', 48, 'i'}, {'p', 48 * 12, 49}}},
      {"libtervik_sevenseg.so",
       "4",
       {{'w', 0, 0x1FF},
        {'r', 0, 0xFF},
        {'p', 0, 0xFF},
        {'w', 8, 0x3},
        {'r', 8, 3},
        {'w', 1, 0x8A},
        {'p', 1, 0x77 | 0x80},
        {'W', 0, 0x0},
        {'p', 0, 0x3F},
        {'w', 4, 0x7F},
        {'r', 4, 0},
        {'p', 4, 0},
        {'w', 3, 0x40},
        {'p', 3, 0x40},
        {'R', 0, 0},
        {'r', 8, 0},
        {'p', 1, 0}}},
      {"libtervik_display.so",
       "3x2",
       {{'r', 5, 0},
        {'w', 5, 0x00FF8000},
        {'r', 5, 0x00FF8000},
        {'W', 0, 0x123},
        {'r', 0, 0x123},
        {'w', 6, 1},
        {'r', 6, 0},
        {'R', 0, 0},
        {'r', 5, 0x00FF8000}}},
  };
  for (const auto& c : cases) {
    const PluginEntryPoints m = Load(c.module, c.param);
    ASSERT_NE(m.PanelDescribe, nullptr) << c.module;
    int step = 0;
    for (const Access& a : c.accesses) {
      ++step;
      switch (a.op) {
        case 'w': m.CPUWriteMem(a.offset, a.value); break;
        case 'W': m.WriteMem(a.offset, a.value); break;
        case 'r': EXPECT_EQ(m.ReadMem(a.offset), a.value) << c.module << " step " << step; break;
        case 'p':
          ASSERT_NE(m.PanelPeek, nullptr) << c.module;
          EXPECT_EQ(m.PanelPeek(a.offset), a.value) << c.module << " step " << step;
          break;
        case 'i':
        case 'I':
          ASSERT_NE(m.PanelInput, nullptr) << c.module;
          EXPECT_EQ(m.PanelInput(a.offset, a.value), a.op == 'i' ? 1 : 0)
              << c.module << " step " << step;
          break;
        case 'R': m.Reset(); break;
        default: FAIL();
      }
    }
  }
  // Bad parameter texts of the new modules fall back to their defaults, with a line each.
  console.lines.clear();
  EXPECT_EQ(Load("libtervik_sevenseg.so", "9").ReadMem(7), 0u);
  EXPECT_EQ(Load("libtervik_display.so", "0x5").PanelDescribe()->elements[0].width, 64u);
  EXPECT_EQ(Load("libtervik_display.so", "1024x1025").PanelDescribe()->elements[0].height, 32u);
  EXPECT_EQ(Load("libtervik_display.so", "1024x1").PanelDescribe()->elements[0].width, 1024u);
  EXPECT_EQ(console.lines,
            (std::vector<std::string>{"Seven-segment: invalid digit count '9', using 8",
                                      "Display: invalid size '0x5', using 64x32",
                                      "Display: invalid size '1024x1025', using 64x32"}));
}

}  // namespace
}  // namespace tervik
