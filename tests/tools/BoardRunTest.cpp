// tervik-run with the board: the four board demos of examples/ run headless with --input,
// --set-switches and --dump-display; the display's picture against a golden PNG; a long input
// reaches the program whole through the 256-character receive buffer; and the options' errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BoardIO.h"
#include "SetupTestSupport.h"
#include "ToolsTestSupport.h"

namespace tervik::test {
namespace {

const std::string kRunner = TERVIK_RUNNER;
const std::string kMap = std::string(TERVIK_SOURCE_DIR) + "/examples/default.map";

std::string Listing(const std::string& name) {
  return std::string(TERVIK_EXAMPLE_LISTING_DIR) + "/" + name + ".lst";
}

TEST(BoardRun, DemosRunHeadlessWithTheBoardOptions) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string out, console;
  } demos[] = {
      {"switches",
       {"--set-switches", "0xA5", "--steps", "1000"},
       2,
       "step limit: pc ",
       "GPIO LEDs 000000A5 (LED 0 on, LED 2 on, LED 5 on, LED 7 on)\n"},
      // 24 tenths: DIGIT0 shows 4, DIGIT1 2 with its point.
      {"stopwatch",
       {"--steps", "2500000", "--dump-mem", "0x7030:4"},
       2,
       "00007030: 00000004 00000082 00000000 00000000\n",
       ""},
      {"echo",
       {"--input", "hello\nworld\n\x04", "--steps", "100000"},
       0,
       "halted: ",
       "> hello\n> world\n> \n"},
      {"animation", {"--steps", "1000000"}, 0, "after 128007 steps", ""},
  };
  for (const auto& d : demos) {
    std::vector<std::string> args = {"--map", kMap, "--lst", Listing(d.name), "--quiet"};
    args.insert(args.end(), d.args.begin(), d.args.end());
    const ProgramRun run = RunProgram(kRunner, args);
    EXPECT_EQ(run.exitCode, d.exitCode) << d.name << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(d.out), std::string::npos) << d.name << "\n" << run.out;
    EXPECT_NE(run.err.find(d.console), std::string::npos) << d.name << "\n" << run.err;
  }
}

TEST(BoardRun, TheAnimationsPictureIsTheGoldenOne) {
  TempDir dir;
  const std::string png = (dir.path() / "display.png").string();
  const ProgramRun run = RunProgram(
      kRunner, {"--map", kMap, "--lst", Listing("animation"), "--dump-display", png, "--quiet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string made, golden;
  ASSERT_TRUE(ReadFile(png, made));
  ASSERT_TRUE(ReadFile(std::string(TERVIK_GOLDEN_DIR) + "/animation.png", golden));
  // Pictures are compared, not bytes: another zlib may pack the same pixels differently.
  uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  std::vector<uint32_t> p1, p2;
  ASSERT_TRUE(runner::DecodePng(made, w1, h1, p1));
  ASSERT_TRUE(runner::DecodePng(golden, w2, h2, p2));
  EXPECT_EQ(w1, 64u);
  EXPECT_EQ(h1, 32u);
  EXPECT_EQ(w1, w2);
  EXPECT_EQ(h1, h2);
  EXPECT_TRUE(p1 == p2) << "the picture differs from golden/animation.png";
  // The corners: blue top left, red top right (x = 63: 252), green and blue bottom left.
  EXPECT_EQ(p1[0], 0x0000FCu);
  EXPECT_EQ(p1[63], 0xFC0000u);
  EXPECT_EQ(p1[31 * 64], 0x00F8FCu);
  // And the round trip of the encoder itself, through odd sizes.
  std::vector<uint32_t> pixels = {0x123456, 0xFFFFFF, 0, 0x00FF00, 0x0000FF, 0xABCDEF};
  uint32_t w = 0, h = 0;
  std::vector<uint32_t> back;
  ASSERT_TRUE(runner::DecodePng(runner::EncodePng(3, 2, pixels), w, h, back));
  EXPECT_EQ(back, pixels);
  EXPECT_FALSE(runner::DecodePng(made.substr(0, made.size() / 2), w, h, back));
}

TEST(BoardRun, AnInputLongerThanTheReceiveBufferArrivesWhole) {
  TempDir dir;
  std::string text;
  for (int line = 0; line < 40; ++line) text += "line " + std::to_string(line) + " of forty\n";
  ASSERT_GT(text.size(), 600u);
  const std::string input = dir.Write("input.txt", text + "\x04");
  const ProgramRun run = RunProgram(
      kRunner, {"--map", kMap, "--lst", Listing("echo"), "--input-file", input, "--quiet"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::string expected;
  for (int line = 0; line < 40; ++line) {
    expected += "> line " + std::to_string(line) + " of forty\n";
  }
  EXPECT_EQ(run.err, expected + "> \n");
}

TEST(BoardRun, OptionErrors) {
  TempDir dir;
  const std::string plain = dir.Write("plain.map", "0x0 0x1000 ROM\n");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string error;
  } cases[] = {
      {{"--set-switches", "0x1FFFFFFFF"}, 64, "--set-switches: expected up to eight hex digits"},
      {{"--set-switches", "on"}, 64, "--set-switches: expected up to eight hex digits"},
      {{"--set-switches", "10000"},
       64,
       "--set-switches: 10000 has switches that the panel does not show (it shows FFFF)"},
      {{"--input", "x", "--trace"}, 64, "--input and --input-file cannot be combined"},
      {{"--input", "x", "--input-file", "y"}, 64, "--input and --input-file: give one"},
      {{"--input-file", (dir.path() / "missing").string()}, 3, "cannot read the input file"},
      {{"--map", plain, "--input", "x"}, 64, "--input: the memory map has no terminal panel"},
      {{"--map", plain, "--dump-display", "x.png"},
       64,
       "--dump-display: the memory map has no pixel display panel"},
      {{"--map", plain, "--set-switches", "1"}, 64, "no module with switches"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    if (std::find(args.begin(), args.end(), "--map") == args.end()) {
      args.insert(args.end(), {"--map", kMap});
    }
    args.insert(args.end(), {"--lst", Listing("echo"), "--steps", "10", "--quiet"});
    const ProgramRun run = RunProgram(kRunner, args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.error << "\n" << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace tervik::test
