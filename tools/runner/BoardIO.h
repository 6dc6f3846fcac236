// tervik-run's board options: the terminal's receive side fed from a text (--input,
// --input-file), the GPIO switches set (--set-switches) and the pixel display written as a PNG
// at the end of the run (--dump-display). All of it goes through the modules' panels, as the
// Board window's input and drawing do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Board.h"
#include "Processor.h"

namespace tervik::runner {

// How many instructions a run goes between two refills of the receive buffer: no more than the
// 256 characters a bundled terminal holds, and each character takes the program at least one
// instruction (the store that takes it out), so the buffer never runs dry while input is left.
inline constexpr uint64_t kInputSlice = 256;

// Hands a text, character by character, to the first terminal of the board's panels: a text
// given whole, or a file read a piece at a time as the terminal takes it, so that an input of
// any size needs no more memory than one piece.
class InputFeeder {
 public:
  static constexpr size_t kPiece = 64 * 1024;

  InputFeeder(Processor& processor, const Board::Panel& panel, const PanelElement& terminal,
              std::string text)
      : processor_(processor), panel_(panel), terminal_(terminal), text_(std::move(text)) {}
  // Reads from `fd`, which it owns from now on (closed when it goes).
  InputFeeder(Processor& processor, const Board::Panel& panel, const PanelElement& terminal, int fd)
      : processor_(processor), panel_(panel), terminal_(terminal), fd_(fd) {}
  ~InputFeeder();
  InputFeeder(const InputFeeder&) = delete;
  InputFeeder& operator=(const InputFeeder&) = delete;

  // Hands over characters until the module refuses one (its buffer is full) or none is left.
  // Whether any are left. A failed read ends the input (ReadError says why).
  bool Refill();
  uint64_t Handed() const { return handedBefore_ + next_; }
  int ReadError() const { return readError_; }

 private:
  // The next piece of the file into text_; false at its end or on an error.
  bool ReadPiece();

  Processor& processor_;
  const Board::Panel& panel_;
  const PanelElement& terminal_;
  std::string text_;
  size_t next_ = 0;
  int fd_ = -1;
  uint64_t handedBefore_ = 0;  // characters of the pieces before text_
  int readError_ = 0;
};

// --set-switches: eight hex digits at most, with or without 0x. nullopt when it is not one.
std::optional<uint32_t> ParseSwitches(std::string_view text);

// Sets every switch of the board's first panel with switches to its bit of `value` (the bit
// its field selects). Returns an error text when no panel has switches or `value` has a 1 bit
// no switch shows; empty on success.
std::string SetSwitches(Processor& processor, const Board& board, uint32_t value);

// The first pixel display of the board as a PNG file's bytes (8-bit RGB); nullopt when the
// board has none.
std::optional<std::string> DisplayPng(const Board& board);

// A PNG file's bytes of `width` x `height` pixels 0x00RRGGBB, row by row; and back (the tests
// compare pictures, not bytes). DecodePng returns false for anything but an 8-bit RGB picture.
std::string EncodePng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels);
bool DecodePng(const std::string& png, uint32_t& width, uint32_t& height,
               std::vector<uint32_t>& pixels);

}  // namespace tervik::runner
