// The arithmetic of the inspection windows that needs no screen: rows and clicks, keeping an
// address in view, scroll steps, column positions, the breakpoint mark's box, and hexadecimal
// text. All addresses are 32-bit word addresses that wrap modulo 2^32.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

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
constexpr void WriteHex8(char* out, uint32_t v) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i) {
    out[i] = kDigits[v & 0xFu];
    v >>= 4;
  }
}

}  // namespace tervik::view
