// The JUnit XML report of tervik-run --junit: one test suite, a test case per run; and the
// bounded tail of a run's output that the report keeps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tervik::runner {

struct CaseReport {
  std::string name;                   // the run's --name, else the listing's path
  int status = 0;                     // its exit status; a case fails when it is not 0
  std::string stop;                   // the run's last line ("halted: pc stayed at ...")
  std::vector<std::string> failures;  // the faults and failed expectations, one a line
  std::string output;                 // the last part of the program's own console lines
  uint64_t outputCut = 0;             // bytes of output before `output` that were not kept
  double seconds = 0;
};

struct SuiteReport {
  std::string name;       // the suite file's name as given; "tervik-run" for a single run
  std::string timestamp;  // when the first run started, UTC, "2026-12-07T21:30:00"
  std::string hostname;
  std::vector<CaseReport> cases;
};

// The report: <testsuites> with one <testsuite>; each case a <testcase> with, when its status is
// not 0, an <error> (the run could not run, faulted or was interrupted) or a <failure> (a check
// failed: see VerdictOf) whose type names the exit status and whose message and text hold the
// stop line and the failures; and a <system-out> with the program's output, led by a note when
// its start was cut. Whatever the texts hold, the report is well-formed XML 1.0 in UTF-8.
std::string JUnitReport(const SuiteReport& suite);

// `text` as XML 1.0 may hold it: each byte that is not part of valid UTF-8 and each character
// XML forbids (control characters other than tab, line feed and carriage return; U+FFFE,
// U+FFFF) becomes U+FFFD. Does not escape markup.
std::string XmlSafeText(std::string_view text);

// "2026-12-07T21:30:00" for a time in seconds since 1970, in UTC.
std::string UtcTimestamp(int64_t seconds);

// The last `limit` bytes or so of what a run's program writes, from the start of a line where
// one begins in them, with the count of the bytes before them that were dropped. Holds at most
// twice `limit` bytes whatever is appended.
class OutputTail {
 public:
  static constexpr size_t kDefaultLimit = 64 * 1024;

  explicit OutputTail(size_t limit = kDefaultLimit) : limit_(limit) {}
  void Append(std::string_view text);
  // The tail, and how many bytes before it were dropped; empties the tail.
  std::string Take(uint64_t& dropped);
  size_t Held() const { return text_.size(); }

 private:
  size_t limit_;
  std::string text_;
  uint64_t dropped_ = 0;
};

}  // namespace tervik::runner
