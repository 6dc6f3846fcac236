// thrower.cpp - a peripheral module for the runner's tests whose ReadMem throws a C++
// exception: a program that reads its word ends the run with an exception out of the processor.
#include <stdexcept>
#include <string>

#include "tervik_plugin.h"

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback, const char*) {
  return 0;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  const std::string about = "Thrower: ReadMem throws";
  about.copy(text, about.size());
  text[about.size()] = '\0';
}
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  throw std::runtime_error("thrower: refused a read at offset " + std::to_string(offset));
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t, uint32_t) {}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t, uint32_t) {}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}
