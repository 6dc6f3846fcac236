// PCRE2 behind RAII: the compiled code and the match data are freed with the Regex.
#include "Regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace tervik {

void Regex::CodeDeleter::operator()(pcre2_code* code) const {
  pcre2_code_free(code);
}

void Regex::MatchDataDeleter::operator()(pcre2_match_data* data) const {
  pcre2_match_data_free(data);
}

std::optional<Regex> Regex::Compile(std::string_view pattern) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  Regex regex;
  regex.code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), 0,
                                  &error, &offset, nullptr));
  if (!regex.code_) return std::nullopt;
  // The JIT is five times faster on large files and does not run into the match limit on long
  // runs of blanks; where it is unavailable pcre2_match interprets the pattern instead.
  pcre2_jit_compile(regex.code_.get(), PCRE2_JIT_COMPLETE);
  regex.data_.reset(pcre2_match_data_create_from_pattern(regex.code_.get(), nullptr));
  if (!regex.data_) return std::nullopt;
  return regex;
}

bool Regex::Match(std::string_view subject) {
  groups_ = 0;
  if (subject.data() == nullptr) subject = std::string_view("", 0);
  const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                             subject.size(), 0, 0, data_.get(), nullptr);
  if (rc <= 0) return false;  // no match, or an error such as the match limit
  subject_ = subject;
  groups_ = rc;
  return true;
}

std::string_view Regex::Group(int n) const {
  if (n < 0 || n >= groups_) return {};
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data_.get());
  const PCRE2_SIZE begin = ovector[2 * n];
  const PCRE2_SIZE end = ovector[2 * n + 1];
  if (begin == PCRE2_UNSET || end < begin) return {};
  return subject_.substr(begin, end - begin);
}

}  // namespace tervik
