// The console functions: one line per call, literal text through ConsolePuts, the bound of
// 2047 characters, and calls without a sink.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <type_traits>

#include "Console.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

using test::RecordingConsole;

static_assert(std::is_same_v<decltype(&ConsolePuts), TervikMessageCallback>);

struct PutsCase {
  const char* name;
  std::string text;
};
void PrintTo(const PutsCase& c, std::ostream* os) {
  *os << c.name;
}

class ConsolePutsTest : public ::testing::TestWithParam<PutsCase> {};

TEST_P(ConsolePutsTest, AppendsTheTextUnchangedAsOneLine) {
  RecordingConsole console;
  const std::string& text = GetParam().text;
  EXPECT_EQ(ConsolePuts(text.c_str()), static_cast<int32_t>(text.size()));
  ASSERT_EQ(console.lines.size(), 1u);
  EXPECT_EQ(console.lines[0], text);
}

INSTANTIATE_TEST_SUITE_P(Texts, ConsolePutsTest,
                         ::testing::Values(PutsCase{"Empty", ""},
                                           PutsCase{"Conversions", "%s %d %n %% 100%"},
                                           PutsCase{"LineBreaks", "first\nsecond\r\nthird"},
                                           PutsCase{"Longest", std::string(kConsoleLineMax, 'q')}),
                         [](const auto& info) { return std::string(info.param.name); });

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 at -O3 reports a false -Wrestrict inside the inlined std::string insert behind
// "literal" + std::string (GCC bug 105329); the strings here never overlap.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
// Text over the limit is cut at 2047 characters by every entry point, never split or overrun.
TEST(ConsoleTest, LongTextIsCutAt2047Characters) {
  RecordingConsole console;
  const std::string longText = std::string(kConsoleLineMax, 'a') + "tail";
  EXPECT_EQ(ConsolePuts(longText.c_str()), 2047);
  EXPECT_EQ(ConsolePrintf("%s", longText.c_str()), 2047);
  EXPECT_EQ(ConsoleMessage("%s%s", longText.c_str(), longText.c_str()), 2047);
  EXPECT_EQ(ConsoleWrite(console, "x%s", longText.c_str()), 2047);
  ASSERT_EQ(console.lines.size(), 4u);
  for (const std::string& line : console.lines) EXPECT_EQ(line.size(), kConsoleLineMax);
  EXPECT_EQ(console.lines[0], longText.substr(0, kConsoleLineMax));
  EXPECT_EQ(console.lines[3], "x" + longText.substr(0, kConsoleLineMax - 1));
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

TEST(ConsoleTest, FormatsArgumentsAndReturnsTheCount) {
  RecordingConsole console;
  EXPECT_EQ(ConsoleMessage("%08X %05d %s", 0x400u, 7, "<x>"), 18);
  // ConsolePrintf formats once: a percent sign produced by its arguments stays literal.
  EXPECT_EQ(ConsolePrintf("%s", "50%d"), 4);
  EXPECT_EQ(console.lines, (std::vector<std::string>{"00000400 00007 <x>", "50%d"}));
}

TEST(ConsoleTest, WithoutASinkNothingIsShownAndNothingBreaks) {
  ConsoleSink* previous = GetConsoleSink();
  SetConsoleSink(nullptr);
  EXPECT_EQ(ConsoleMessage("%s", "lost"), 4);
  EXPECT_EQ(ConsolePrintf("%d", 12345), 5);
  EXPECT_EQ(ConsolePuts("x"), 1);
  SetConsoleSink(previous);
}

TEST(ConsoleTest, NullTextCountsAsEmpty) {
  RecordingConsole console;
  EXPECT_EQ(ConsolePuts(nullptr), 0);
  EXPECT_EQ(console.lines, std::vector<std::string>{""});
}

}  // namespace
}  // namespace tervik
