// Where the Board window puts a panel's elements, as plain arithmetic that the tests check
// without a screen: elements go left to right in description order, a new row starts where
// the kind changes, and a pixel display or a terminal has a row of its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Panel.h"

namespace tervik::board {

struct Box {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

struct PanelLayout {
  std::vector<Box> cells;  // one per element, label included
  int width = 0, height = 0;
};

constexpr int kMargin = 6;
constexpr int kSpacing = 4;
constexpr int kLabelHeight = 14;

// The scale a pixel display of w x h is drawn at: as large as fits 384 x 256, 1 to 8.
constexpr int PixelScale(uint32_t w, uint32_t h) {
  const int s = static_cast<int>(std::min(384u / w, 256u / h));
  return std::clamp(s, 1, 8);
}

// The size of an element's picture (without its label); `charW` x `charH` is a terminal's cell.
inline Box ElementSize(const PanelElement& e, int charW, int charH) {
  switch (e.kind) {
    case PanelKind::Led: return {0, 0, 22, 22};
    case PanelKind::Switch: return {0, 0, 22, 34};
    case PanelKind::Button: return {0, 0, 30, 30};
    case PanelKind::Digit: return {0, 0, 30, 46};
    case PanelKind::Pixels: {
      const int s = PixelScale(e.width, e.height);
      return {0, 0, static_cast<int>(e.width) * s, static_cast<int>(e.height) * s};
    }
    case PanelKind::Terminal:
      return {0, 0, static_cast<int>(e.width) * charW + 4, static_cast<int>(e.height) * charH + 4};
  }
  return {};
}

inline PanelLayout LayOut(const PanelDescription& panel, int charW, int charH) {
  PanelLayout layout;
  int x = kMargin, y = kMargin, rowHeight = 0;
  const PanelElement* previous = nullptr;
  for (const PanelElement& e : panel.elements) {
    const bool own = e.kind == PanelKind::Pixels || e.kind == PanelKind::Terminal;
    if (previous != nullptr &&
        (own || e.kind != previous->kind || previous->kind == PanelKind::Pixels ||
         previous->kind == PanelKind::Terminal)) {
      y += rowHeight + kSpacing;
      x = kMargin;
      rowHeight = 0;
    }
    const Box size = ElementSize(e, charW, charH);
    const int labelH = e.label.empty() ? 0 : kLabelHeight;
    const Box cell{x, y, std::max(size.w, labelH != 0 ? 24 : 0), size.h + labelH};
    layout.cells.push_back(cell);
    x += cell.w + kSpacing;
    rowHeight = std::max(rowHeight, cell.h);
    layout.width = std::max(layout.width, x - kSpacing + kMargin);
    previous = &e;
  }
  layout.height = panel.elements.empty() ? 0 : y + rowHeight + kMargin;
  return layout;
}

// The element at (x, y), or -1.
inline int HitTest(const PanelLayout& layout, int x, int y) {
  for (size_t i = 0; i < layout.cells.size(); ++i) {
    if (layout.cells[i].Contains(x, y)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tervik::board
