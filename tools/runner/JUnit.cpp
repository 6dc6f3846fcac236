// Writes the JUnit XML report, keeping every text well-formed whatever bytes it holds.
#include "JUnit.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "Checks.h"

namespace tervik::runner {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at the start of `s` that encodes a character XML 1.0
// allows, or 0.
size_t AllowedSequence(std::string_view s) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  if (b0 < 0x80) return b0 >= 0x20 || b0 == '\t' || b0 == '\n' || b0 == '\r' ? 1 : 0;
  size_t n = 0;
  uint32_t c = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range, narrowed against overlong forms
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, c = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, c = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, c = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < n || byte(1) < lo || byte(1) > hi) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0u) != 0x80) return 0;
    c = c << 6 | (byte(i) & 0x3Fu);
  }
  return c == 0xFFFE || c == 0xFFFF ? 0 : n;
}

// Escapes markup; in an attribute also the white space a parser would turn into blanks.
void AppendEscaped(std::string& out, std::string_view raw, bool attribute = false) {
  for (char c : XmlSafeText(raw)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': out += "&#13;"; break;  // a parser would drop it from text, too
      case '\t': out += attribute ? "&#9;" : "\t"; break;
      case '\n': out += attribute ? "&#10;" : "\n"; break;
      default: out += c;
    }
  }
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

std::string XmlSafeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = AllowedSequence(text.substr(i));
    if (n == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string UtcTimestamp(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return text;
}

void OutputTail::Append(std::string_view text) {
  text_.append(text);
  if (text_.size() > 2 * limit_) {
    const size_t cut = text_.size() - limit_;
    text_.erase(0, cut);
    dropped_ += cut;
  }
}

std::string OutputTail::Take(uint64_t& dropped) {
  if (text_.size() > limit_) {
    const size_t cut = text_.size() - limit_;
    text_.erase(0, cut);
    dropped_ += cut;
  }
  // A cut start begins at the next line, when one starts in what is kept.
  if (dropped_ != 0 && !text_.empty()) {
    const size_t line = text_.find('\n');
    if (line != std::string::npos && line + 1 < text_.size()) {
      text_.erase(0, line + 1);
      dropped_ += line + 1;
    }
  }
  dropped = dropped_;
  dropped_ = 0;
  return std::exchange(text_, {});
}

std::string JUnitReport(const SuiteReport& suite) {
  size_t failures = 0, errors = 0;
  double seconds = 0;
  for (const CaseReport& c : suite.cases) {
    const Verdict verdict = VerdictOf(c.status);
    failures += verdict == Verdict::Failed ? 1 : 0;
    errors += verdict == Verdict::Error ? 1 : 0;
    seconds += c.seconds;
  }
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
  out += "  <testsuite name=\"";
  AppendEscaped(out, suite.name, true);
  out += "\" tests=\"" + std::to_string(suite.cases.size());
  out += "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors);
  out += "\" time=\"" + Seconds(seconds) + "\" timestamp=\"";
  AppendEscaped(out, suite.timestamp, true);
  out += "\" hostname=\"";
  AppendEscaped(out, suite.hostname, true);
  out += "\">\n";
  for (const CaseReport& c : suite.cases) {
    out += "    <testcase classname=\"";
    AppendEscaped(out, suite.name, true);
    out += "\" name=\"";
    AppendEscaped(out, c.name, true);
    out += "\" time=\"" + Seconds(c.seconds) + "\">\n";
    const Verdict verdict = VerdictOf(c.status);
    if (verdict != Verdict::Passed) {
      const char* element = verdict == Verdict::Error ? "error" : "failure";
      std::string text = c.stop;
      for (const std::string& failure : c.failures) {
        if (!text.empty()) text += '\n';
        text += failure;
      }
      out += std::string("      <") + element + " type=\"exit status " + std::to_string(c.status) +
             "\" message=\"";
      AppendEscaped(out, c.failures.empty() ? c.stop : c.failures.front(), true);
      out += "\">";
      AppendEscaped(out, text);
      out += std::string("</") + element + ">\n";
    }
    if (!c.output.empty() || c.outputCut != 0) {
      out += "      <system-out>";
      if (c.outputCut != 0) {
        out += "[tervik-run: the first " + std::to_string(c.outputCut) +
               " bytes of the program's output are not kept here]\n";
      }
      AppendEscaped(out, c.output);
      out += "</system-out>\n";
    }
    out += "    </testcase>\n";
  }
  out += "  </testsuite>\n</testsuites>\n";
  return out;
}

}  // namespace tervik::runner
