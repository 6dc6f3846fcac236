// Netstrings in, netstrings out.
#include "RunRecord.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tervik::runner {
namespace {

constexpr std::string_view kEndMark = "end";

void Put(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
  out += ',';
}

void PutNumber(std::string& out, double value) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%.17g", value);
  Put(out, std::string_view(text, static_cast<size_t>(n)));
}

// Reads the fields back one by one; any malformed one fails the rest.
class Fields {
 public:
  explicit Fields(std::string_view bytes) : rest_(bytes) {}

  std::optional<std::string_view> Next() {
    size_t length = 0;
    const auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), length);
    const size_t digits = static_cast<size_t>(end - rest_.data());
    if (error != std::errc() || digits == 0 || digits >= rest_.size() || *end != ':' ||
        rest_.size() - digits - 1 <= length || rest_[digits + 1 + length] != ',') {
      return std::nullopt;
    }
    const std::string_view field = rest_.substr(digits + 1, length);
    rest_.remove_prefix(digits + 2 + length);
    return field;
  }
  template <typename T>
  bool Number(T& value) {
    const std::optional<std::string_view> field = Next();
    if (!field) return false;
    const auto [end, error] = std::from_chars(field->data(), field->data() + field->size(), value);
    return error == std::errc() && end == field->data() + field->size();
  }
  bool Text(std::string& value) {
    const std::optional<std::string_view> field = Next();
    if (field) value = *field;
    return field.has_value();
  }
  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace

std::string EncodeFinished(const Finished& done) {
  const CaseReport& r = done.report;
  std::string out;
  Put(out, std::to_string(done.status));
  Put(out, std::to_string(done.outputError));
  Put(out, r.name);
  Put(out, std::to_string(r.status));
  Put(out, r.stop);
  Put(out, std::to_string(r.failures.size()));
  for (const std::string& failure : r.failures) Put(out, failure);
  Put(out, r.output);
  Put(out, std::to_string(r.outputCut));
  PutNumber(out, r.seconds);
  Put(out, kEndMark);
  return out;
}

std::optional<Finished> DecodeFinished(std::string_view bytes) {
  Finished done;
  CaseReport& r = done.report;
  Fields fields(bytes);
  size_t failures = 0;
  if (!fields.Number(done.status) || !fields.Number(done.outputError) || !fields.Text(r.name) ||
      !fields.Number(r.status) || !fields.Text(r.stop) || !fields.Number(failures) ||
      failures > bytes.size()) {
    return std::nullopt;
  }
  r.failures.resize(failures);
  for (std::string& failure : r.failures) {
    if (!fields.Text(failure)) return std::nullopt;
  }
  std::string seconds, end;
  if (!fields.Text(r.output) || !fields.Number(r.outputCut) || !fields.Text(seconds) ||
      !fields.Text(end) || end != kEndMark || !fields.AtEnd()) {
    return std::nullopt;
  }
  // strtod rather than from_chars: GCC 12's library has the floating-point from_chars, but
  // clang 14 with an older one may not.
  char* stop = nullptr;
  r.seconds = std::strtod(seconds.c_str(), &stop);
  if (stop != seconds.c_str() + seconds.size()) return std::nullopt;
  return done;
}

}  // namespace tervik::runner
