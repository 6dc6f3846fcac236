// Fuzzes the panel check with broken descriptions: the input builds a TervikPanel (version,
// title, counts, quiet words, elements with any kind, field, size, offset and label) in memory,
// with strings that may lack their terminating NUL past their limit, and a region size and
// the presence of PanelPeek and PanelInput. The check must never read past what it was given,
// and whatever it accepts must satisfy what the Board window relies on: known kinds, fields
// inside the word, sizes in range, every display word inside the quiet words and the region
// (without PanelPeek), labels and title within their limits, input elements only with
// PanelInput; and the text form must name every element.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Panel.h"

using namespace tervik;

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = w << 8 | Byte();
    return w;
  }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // A small number, mostly, so that valid values come up often.
  uint32_t Small() {
    const uint8_t b = Byte();
    return b < 0xF0 ? b % 40 : Word();
  }
  // A text of the input's bytes in a buffer of exactly its length. At times it has no NUL and
  // is longer than `limit`: the check must stop looking at limit + 1 characters, and reading
  // further would show as a heap overflow under ASan.
  const char* Text(std::vector<std::unique_ptr<char[]>>& keep, size_t limit) {
    const uint8_t kind = Byte();
    if (kind % 4 == 0) return nullptr;
    const bool terminated = kind % 4 != 3;
    const size_t length = terminated ? Byte() % (limit + 8) : limit + 1 + Byte() % 8;
    auto buffer = std::make_unique<char[]>(length + (terminated ? 1 : 0));
    for (size_t i = 0; i < length; ++i) buffer[i] = static_cast<char>(Byte() | 1);
    if (terminated) buffer[length] = '\0';
    keep.push_back(std::move(buffer));
    return keep.back().get();
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::vector<std::unique_ptr<char[]>> texts;
  const uint8_t flags = in.Byte();
  const bool hasPeek = flags & 1, hasInput = flags & 2;
  const uint32_t regionSize = in.Small();
  TervikPanel panel{};
  panel.version = flags & 4 ? in.Word() : TERVIK_PANEL_VERSION;
  panel.title = in.Text(texts, TERVIK_PANEL_TITLE_MAX);
  panel.quiet_first = in.Small();
  panel.quiet_count = in.Small();
  const uint32_t count = in.Byte() % 12;
  std::vector<TervikPanelElement> elements(count);
  for (TervikPanelElement& e : elements) {
    e.kind = in.Byte() % 8;
    e.label = in.Text(texts, TERVIK_PANEL_LABEL_MAX);
    e.offset = in.Small();
    e.shift = in.Small();
    e.bits = in.Small();
    e.width = in.Small();
    e.height = in.Small();
    e.input = in.Word();
  }
  panel.elements = count > 0 || (flags & 8) ? elements.data() : nullptr;
  // At times a count larger than the list, which the check must refuse by the limit alone.
  panel.element_count = flags & 16 ? TERVIK_PANEL_ELEMENTS_MAX + 1 + in.Byte() : count;

  const PanelCheck check = CheckPanelDescription(&panel, regionSize, hasPeek, hasInput);
  if (check.panel.has_value() == !check.error.empty()) fuzz::Broken("panel and error disagree");
  if (!check.panel) return 0;
  const PanelDescription& p = *check.panel;
  if (p.title.empty() || p.title.size() > TERVIK_PANEL_TITLE_MAX) fuzz::Broken("title");
  if (p.elements.size() != panel.element_count) fuzz::Broken("element count");
  for (const PanelElement& e : p.elements) {
    if (e.label.size() > TERVIK_PANEL_LABEL_MAX) fuzz::Broken("label");
    if (e.TakesInput() && !hasInput) fuzz::Broken("input without PanelInput");
    if (e.kind == PanelKind::Pixels || e.kind == PanelKind::Terminal) {
      if (e.width == 0 || e.height == 0 || e.width > TERVIK_PANEL_SIZE_MAX ||
          e.height > TERVIK_PANEL_SIZE_MAX) {
        fuzz::Broken("size");
      }
    } else if (e.bits == 0 || e.bits > 32 || e.shift + e.bits > 32) {
      fuzz::Broken("field");
    }
    const uint64_t end = uint64_t{e.offset} + e.Words();
    if (end > 0x100000000ull) fuzz::Broken("display words past FFFFFFFF");
    if (!hasPeek && (e.offset < panel.quiet_first ||
                     end > uint64_t{panel.quiet_first} + panel.quiet_count || end > regionSize)) {
      fuzz::Broken("a display word ReadMem may not read");
    }
  }
  const std::string text = FormatPanel(p);
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  if (lines != p.elements.size() + 1) fuzz::Broken("text form");
  return 0;
}
