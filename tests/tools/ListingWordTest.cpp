// The one listing-word rule, read by both sides: a comment line that carries "five hex digits,
// one white-space character, 32 binary digits" is loaded as a word by the listing loader and
// refused by the assembler, and one that does not is ignored by the loader and accepted by the
// assembler, for each character that may or may not separate the two fields.
#include <gtest/gtest.h>

#include <string>

#include "Assembler.h"
#include "Listing.h"
#include "ListingWord.h"
#include "Processor.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

struct SeparatorCase {
  const char* name;
  char separator;
  bool word;  // the line carries a word
};

const SeparatorCase kSeparators[] = {
    {"space", ' ', true},          {"tab", '\t', true},
    {"form feed", '\f', true},     {"carriage return", '\r', true},
    {"vertical tab", '\v', false}, {"letter", 'x', false},
};

TEST(ListingWordTest, LoaderAndAssemblerReadTheSameLines) {
  for (const SeparatorCase& c : kSeparators) {
    const std::string line = std::string("; 00005") + c.separator + std::string(31, '0') + "1";

    EXPECT_EQ(FindListingWord(line).has_value(), c.word) << c.name;

    test::TempDir dir;
    const std::string path = dir.Write("t.lst", line + "\n");
    Processor cpu;
    cpu.AddRegion(0, 16, RegionType::RAM);
    ListingMap comments;
    test::RecordingConsole console;
    ASSERT_TRUE(LoadListing(path, cpu, comments, console)) << c.name;
    EXPECT_EQ(cpu.ReadMem(5), c.word ? 1u : 0u) << c.name << ": loader";

    const assembler::Result result = assembler::Assemble("NOP\n" + line + "\n");
    EXPECT_EQ(result.errors.empty(), !c.word) << c.name << ": assembler";
  }
}

}  // namespace
}  // namespace tervik
