/*
 * hostile.c - a peripheral module that misbehaves in every way a module can without corrupting
 * the emulator outright: its About writes 10,000 characters (far past the 512 bytes it is
 * promised), it floods the console from Initialize with lines longer than a console line, and
 * it calls the message callback from Initialize, Reset and Clock.
 */
#include <string.h>

#include "tervik_plugin.h"

static TervikMessageCallback say;
static unsigned clocks;

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  static char flood[5000];
  say = message;
  memset(flood, 'F', sizeof flood - 1);
  flood[sizeof flood - 1] = '\0';
  for (int i = 0; i < 200; ++i) message(flood);
  message(param);
  clocks = 0;
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  memset(text, 'A', 10000);
  text[10000] = '\0';
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) { return offset; }
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  (void)offset;
  (void)value;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  (void)offset;
  (void)value;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  if (say) say("hostile: reset");
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  if (say && ++clocks % 1000 == 0) say("hostile: a thousand clocks");
}
