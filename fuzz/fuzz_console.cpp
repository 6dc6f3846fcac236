// Fuzzes the console functions with text of any length and content (as arguments, never as
// formats: formats are always the program's own).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

using namespace tervik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::CheckingConsole console;
  SetConsoleSink(&console);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t shown = std::min(text.find('\0'), text.size());  // C strings end at NUL
  const int a = ConsolePuts(text.c_str());
  const int b = ConsolePrintf("%s|%s", text.c_str(), text.c_str());
  const int c = ConsoleMessage("%.*s", static_cast<int>(size), text.c_str());
  SetConsoleSink(nullptr);
  if (console.lines != 3) fuzz::Broken("one call, one line");
  if (a != static_cast<int>(std::min(shown, kConsoleLineMax))) fuzz::Broken("ConsolePuts count");
  if (b < 0 || c < 0 || b > static_cast<int>(2 * shown + 1)) fuzz::Broken("formatted count");
  return 0;
}
