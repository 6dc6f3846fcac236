// The arithmetic of the inspection windows that needs no screen: rows and clicks, keeping an
// address in view, scroll steps, the wheel and the navigation keys, hit testing, column
// positions, the breakpoint mark's box, and hexadecimal text. All addresses are 32-bit word
// addresses that wrap modulo 2^32.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "Text.h"

namespace tervik::view {

// Rows that fit completely into a paint area of this height. A page is this many rows.
constexpr uint32_t WholeRows(int paintHeight, int lineHeight) {
  if (paintHeight <= 0 || lineHeight <= 0) return 0;
  return static_cast<uint32_t>(paintHeight / lineHeight);
}

// Rows that a repaint draws: the whole rows and one more, which the bottom edge may cut off.
constexpr uint32_t PaintedRows(int paintHeight, int lineHeight) {
  return WholeRows(paintHeight, lineHeight) + 1;
}

// The row under pixel line y of the paint area (row 0 at the top).
constexpr uint32_t RowAt(int y, int lineHeight) {
  if (y <= 0 || lineHeight <= 0) return 0;
  return static_cast<uint32_t>(y / lineHeight);
}

// The new top address after asking to show address a: a becomes the top row when it lies outside
// the whole rows shown; otherwise the view stays. Measured as the unsigned distance from the top,
// so a view that runs across 0xFFFFFFFF into 0 keeps the addresses it shows behind the wrap.
constexpr uint32_t TopAfterShow(uint32_t top, uint32_t a, uint32_t wholeRows) {
  return a - top >= wholeRows ? a : top;
}

// What a scroll bar event asks for.
enum class ScrollCode : uint8_t { LineUp, LineDown, PageUp, PageDown, Other };

// The new top address after a scroll event, for a view of `wordsPerRow` words a row and
// `wholeRows` whole rows a page. Only the four step events move the view.
constexpr uint32_t TopAfterScroll(uint32_t top, ScrollCode code, uint32_t wordsPerRow,
                                  uint32_t wholeRows) {
  switch (code) {
    case ScrollCode::LineUp: return top - wordsPerRow;
    case ScrollCode::LineDown: return top + wordsPerRow;
    case ScrollCode::PageUp: return top - wordsPerRow * wholeRows;
    case ScrollCode::PageDown: return top + wordsPerRow * wholeRows;
    case ScrollCode::Other: return top;
  }
  return top;
}

// The new top address after moving the view by `rows` rows (negative: toward lower addresses) of
// `wordsPerRow` words, wrapping modulo 2^32 as the scroll bar's arrows do.
constexpr uint32_t TopAfterRows(uint32_t top, int64_t rows, uint32_t wordsPerRow) {
  return top + static_cast<uint32_t>(rows) * wordsPerRow;
}

// ---- Mouse wheel ----

// A wheel notch turns the angle by 120 units (QWheelEvent::angleDelta) and scrolls 3 rows, so a
// row is 40 units. Touchpads send smaller deltas, which add up until they make a whole row.
inline constexpr int kWheelNotch = 120;
inline constexpr int kWheelRowsPerNotch = 3;
inline constexpr int kWheelUnitsPerRow = kWheelNotch / kWheelRowsPerNotch;

// The rows one wheel event scrolls, downward (toward higher addresses) when positive, and the
// units left over for the next event.
struct WheelSteps {
  int64_t rows;
  int pending;
};

// A positive delta turns the wheel away from the user and scrolls up, as everywhere else.
// `pending` is what the previous events left; a turn in the other direction drops it, so that a
// touchpad's jitter never cancels part of a deliberate scroll.
constexpr WheelSteps WheelRows(int pending, int delta) {
  if ((pending > 0 && delta < 0) || (pending < 0 && delta > 0)) pending = 0;
  const int64_t total = static_cast<int64_t>(pending) + delta;
  const int64_t up = total / kWheelUnitsPerRow;  // truncated toward zero
  return {-up, static_cast<int>(total - up * kWheelUnitsPerRow)};
}

// ---- Keys and the cursor row ----

// The top address that brings address a into the whole rows shown: the view stays when a is
// among them; otherwise a becomes the last whole row when it was reached moving down, the first
// when moving up. Without a whole row a is the top.
constexpr uint32_t TopToReveal(uint32_t top, uint32_t a, uint32_t wholeRows, bool movingDown) {
  if (wholeRows == 0) return a;
  if (a - top < wholeRows) return top;
  return movingDown ? a - (wholeRows - 1) : a;
}

// The disassembly's view and cursor row together.
struct CursorView {
  uint32_t top;
  uint32_t cursor;

  bool operator==(const CursorView&) const = default;
};

// Up and Down move the cursor one row; PgUp and PgDn move the cursor and the view a page of whole
// rows (at least one), so a visible cursor keeps its place on the screen. Either way the view
// then follows a cursor that left the whole rows, or that was scrolled away before.
constexpr CursorView CursorAfterKey(CursorView v, ScrollCode code, uint32_t wholeRows) {
  const uint32_t page = std::max<uint32_t>(1, wholeRows);
  bool down = true;
  switch (code) {
    case ScrollCode::LineUp:
      v.cursor -= 1;
      down = false;
      break;
    case ScrollCode::LineDown: v.cursor += 1; break;
    case ScrollCode::PageUp:
      v.cursor -= page;
      v.top -= page;
      down = false;
      break;
    case ScrollCode::PageDown:
      v.cursor += page;
      v.top += page;
      break;
    case ScrollCode::Other: return v;
  }
  v.top = TopToReveal(v.top, v.cursor, wholeRows, down);
  return v;
}

// ---- Hit testing ----

// The character column under pixel x, or -1 left of the paint area.
constexpr int ColumnAt(int x, int charWidth) {
  if (x < 0 || charWidth <= 0) return -1;
  return x / charWidth;
}

// The memory dump's row: "%08X  " for the address of its first word, then "%08X " for each of
// its words.
inline constexpr uint32_t kDumpWordsPerRow = 4;
inline constexpr int kDumpWordColumn = 10;
inline constexpr int kDumpWordWidth = 9;

// Which word of a dump row (0..3) has a digit in character column `column`; -1 on the address,
// the blanks and past the row.
constexpr int DumpWordAt(int column) {
  if (column < kDumpWordColumn) return -1;
  const int offset = column - kDumpWordColumn;
  const int word = offset / kDumpWordWidth;
  if (word >= static_cast<int>(kDumpWordsPerRow) || offset % kDumpWordWidth >= 8) return -1;
  return word;
}

// The first address of the dump row that holds address a.
constexpr uint32_t DumpRowStart(uint32_t a) {
  return a - a % kDumpWordsPerRow;
}

// A disassembly text split at its first tab. A text without a tab (the invalid MOVEI group) is all
// mnemonic, with empty operands.
struct SplitText {
  std::string_view mnemonic;
  std::string_view operands;
};

constexpr SplitText SplitAtTab(std::string_view text) {
  const size_t tab = text.find('\t');
  if (tab == std::string_view::npos) return {text, {}};
  return {text.substr(0, tab), text.substr(tab + 1)};
}

// Character columns of a disassembly row, counted from the end of the breakpoint margin.
inline constexpr int kHeadLength = 18;  // "%08X %08X ": the address and the word
inline constexpr int kMnemonicColumn = 18;
inline constexpr int kOperandColumn = 30;
inline constexpr int kCommentColumn = 46;

// Where the mnemonic, the operands and the comment of a row start, in character columns from the
// margin: each at its fixed column, or directly after the previous text if that ends further right.
struct RowColumns {
  int mnemonic;
  int operands;
  int comment;
};

constexpr RowColumns DisassemblyColumns(size_t mnemonicLength, size_t operandsLength) {
  RowColumns c{};
  c.mnemonic = kMnemonicColumn;
  c.operands = std::max(kOperandColumn, c.mnemonic + static_cast<int>(mnemonicLength));
  c.comment = std::max(kCommentColumn, c.operands + static_cast<int>(operandsLength));
  return c;
}

// The box a breakpoint mark is inscribed in, right and bottom exclusive: diameter d = the smaller
// of the mark size and the row height, from x = (margin - d) / 2 to (margin + d) / 2 and from
// rowTop + (lineHeight - d) / 2 to rowTop + (lineHeight + d) / 2, so the mark is centred in the
// margin and in the row.
struct MarkBox {
  int left;
  int top;
  int right;
  int bottom;
};

constexpr MarkBox BreakpointMarkBox(int marginWidth, int markSize, int lineHeight, int rowTop) {
  const int d = std::min(markSize, lineHeight);
  return {(marginWidth - d) / 2, rowTop + (lineHeight - d) / 2, (marginWidth + d) / 2,
          rowTop + (lineHeight + d) / 2};
}

// Writes v as eight upper-case hexadecimal digits (no terminator).
using lang::WriteHex8;

}  // namespace tervik::view
