// Symbol files: a table of texts, good and broken, with what is read from each and what is
// said; lookups by address when labels share an address; and the round trip from the text the
// assembler writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "SymbolFile.h"

namespace tervik {
namespace {

TEST(SymbolFile, ReadsWhatItCanAndSaysWhatItCannot) {
  struct Case {
    const char* name;
    std::string text;
    bool read;
    std::vector<SymbolEntry> entries;
    std::vector<std::string> errors;
    std::optional<uint64_t> listing = std::nullopt;
    std::vector<SymbolUse> uses = {};
  } const cases[] = {
      {"empty", "", true, {}, {}},
      {"comments, blanks, CRLF, tabs",
       "; Tervik symbols\r\n\r\n   ; more\n0000000f\tL\tloop\r\nFFFFFFFB E  minus5\n",
       true,
       {{"loop", 0xF, true}, {"minus5", 0xFFFFFFFB, false}},
       {}},
      {"bad lines are skipped and named",
       "00000001 L a\n1 L b\n00000002 X c\n00000003 L 9d\n00000004 L e f\n00000005 E _.x9\n",
       true,
       {{"a", 1, true}, {"_.x9", 5, false}},
       {"line 2: expected a value of 8 hex digits",
        "line 3: expected L (label), E (constant) or U (use) after the value",
        "line 4: expected a name of letters, digits, '_' and '.'",
        "line 5: unexpected text after the name"}},
      {"truncated last line",
       "00000001 L a\n0000",
       true,
       {{"a", 1, true}},
       {"line 2: expected a value of 8 hex digits"}},
      {"the first definition of a name counts",
       "00000001 L a\n00000002 L a\n",
       true,
       {{"a", 1, true}},
       {}},
      {"binary", std::string("00000001 L a\n\0\x01\x02", 16), false, {}, {}},
      {"the listing's fingerprint, in either case",
       "; Tervik symbols\n; listing 0123456789abcDEF\n00000001 L a\n",
       true,
       {{"a", 1, true}},
       {},
       0x0123456789ABCDEFu},
      {"only the first listing line counts",
       "; listing 0000000000000001\n;listing 0000000000000002\n",
       true,
       {},
       {},
       1u},
      {"comments that are no listing line",
       "; listing 123\n; listing 0123456789ABCDEF x\n; listings 0123456789ABCDEF\n",
       true,
       {},
       {},
       std::nullopt},
      {"uses: not symbols, kept by address, a name may repeat",
       "00000005 L fact\n00000003 U fact\n00000001 U fact\n00000002 u fact\n00000004 U\n",
       true,
       {{"fact", 5, true}},
       {"line 4: expected L (label), E (constant) or U (use) after the value",
        "line 5: expected a name of letters, digits, '_' and '.'"},
       std::nullopt,
       {{1, "fact"}, {3, "fact"}}},
  };
  for (const Case& c : cases) {
    const SymbolFileResult r = ParseSymbolFile(c.text);
    EXPECT_EQ(r.listing, c.listing) << c.name;
    // A file without the line belongs to every listing; one with it to its own alone.
    EXPECT_TRUE(r.BelongsTo(c.listing.value_or(42))) << c.name;
    EXPECT_EQ(r.BelongsTo(c.listing.value_or(42) + 1), !c.listing) << c.name;
    EXPECT_EQ(r.read, c.read) << c.name;
    EXPECT_EQ(r.table.Entries(), c.entries) << c.name;
    EXPECT_EQ(r.errors, c.errors) << c.name;
    EXPECT_EQ(r.table.Uses(), c.uses) << c.name;
    for (uint32_t a = 0; a < 6; ++a) {
      const bool used = std::any_of(c.uses.begin(), c.uses.end(),
                                    [a](const SymbolUse& u) { return u.address == a; });
      EXPECT_EQ(r.table.WrittenWithSymbol(a), used) << c.name << " " << a;
    }
  }
  // Only the first few errors are kept, but all are counted.
  std::string many;
  for (int i = 0; i < 100; ++i) many += "junk\n";
  const SymbolFileResult r = ParseSymbolFile(many);
  EXPECT_EQ(r.errors.size(), SymbolFileResult::kMaxErrors);
  EXPECT_EQ(r.badLines, 100u);
}

TEST(SymbolFile, LooksUpLabelsByAddressAndNamesByValue) {
  const SymbolTable table({{"start", 0, true},
                           {"loop", 8, true},
                           {"again", 8, true},
                           {"SIZE", 8, false},
                           {"far", 0x30000, true}});
  EXPECT_EQ(*table.LabelAt(8), "loop");  // the first of two labels at one address
  EXPECT_EQ(table.LabelAt(9), nullptr);
  EXPECT_EQ(*table.Value("again"), 8u);
  EXPECT_EQ(*table.Value("SIZE"), 8u);
  EXPECT_FALSE(table.Value("size").has_value());  // names are matched by case
  struct Where {
    uint32_t address;
    const char* text;
  } const places[] = {{0, "start"},     {7, "start+7"},          {8, "loop"},
                      {10, "loop+2"},   {0x10008, "loop+65536"}, {0x10009, ""},
                      {0x30000, "far"}, {0xFFFFFFFF, ""}};
  for (const Where& w : places) EXPECT_EQ(table.Locate(w.address), w.text) << w.address;
  EXPECT_EQ(SymbolTable().Locate(5), "");

  const std::vector<SymbolUse> uses = {{9, "loop"}, {2, "far"}, {9, "SIZE"}};
  const SymbolFileResult again = ParseSymbolFile(FormatSymbolFile(table.Entries(), 0x1234u, uses));
  EXPECT_TRUE(again.errors.empty());
  EXPECT_EQ(again.table.Entries(), table.Entries());
  EXPECT_EQ(again.table.Uses(), (std::vector<SymbolUse>{{2, "far"}, {9, "loop"}, {9, "SIZE"}}));
  EXPECT_EQ(again.listing, 0x1234u);
}

TEST(SymbolFile, ReadsOnlyRegularFilesOfSensibleSize) {
  EXPECT_FALSE(ReadSymbolFile("/nonexistent/x.sym").read);
  EXPECT_FALSE(ReadSymbolFile("/dev/zero").read);
  EXPECT_FALSE(ReadSymbolFile("/").read);
}

}  // namespace
}  // namespace tervik
