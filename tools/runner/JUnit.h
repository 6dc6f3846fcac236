// The JUnit XML report of tervik-run --junit: one test suite, a test case per run.
#pragma once

#include <string>
#include <vector>

namespace tervik::runner {

struct CaseReport {
  std::string name;                   // the run's --name, else the listing's path
  int status = 0;                     // its exit status; a case fails when it is not 0
  std::string stop;                   // the run's last line ("halted: pc stayed at ...")
  std::vector<std::string> failures;  // the faults and failed expectations, one a line
  std::string output;                 // the program's own console lines
  double seconds = 0;
};

// The report: <testsuites> with one <testsuite name="tervik-run">; each case a <testcase>
// whose <failure> (status not 0) has the stop line and the failures as its message and text,
// and whose <system-out> holds the program's output. Text is escaped for XML; bytes XML does
// not allow (control characters other than tab and line feed) become '?'.
std::string JUnitReport(const std::vector<CaseReport>& cases);

}  // namespace tervik::runner
