// Console formatting: every call formats into a 2048-byte buffer and appends one line.
#include "Console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace tervik {

static_assert(std::is_same_v<decltype(&::ConsolePuts), TervikMessageCallback>,
              "ConsolePuts is handed to plug-ins as their message callback");

namespace {

// The one global of the program: the console the free functions write to.
ConsoleSink* g_consoleSink = nullptr;

using LineBuffer = char[kConsoleLineMax + 1];

// Formats into `buffer`, cutting at kConsoleLineMax characters. Returns the length of the text
// in the buffer (up to an embedded NUL from "%c"), or -1 on a formatting error.
int FormatLine(LineBuffer& buffer, const char* format, va_list args) {
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n < 0) {
    buffer[0] = '\0';
    return -1;
  }
  return static_cast<int>(std::strlen(buffer));
}

int WriteLine(ConsoleSink* sink, const char* format, va_list args) {
  LineBuffer buffer;
  const int n = FormatLine(buffer, format, args);
  if (n >= 0 && sink != nullptr) sink->AppendLine(std::string_view(buffer, n));
  return n;
}

}  // namespace

void SetConsoleSink(ConsoleSink* sink) {
  g_consoleSink = sink;
}

ConsoleSink* GetConsoleSink() {
  return g_consoleSink;
}

int ConsoleWrite(ConsoleSink& sink, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = WriteLine(&sink, format, args);
  va_end(args);
  return n;
}

int ConsoleMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = WriteLine(g_consoleSink, format, args);
  va_end(args);
  return n;
}

int ConsolePrintf(const char* format, ...) {
  LineBuffer buffer;
  va_list args;
  va_start(args, format);
  const int n = FormatLine(buffer, format, args);
  va_end(args);
  if (n < 0) return n;
  ConsoleMessage("%s", buffer);
  return n;
}

}  // namespace tervik

extern "C" int32_t ConsolePuts(const char* text) {
  return tervik::ConsolePrintf("%s", text != nullptr ? text : "");
}
