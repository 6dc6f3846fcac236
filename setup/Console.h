// The message console as the loaders and the plug-ins see it: a sink that takes one line at a
// time, and the printf-style functions that format a line for it.
//
// Threading: everything here runs on the GUI thread; the process-wide sink is not locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The emulator only calls plug-ins through pointers: it must not declare their exports.
#ifndef TERVIK_PLUGIN_HOST
#define TERVIK_PLUGIN_HOST
#endif
#include "tervik_plugin.h"

namespace tervik {

// Where console lines go. The console window implements it; tests record the lines.
class ConsoleSink {
 public:
  virtual ~ConsoleSink() = default;
  // Appends `line` as one new last line, unchanged (a line break in it does not split it).
  virtual void AppendLine(std::string_view line) = 0;
};

// The longest console line in characters: one formatting buffer of 2048 bytes. Longer text is
// cut to this length, never split over several lines.
inline constexpr size_t kConsoleLineMax = TERVIK_PLUGIN_MESSAGE_MAX;

// The process-wide sink behind ConsoleMessage, ConsolePrintf and ConsolePuts; null until set,
// and then those functions format and drop their text. The sink must outlive its use here.
void SetConsoleSink(ConsoleSink* sink);
ConsoleSink* GetConsoleSink();

// Formats like printf and appends the text as one line of `sink`. Returns the number of
// characters in that line (at most kConsoleLineMax), or -1 if the format could not be applied
// (then nothing is appended).
int ConsoleWrite(ConsoleSink& sink, const char* format, ...) __attribute__((format(printf, 2, 3)));

// ConsoleWrite to the process-wide sink.
int ConsoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats into its own buffer, then hands the result to ConsoleMessage as the argument of
// "%s", so the text is not interpreted twice. Returns the length of its own formatted text.
int ConsolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tervik

// Appends `text` unchanged as one console line (a percent sign is shown literally) and returns
// its length in characters; null counts as empty text. This is the message callback handed to
// every plug-in, so it has C linkage and exactly the callback type of the plug-in contract.
extern "C" int32_t ConsolePuts(const char* text);

namespace tervik {
using ::ConsolePuts;
}  // namespace tervik
