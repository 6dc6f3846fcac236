// A module's panel for the Board window, as plain data: the checked copy of the description a
// module's PanelDescribe gives (tervik_plugin.h), and its text form for golden files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "MemoryRegion.h"

namespace tervik {

enum class PanelKind : uint32_t {
  Led = TERVIK_PANEL_LED,
  Switch = TERVIK_PANEL_SWITCH,
  Button = TERVIK_PANEL_BUTTON,
  Digit = TERVIK_PANEL_DIGIT,
  Pixels = TERVIK_PANEL_PIXELS,
  Terminal = TERVIK_PANEL_TERMINAL,
};

struct PanelElement {
  PanelKind kind = PanelKind::Led;
  std::string label;
  uint32_t offset = 0;
  uint32_t shift = 0;
  uint32_t bits = 1;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t input = 0;

  // How many display words from `offset` the element reads: one for a field, width x height
  // for pixels, one more (the cursor) for a terminal.
  uint64_t Words() const;
  // Whether the user's clicks or keys on it go to PanelInput.
  bool TakesInput() const {
    return kind == PanelKind::Switch || kind == PanelKind::Button || kind == PanelKind::Terminal;
  }
  // The element's field of `word` (LED, switch, button, digit).
  uint32_t Field(uint32_t word) const {
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
    return (word >> shift) & mask;
  }
  bool operator==(const PanelElement&) const = default;
};

struct PanelDescription {
  std::string title;
  std::vector<PanelElement> elements;
  bool operator==(const PanelDescription&) const = default;
};

// The outcome of checking a description: the copy, or why it cannot be shown.
struct PanelCheck {
  std::optional<PanelDescription> panel;
  std::string error;
};

// Checks what `entry.PanelDescribe` returns against the rules of tervik_plugin.h for a region
// of `regionSize` words, and copies it. A null description is no panel and no error (panel
// empty, error empty). The module's strings are read with a bound, never past their limit.
PanelCheck CheckPanel(const PluginEntryPoints& entry, uint32_t regionSize);
// The same for a description at hand (the fuzz target and the tests build their own).
PanelCheck CheckPanelDescription(const TervikPanel* panel, uint32_t regionSize, bool hasPeek,
                                 bool hasInput);

// The description as text, one line for the title and one per element, e.g.
//   panel "GPIO"
//   led "LED 0" word 0 bit 0
//   switch "SW 3" word 1 bit 3 input 3
//   pixels "" word 0 size 64x32
// The golden files of the bundled modules hold this text.
std::string FormatPanel(const PanelDescription& panel);

}  // namespace tervik
