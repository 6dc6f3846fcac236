// Feeding the terminal, setting the switches and the display's PNG (libpng).
#include "BoardIO.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tervik::runner {

InputFeeder::~InputFeeder() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFeeder::ReadPiece() {
  if (fd_ < 0) return false;
  handedBefore_ += text_.size();
  text_.resize(kPiece);
  next_ = 0;
  ssize_t got;
  do {
    got = ::read(fd_, text_.data(), kPiece);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    if (got < 0) readError_ = errno;
    text_.clear();
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  text_.resize(static_cast<size_t>(got));
  return true;
}

bool InputFeeder::Refill() {
  for (;;) {
    while (next_ < text_.size()) {
      const auto c = static_cast<uint8_t>(text_[next_]);
      if (!Board::Input(processor_, panel_, terminal_.input, c)) return true;
      ++next_;
    }
    if (!ReadPiece()) return false;
  }
}

std::optional<uint32_t> ParseSwitches(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return value;
}

std::string SetSwitches(Processor& processor, const Board& board, uint32_t value) {
  const Board::Panel* panel = board.Find(PanelKind::Switch);
  if (panel == nullptr) return "the memory map has no module with switches on its panel";
  uint32_t shown = 0;
  for (const PanelElement& e : panel->description.elements) {
    if (e.kind == PanelKind::Switch && e.bits == 1) shown |= 1u << e.shift;
  }
  if ((value & ~shown) != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "%X has switches that the panel does not show (it shows %X)",
                  value, shown);
    return text;
  }
  for (const PanelElement& e : panel->description.elements) {
    if (e.kind != PanelKind::Switch || e.bits != 1) continue;
    Board::Input(processor, *panel, e.input, (value >> e.shift) & 1u);
  }
  return {};
}

namespace {

void AppendToString(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), length);
}

void NoFlush(png_structp) {}

// Reads from a string through libpng's read callback.
struct Reader {
  const std::string& data;
  size_t at = 0;
};

void ReadFromString(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
  if (reader->data.size() - reader->at < length) png_error(png, "truncated");
  std::memcpy(out, reader->data.data() + reader->at, length);
  reader->at += length;
}

}  // namespace

std::string EncodePng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  // libpng reports failures by longjmp; nothing here needs unwinding but the rows vector,
  // which is declared before the jump point.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, &AppendToString, &NoFlush);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[x * 3] = static_cast<png_byte>(p >> 16);
      row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
      row[x * 3 + 2] = static_cast<png_byte>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

bool DecodePng(const std::string& data, uint32_t& width, uint32_t& height,
               std::vector<uint32_t>& pixels) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  Reader reader{data};
  std::vector<png_byte> row;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, &ReadFromString);
  png_read_info(png, info);
  if (png_get_bit_depth(png, info) != 8 || png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB ||
      png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  row.resize(static_cast<size_t>(width) * 3);
  pixels.assign(static_cast<size_t>(width) * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    png_read_row(png, row.data(), nullptr);
    for (uint32_t x = 0; x < width; ++x) {
      pixels[static_cast<size_t>(y) * width + x] =
          uint32_t{row[x * 3]} << 16 | uint32_t{row[x * 3 + 1]} << 8 | row[x * 3 + 2];
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

std::optional<std::string> DisplayPng(const Board& board) {
  const PanelElement* display = nullptr;
  const Board::Panel* panel = board.Find(PanelKind::Pixels, &display);
  if (panel == nullptr) return std::nullopt;
  std::vector<uint32_t> pixels(static_cast<size_t>(display->width) * display->height);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = Board::Read(*panel, display->offset + static_cast<uint32_t>(i)) & 0x00FFFFFFu;
  }
  return EncodePng(display->width, display->height, pixels);
}

}  // namespace tervik::runner
