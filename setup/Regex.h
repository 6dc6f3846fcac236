// A compiled PCRE2 pattern (8-bit, no options, JIT-compiled where the library supports it)
// with its own match data, for the fixed patterns of the two input formats.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;

namespace tervik {

class Regex {
 public:
  // Compiles `pattern`; nullopt when PCRE2 rejects it.
  static std::optional<Regex> Compile(std::string_view pattern);

  // Searches `subject` (its length is given, so NUL bytes are ordinary characters). True when
  // the pattern matches; then Group() gives the captured text. Any result of PCRE2 other than
  // a match, errors such as the match limit included, counts as no match.
  bool Match(std::string_view subject);

  // Group n of the last successful Match (0: the whole match); empty when the group was not
  // set. The view points into the subject of that Match.
  std::string_view Group(int n) const;

 private:
  struct CodeDeleter {
    void operator()(pcre2_real_code_8* code) const;
  };
  struct MatchDataDeleter {
    void operator()(pcre2_real_match_data_8* data) const;
  };

  Regex() = default;

  std::unique_ptr<pcre2_real_code_8, CodeDeleter> code_;
  std::unique_ptr<pcre2_real_match_data_8, MatchDataDeleter> data_;
  std::string_view subject_;
  int groups_ = 0;  // pairs set by the last successful match
};

}  // namespace tervik
