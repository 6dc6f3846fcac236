// The listing loader: which lines carry a word, what the comment is, how lines are cut into
// pieces, and what a load clears.
#include <gtest/gtest.h>

#include <bitset>
#include <map>
#include <ostream>
#include <string>

#include "Listing.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

using test::RecordingConsole;
using test::TempDir;

std::string Bits(uint32_t word) {
  return std::bitset<32>(word).to_string();
}

constexpr uint32_t kRamWords = 0x100000;  // covers every address a listing line can name

struct ListingCase {
  const char* name;
  std::string content;
  std::map<uint32_t, uint32_t> words;        // every non-zero word afterwards
  std::map<uint32_t, std::string> comments;  // the whole ListingMap afterwards
  bool orderedOnce = true;  // each word carried once, by ascending address, none of them 0
};
void PrintTo(const ListingCase& c, std::ostream* os) {
  *os << c.name;
}

class ListingLineTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListingLineTest, LoadsWordsAndComments) {
  const ListingCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.Write("program.lst", c.content);
  Processor processor;
  processor.AddRegion(0, kRamWords, RegionType::RAM);
  ListingMap listing;
  RecordingConsole console;

  ListingExtent extent;
  LoadListing(path, processor, listing, console, &extent);
  // The fingerprint the assembler writes into the symbol file, from the text, names exactly the
  // words the load carried: in file order, unplaced and zero words included.
  EXPECT_EQ(ListingFingerprint(c.content), extent.fingerprint);
  uint64_t fingerprint = 0xCBF29CE484222325u;  // FNV-1a 64 over address then word, LSB first
  for (const auto& [address, word] : c.words) {
    for (const uint32_t value : {address, word}) {
      for (int shift = 0; shift < 32; shift += 8) {
        fingerprint = (fingerprint ^ ((value >> shift) & 0xFFu)) * 0x100000001B3u;
      }
    }
  }
  // Where each word is carried once, in ascending order, and is not 0, the words are all.
  if (c.orderedOnce) {
    EXPECT_EQ(extent.fingerprint, fingerprint);
  }

  // Silent, unless the listing carries no word at all: then one line says so.
  if (c.words.empty()) {
    EXPECT_EQ(console.lines,
              (std::vector<std::string>{"No word loaded: '" + path +
                                        "' has no line with an address and a word"}));
  } else {
    EXPECT_TRUE(console.lines.empty()) << console.Text();
  }
  std::map<uint32_t, uint32_t> words;
  for (uint32_t a = 0; a < kRamWords; ++a) {
    if (const uint32_t w = processor.ReadMem(a); w != 0) words[a] = w;
  }
  EXPECT_EQ(words, c.words);
  std::map<uint32_t, std::string> comments(listing.entries().begin(), listing.entries().end());
  EXPECT_EQ(comments, c.comments);
}

const std::string kFill2047(2047, '-');

INSTANTIATE_TEST_SUITE_P(
    Lines, ListingLineTest,
    ::testing::Values(
        ListingCase{"WorkedExample",
                    "0001A " + Bits(0x04220005) + "  MOVEI R1,5   ; set up the counter  \n",
                    {{0x1A, 0x04220005}},
                    {{0x1A, "; set up the counter"}}},
        ListingCase{"HeadingsAndSourceLinesAreSkipped",
                    "Tervik assembler listing\n\n      ; only a comment\n00001 0101\n",
                    {},
                    {}},
        ListingCase{"LowerCaseHexCarriesNoWord", "0001a " + Bits(7) + " ;lower\n", {}, {}},
        ListingCase{"TwoBlanksCarryNoWord", "00010  " + Bits(7) + " ;two\n", {}, {}},
        ListingCase{"TabInsteadOfBlank", "00010\t" + Bits(7) + "\n", {{0x10, 7}}, {}},
        // White space is space, tab, CR, LF and FF: not vertical tab, which PCRE2's \s takes.
        ListingCase{"VerticalTabCarriesNoWord", "00010\v" + Bits(7) + " ;vt\n", {}, {}},
        ListingCase{"FormFeedInsteadOfBlank", "00010\f" + Bits(7) + "\n", {{0x10, 7}}, {}},
        ListingCase{"CarriageReturnInsteadOfBlank", "00010\r" + Bits(7) + "\n", {{0x10, 7}}, {}},
        ListingCase{"VerticalTabEndsNoComment",
                    "00011 " + Bits(1) + " ;a\v\n00012 " + Bits(2) + " ;b \t\f\r\n",
                    {{0x11, 1}, {0x12, 2}},
                    {{0x11, ";a\v"}, {0x12, ";b"}}},
        ListingCase{"LeftmostPlaceCounts",
                    // "12345" is followed by "6", so the word starts one character later.
                    "123456 " + Bits(9) + " 00020 " + Bits(1) + "\n",
                    {{0x23456, 9}},
                    {}},
        ListingCase{"PatternInsideAComment",
                    "label: ; was 00030 " + Bits(5) + "\n",
                    {{0x30, 5}},
                    {{0x30, "; was 00030 " + Bits(5)}}},
        ListingCase{"MoreThan32BinaryDigitsUsesTheFirst32",
                    "00031 " + Bits(0x80000001) + "1\n",
                    {{0x31, 0x80000001}},
                    {}},
        ListingCase{"DuplicateAddressesLastWins",
                    "00040 " + Bits(1) + " ;first\n00040 " + Bits(2) + " ;second\n00041 " +
                        Bits(3) + " ;kept\n00041 " + Bits(4) + "\n",
                    {{0x40, 2}, {0x41, 4}},
                    {{0x40, ";second"}, {0x41, ";kept"}},
                    false},
        ListingCase{
            "LoneSemicolonGivesNoComment",
            "00050 " + Bits(1) + " ;\n00051 " + Bits(1) + " ;a   \t\n00052 " + Bits(1) + " ;  \n",
            {{0x50, 1}, {0x51, 1}, {0x52, 1}},
            // The first character after ";" belongs to the comment, blank or not.
            {{0x51, ";a"}, {0x52, "; "}}},
        ListingCase{"CrLfLineEnds",
                    "00060 " + Bits(6) + " ;crlf\r\n00061 " + Bits(7) + " ;\r\n",
                    {{0x60, 6}, {0x61, 7}},
                    {{0x60, ";crlf"}}},
        ListingCase{"NulBytesAreOrdinaryCharacters",
                    std::string("x\0y ", 4) + "00070 " + Bits(1) + std::string(" ;a\0b\n", 6),
                    {{0x70, 1}},
                    {{0x70, std::string(";a\0b", 4)}}},
        ListingCase{
            "LastLineWithoutLineFeed", "00080 " + Bits(8) + " ;end", {{0x80, 8}}, {{0x80, ";end"}}},
        ListingCase{"WordAfter2047CharactersIsAPieceOfItsOwn",
                    kFill2047 + "00090 " + Bits(9) + " ;second piece\n",
                    {{0x90, 9}},
                    {{0x90, ";second piece"}}},
        ListingCase{"WordAcrossThePieceBoundaryIsLost",
                    std::string(2040, '-') + "000A0 " + Bits(10) + "\n",
                    {},
                    {}},
        ListingCase{"CommentOfTheFirstPieceOnly",
                    "000B0 " + Bits(11) + " ;" + std::string(2047 - 8 - 32, 'c') + "more\n",
                    {{0xB0, 11}},
                    {{0xB0, ";" + std::string(2047 - 8 - 32, 'c')}}},
        ListingCase{
            "Exactly2047CharactersThenCrLf",
            std::string(2047 - 38, '-') + "000C0 " + Bits(12) + "\r\n000C1 " + Bits(13) + "\n",
            {{0xC0, 12}, {0xC1, 13}},
            {}},
        ListingCase{"LongRunOfBlanksInAComment",
                    "000D0 " + Bits(1) + " ;x" + std::string(1900, ' ') + "y\n",
                    {{0xD0, 1}},
                    {{0xD0, ";x" + std::string(1900, ' ') + "y"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListingTest, LoadReplacesMemoryAndCommentsButNotRegisters) {
  TempDir dir;
  Processor processor;
  processor.AddRegion(0, 0x100, RegionType::ROM);
  processor.AddRegion(0x100, 0x100, RegionType::RAM);
  ListingMap listing;
  RecordingConsole console;
  processor.SetPC(0x42);

  LoadListing(dir.Write("a.lst", "00001 " + Bits(1) + " ;a\n00101 " + Bits(2) + " ;b\n"), processor,
              listing, console);
  EXPECT_EQ(processor.ReadMem(1), 1u);  // ROM takes listing words like RAM
  EXPECT_EQ(processor.ReadMem(0x101), 2u);

  LoadListing(dir.Write("b.lst", "00002 " + Bits(3) + "\n"), processor, listing, console);
  EXPECT_EQ(processor.ReadMem(1), 0u);
  EXPECT_EQ(processor.ReadMem(0x101), 0u);
  EXPECT_EQ(processor.ReadMem(2), 3u);
  EXPECT_TRUE(listing.empty());
  EXPECT_EQ(listing.Comment(1), "");
  EXPECT_EQ(processor.GetPC(), 0x42u);
  EXPECT_TRUE(console.lines.empty());
}

TEST(ListingTest, UnopenableFileLeavesMemoryClearedAndSaysSo) {
  TempDir dir;
  Processor processor;
  processor.AddRegion(0, 0x10, RegionType::RAM);
  processor.WriteMem(3, 33);
  ListingMap listing;
  listing.Set(3, ";old");
  RecordingConsole console;

  const std::string missing = (dir.path() / "missing.lst").string();
  LoadListing(missing, processor, listing, console);
  LoadListing("", processor, listing, console);
  LoadListing(dir.path().string(), processor, listing, console);  // a folder

  EXPECT_EQ(processor.ReadMem(3), 0u);
  EXPECT_TRUE(listing.empty());
  EXPECT_EQ(console.lines, (std::vector<std::string>{
                               "Error opening file '" + missing + "'", "Error opening file ''",
                               "Error opening file '" + dir.path().string() + "'"}));
}

TEST(ListingTest, ListingOutsideEveryRegionSaysSoInOneLine) {
  TempDir dir;
  Processor processor;  // no map loaded: no region at all
  ListingMap listing;
  RecordingConsole console;
  const std::string path = dir.Write(
      "a.lst", "00001 " + Bits(1) + " ;a\n00002 " + Bits(2) + "\n00003 " + Bits(3) + "\n");

  LoadListing(path, processor, listing, console);

  EXPECT_EQ(
      console.lines,
      (std::vector<std::string>{"No word loaded: none of the 3 words of '" + path +
                                "' lies in a region of the memory map; load a memory map first"}));

  // One word in a region is enough for silence.
  processor.AddRegion(3, 1, RegionType::RAM);
  console.lines.clear();
  LoadListing(path, processor, listing, console);
  EXPECT_TRUE(console.lines.empty()) << console.Text();
  EXPECT_EQ(processor.ReadMem(3), 3u);
}

TEST(ListingTest, ClearMemoryZeroesRomAndRamAndKeepsComments) {
  Processor processor;
  processor.AddRegion(0, 4, RegionType::ROM);
  processor.AddRegion(2, 4, RegionType::RAM);  // overlaps the ROM at 2 and 3
  for (uint32_t a = 0; a < 6; ++a) processor.WriteMem(a, 0xAA);
  ListingMap listing;
  listing.Set(0, ";keep");

  ClearMemory(processor);

  for (uint32_t a = 0; a < 6; ++a) EXPECT_EQ(processor.ReadMem(a), 0u) << a;
  EXPECT_EQ(listing.Comment(0), ";keep");
}

}  // namespace
}  // namespace tervik
