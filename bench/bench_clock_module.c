/* A minimal peripheral for the processor benchmark: one counter word that Clock advances, and
 * an idle Clock for a peripheral that has nothing to do per step. */
#include "tervik_plugin.h"

static uint32_t counter;

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  (void)message;
  (void)param;
  counter = 0;
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  const char about[] = "benchmark counter";
  for (unsigned i = 0; i < sizeof about; ++i) text[i] = about[i];
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  return offset == 0 ? counter : 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  if (offset == 0) counter = value;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  if (offset == 0) counter = value;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  counter = 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  ++counter;
}

/* A Clock with nothing to do, as a peripheral without a clocked behaviour has: the benchmark
 * maps it in place of Clock to measure what calling such a module costs. */
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL IdleClock(void) {}
