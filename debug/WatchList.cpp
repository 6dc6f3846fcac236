#include "WatchList.h"

#include <cstdio>
#include <utility>

namespace tervik::debug {

namespace {

// Registers and symbols as a condition reads them; memory only where reading has no effect.
class PeekContext : public EvalContext {
 public:
  explicit PeekContext(Session& session) : session_(session), lookup_(session.Lookup()) {}
  std::optional<uint32_t> Register(RegisterId id) override {
    return ProcessorContext(session_.Cpu()).Register(id);
  }
  std::optional<uint32_t> ReadWord(uint32_t address) override { return session_.PeekWord(address); }
  std::optional<int64_t> Symbol(std::string_view name) override { return lookup_(name); }

 private:
  Session& session_;
  SymbolLookup lookup_;
};

WatchItem MakeItem(std::string_view text) {
  WatchItem item;
  item.text = std::string(text);
  Result<Expression> parsed = Expression::Parse(text);
  if (parsed.ok()) {
    item.expression = std::move(parsed).value();
  } else {
    item.error = parsed.error().Text();
  }
  return item;
}

}  // namespace

size_t WatchList::Add(std::string_view text) {
  items_.push_back(MakeItem(text));
  return items_.size() - 1;
}

void WatchList::Edit(size_t index, std::string_view text) {
  items_.at(index) = MakeItem(text);
}

void WatchList::Remove(size_t index) {
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void WatchList::Update(Session& session, bool stop) {
  PeekContext context(session);
  for (WatchItem& item : items_) {
    if (!item.expression) continue;  // keeps its parse error
    Result<uint32_t> value = item.expression->EvaluateWord(context);
    if (value.ok()) {
      item.value = value.value();
      item.error.clear();
    } else {
      item.value.reset();
      item.error = value.error().Text();
    }
    item.changed = item.value && item.atLastStop && *item.value != *item.atLastStop;
    if (stop) item.atLastStop = item.value;
  }
}

std::string WatchValueText(uint32_t value) {
  char text[48];
  if (value & 0x80000000u) {
    std::snprintf(text, sizeof text, "%08X (%u, %d)", value, value, static_cast<int32_t>(value));
  } else {
    std::snprintf(text, sizeof text, "%08X (%u)", value, value);
  }
  return text;
}

}  // namespace tervik::debug
