// Line numbers across edits made since a source was assembled: random inserts and removals are
// applied both to LineShifts and to a list of the lines themselves, and the two must agree on
// where every assembled line stands and which assembled line every line now is.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

#include "LineShifts.h"

namespace tervik::assembler {
namespace {

TEST(LineShifts, AgreesWithTheEditedLines) {
  std::mt19937 random(7);
  auto pick = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 200; ++round) {
    const int assembled = pick(0, 30);
    std::vector<int> lines(static_cast<size_t>(assembled));  // each line's assembled number
    for (int i = 0; i < assembled; ++i) lines[static_cast<size_t>(i)] = i + 1;
    LineShifts shifts;
    const int edits = pick(0, 12);
    for (int e = 0; e < edits; ++e) {
      const int size = static_cast<int>(lines.size());
      if (pick(0, 1) == 0 || size == 0) {
        const int at = pick(1, size + 1);
        const int count = pick(1, 4);
        lines.insert(lines.begin() + (at - 1), static_cast<size_t>(count), 0);  // 0: new
        shifts.Insert(at, count);
      } else {
        const int at = pick(1, size);
        const int count = pick(1, size - at + 1);
        lines.erase(lines.begin() + (at - 1), lines.begin() + (at - 1 + count));
        shifts.Remove(at, count);
      }
    }
    for (int a = 1; a <= assembled; ++a) {
      const auto found = std::find(lines.begin(), lines.end(), a);
      const std::optional<int> expected =
          found == lines.end() ? std::nullopt
                               : std::optional<int>(static_cast<int>(found - lines.begin()) + 1);
      ASSERT_EQ(shifts.Now(a), expected) << "round " << round << ", assembled line " << a;
    }
    const int size = static_cast<int>(lines.size());
    for (int now = 1; now <= size; ++now) {
      const int a = lines[static_cast<size_t>(now - 1)];
      ASSERT_EQ(shifts.Assembled(now), a == 0 ? std::nullopt : std::optional<int>(a))
          << "round " << round << ", line " << now;
      std::optional<int> below;
      for (int l = now; l <= size && !below; ++l) {
        if (const int b = lines[static_cast<size_t>(l - 1)]) below = b;
      }
      ASSERT_EQ(shifts.AssembledAtOrBelow(now, size), below) << "round " << round;
    }
  }
}

TEST(LineShifts, EmptyCountsChangeNothing) {
  LineShifts shifts;
  shifts.Insert(3, 0);
  shifts.Remove(3, 0);
  EXPECT_TRUE(shifts.empty());
  EXPECT_EQ(shifts.Now(5), 5);
  shifts.Insert(1, 2);
  shifts.Clear();
  EXPECT_EQ(shifts.Assembled(1), 1);
}

}  // namespace
}  // namespace tervik::assembler
