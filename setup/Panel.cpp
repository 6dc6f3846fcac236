// Checking and copying a module's panel description.
#include "Panel.h"

#include <cstdio>
#include <cstring>

namespace tervik {

namespace {

// A module's text of at most `max` characters, or nullopt when it is longer (its end is not
// looked for past the limit).
std::optional<std::string> BoundedText(const char* text, size_t max) {
  if (text == nullptr) return std::string();
  const size_t length = strnlen(text, max + 1);
  if (length > max) return std::nullopt;
  return std::string(text, length);
}

const char* KindName(PanelKind kind) {
  switch (kind) {
    case PanelKind::Led: return "led";
    case PanelKind::Switch: return "switch";
    case PanelKind::Button: return "button";
    case PanelKind::Digit: return "digit";
    case PanelKind::Pixels: return "pixels";
    case PanelKind::Terminal: return "terminal";
  }
  return "?";
}

bool KnownKind(uint32_t kind) {
  return kind >= TERVIK_PANEL_LED && kind <= TERVIK_PANEL_TERMINAL;
}

std::string Format(const char* format, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// Why element `e` (number `index`) cannot be shown, or empty when it can.
std::string ElementError(const TervikPanelElement& e, uint32_t index, PanelElement& out,
                         const TervikPanel& panel, uint32_t regionSize, bool hasPeek,
                         bool hasInput) {
  if (!KnownKind(e.kind)) return Format("element %u has the unknown kind %u", index, e.kind);
  out.kind = static_cast<PanelKind>(e.kind);
  const std::optional<std::string> label = BoundedText(e.label, TERVIK_PANEL_LABEL_MAX);
  if (!label) {
    return Format("element %u has a label longer than %u characters", index,
                  TERVIK_PANEL_LABEL_MAX);
  }
  out.label = *label;
  out.offset = e.offset;
  out.input = e.input;
  if (out.kind == PanelKind::Pixels || out.kind == PanelKind::Terminal) {
    if (e.width == 0 || e.height == 0 || e.width > TERVIK_PANEL_SIZE_MAX ||
        e.height > TERVIK_PANEL_SIZE_MAX) {
      return Format("element %u has the size %ux%u", index, e.width, e.height);
    }
    out.width = e.width;
    out.height = e.height;
    out.shift = 0;
    out.bits = 32;
  } else {
    if (e.bits == 0 || e.bits > 32) {
      return Format("element %u has a field of %u bits", index, e.bits);
    }
    if (e.shift > 32 - e.bits) {
      return Format("element %u selects bits %u to %u of a word", index, e.shift,
                    e.shift + e.bits - 1);
    }
    if (out.kind == PanelKind::Digit && e.bits < 7) {
      return Format("element %u is a digit of %u segments", index, e.bits);
    }
    out.shift = e.shift;
    out.bits = e.bits;
  }
  if (out.TakesInput() && !hasInput) {
    return Format("element %u takes input, but the module has no PanelInput", index);
  }
  const uint64_t first = e.offset;
  const uint64_t end = first + out.Words();
  if (end > 0x100000000ull) return Format("element %u reads past word FFFFFFFF", index);
  if (!hasPeek) {
    const uint64_t quietEnd = uint64_t{panel.quiet_first} + panel.quiet_count;
    if (first < panel.quiet_first || end > quietEnd) {
      return Format("element %u reads word %u, outside the quiet words and without PanelPeek",
                    index, e.offset);
    }
    if (end > regionSize) {
      return Format("element %u reads word %u, outside the region of %u words", index,
                    static_cast<uint32_t>(end - 1), regionSize);
    }
  }
  return {};
}

}  // namespace

uint64_t PanelElement::Words() const {
  switch (kind) {
    case PanelKind::Pixels: return uint64_t{width} * height;
    case PanelKind::Terminal: return uint64_t{width} * height + 1;
    default: return 1;
  }
}

PanelCheck CheckPanelDescription(const TervikPanel* panel, uint32_t regionSize, bool hasPeek,
                                 bool hasInput) {
  PanelCheck check;
  if (panel == nullptr) return check;
  if (panel->version != TERVIK_PANEL_VERSION) {
    check.error = Format("version %u, not %u", panel->version, TERVIK_PANEL_VERSION);
    return check;
  }
  const std::optional<std::string> title = BoundedText(panel->title, TERVIK_PANEL_TITLE_MAX);
  if (panel->title == nullptr || !title || title->empty()) {
    check.error =
        Format("the title is missing or longer than %u characters", TERVIK_PANEL_TITLE_MAX);
    return check;
  }
  if (panel->element_count > TERVIK_PANEL_ELEMENTS_MAX) {
    check.error =
        Format("%u elements, more than %u", panel->element_count, TERVIK_PANEL_ELEMENTS_MAX);
    return check;
  }
  if (panel->element_count > 0 && panel->elements == nullptr) {
    check.error = Format("%u elements but no list of them", panel->element_count);
    return check;
  }
  PanelDescription copy;
  copy.title = *title;
  copy.elements.resize(panel->element_count);
  for (uint32_t i = 0; i < panel->element_count; ++i) {
    std::string error = ElementError(panel->elements[i], i, copy.elements[i], *panel, regionSize,
                                     hasPeek, hasInput);
    if (!error.empty()) {
      check.error = std::move(error);
      return check;
    }
  }
  check.panel = std::move(copy);
  return check;
}

PanelCheck CheckPanel(const PluginEntryPoints& entry, uint32_t regionSize) {
  if (entry.PanelDescribe == nullptr) return {};
  return CheckPanelDescription(entry.PanelDescribe(), regionSize, entry.PanelPeek != nullptr,
                               entry.PanelInput != nullptr);
}

std::string FormatPanel(const PanelDescription& panel) {
  std::string text = "panel \"" + panel.title + "\"\n";
  for (const PanelElement& e : panel.elements) {
    text += KindName(e.kind);
    text += " \"" + e.label + "\" word " + std::to_string(e.offset);
    if (e.kind == PanelKind::Pixels || e.kind == PanelKind::Terminal) {
      text += " size " + std::to_string(e.width) + "x" + std::to_string(e.height);
    } else if (e.bits == 1) {
      text += " bit " + std::to_string(e.shift);
    } else {
      text += " bits " + std::to_string(e.shift) + ".." + std::to_string(e.shift + e.bits - 1);
    }
    if (e.TakesInput()) text += " input " + std::to_string(e.input);
    text += '\n';
  }
  return text;
}

}  // namespace tervik
