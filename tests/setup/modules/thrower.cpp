// thrower.cpp - a peripheral module written in C++ whose entry points throw, as a faulty
// module's may: the parameter text "read N", "write N" or "clock N" makes the Nth call of
// ReadMem, CPUWriteMem or Clock (counted from Initialize) throw a std::runtime_error saying
// "thrower: ReadMem failed" (and so on). Any other parameter never throws.
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tervik_plugin.h"

namespace {

enum class Entry { None, Read, Write, Clock };
Entry throwing = Entry::None;
unsigned countdown = 0;

void Count(Entry entry, const char* name) {
  if (entry != throwing || countdown == 0 || --countdown != 0) return;
  throw std::runtime_error(std::string("thrower: ") + name + " failed");
}

}  // namespace

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback,
                                                           const char* param) {
  char kind[16] = {};
  unsigned n = 0;
  throwing = Entry::None;
  countdown = 0;
  if (std::sscanf(param, "%15s %u", kind, &n) == 2) {
    if (std::strcmp(kind, "read") == 0) throwing = Entry::Read;
    if (std::strcmp(kind, "write") == 0) throwing = Entry::Write;
    if (std::strcmp(kind, "clock") == 0) throwing = Entry::Clock;
    countdown = n;
  }
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  std::strcpy(text, "throws on request");
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  Count(Entry::Read, "ReadMem");
  return 0x100 + offset;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t, uint32_t) {}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t, uint32_t) {
  Count(Entry::Write, "CPUWriteMem");
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  Count(Entry::Clock, "Clock");
}
