// Writes the JUnit XML report.
#include "JUnit.h"

#include <cstdio>

namespace tervik::runner {
namespace {

void AppendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t':
      case '\n': out += c; break;
      default: out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
  }
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

std::string JUnitReport(const std::vector<CaseReport>& cases) {
  size_t failed = 0;
  double seconds = 0;
  for (const CaseReport& c : cases) {
    failed += c.status != 0 ? 1 : 0;
    seconds += c.seconds;
  }
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
  out += "  <testsuite name=\"tervik-run\" tests=\"" + std::to_string(cases.size());
  out += "\" failures=\"" + std::to_string(failed) + "\" errors=\"0\" time=\"";
  out += Seconds(seconds) + "\">\n";
  for (const CaseReport& c : cases) {
    out += "    <testcase classname=\"tervik-run\" name=\"";
    AppendEscaped(out, c.name);
    out += "\" time=\"" + Seconds(c.seconds) + "\">\n";
    if (c.status != 0) {
      std::string text = c.stop;
      for (const std::string& failure : c.failures) text += "\n" + failure;
      out += "      <failure type=\"exit status " + std::to_string(c.status) + "\" message=\"";
      AppendEscaped(out, c.failures.empty() ? c.stop : c.failures.front());
      out += "\">";
      AppendEscaped(out, text);
      out += "</failure>\n";
    }
    if (!c.output.empty()) {
      out += "      <system-out>";
      AppendEscaped(out, c.output);
      out += "</system-out>\n";
    }
    out += "    </testcase>\n";
  }
  out += "  </testsuite>\n</testsuites>\n";
  return out;
}

}  // namespace tervik::runner
