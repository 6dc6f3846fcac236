// Suggestions for names that are almost right.
#include "Suggestion.h"

#include <algorithm>

namespace tervik::assembler {
namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Names longer than this get no suggestion: the distance costs their product.
constexpr size_t kLongestSuggested = 64;

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b) {
  std::string x(a);
  std::string y(b);
  std::transform(x.begin(), x.end(), x.begin(), Upper);
  std::transform(y.begin(), y.end(), y.begin(), Upper);
  std::vector<std::vector<size_t>> d(x.size() + 1, std::vector<size_t>(y.size() + 1));
  for (size_t i = 0; i <= x.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= y.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    for (size_t j = 1; j <= y.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[x.size()][y.size()];
}

std::string DidYouMean(std::string_view name, const std::vector<std::string_view>& candidates,
                       bool ignoreCase) {
  if (name.size() > kLongestSuggested) return {};
  const size_t limit = name.size() >= 5 ? 2 : 1;
  size_t best = limit + 1;
  std::vector<std::string_view> closest;
  for (std::string_view c : candidates) {
    if (c == name || c.size() > name.size() + limit || c.size() + limit < name.size()) continue;
    size_t d = EditDistance(name, c);
    if (d == 0 && !ignoreCase) d = 1;
    if (d == 0 || d > limit) continue;
    if (d < best) {
      best = d;
      closest.clear();
    }
    if (d == best && closest.size() < 3) closest.push_back(c);
  }
  if (closest.empty()) return {};
  std::string text = "did you mean ";
  for (size_t i = 0; i < closest.size(); ++i) {
    if (i > 0) text += i + 1 == closest.size() ? " or " : ", ";
    text += closest[i];
  }
  return text + "?";
}

}  // namespace tervik::assembler
