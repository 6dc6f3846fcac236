/*
 * misbehave.c - a peripheral module for the runner's tests that ends or stops its process from
 * one entry point, as a broken module can: its parameter is "ACTION:ENTRY", with ACTION one of
 * hang (loops for ever), exit0 (calls exit(0)), abort, segv (raises SIGSEGV) and kill (raises
 * SIGKILL), and ENTRY one of init (Initialize), reset (Reset), clock (Clock) and read (ReadMem).
 * Any other parameter makes a module that does nothing wrong.
 */
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "tervik_plugin.h"

static char action[16];
static char entry[16];

static void Misbehave(const char* here) {
  if (strcmp(entry, here) != 0) return;
  if (strcmp(action, "hang") == 0) {
    for (volatile int forever = 1; forever;) {
    }
  } else if (strcmp(action, "exit0") == 0) {
    exit(0);
  } else if (strcmp(action, "abort") == 0) {
    abort();
  } else if (strcmp(action, "segv") == 0) {
    raise(SIGSEGV);
  } else if (strcmp(action, "kill") == 0) {
    raise(SIGKILL);
  }
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  (void)message;
  const char* blank = strchr(param, ':');
  action[0] = entry[0] = '\0';
  if (blank != NULL && (size_t)(blank - param) < sizeof action &&
      strlen(blank + 1) < sizeof entry) {
    memcpy(action, param, (size_t)(blank - param));
    action[blank - param] = '\0';
    strcpy(entry, blank + 1);
  }
  Misbehave("init");
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  strcpy(text, "Misbehave");
}
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  Misbehave("read");
  return offset;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  (void)offset;
  (void)value;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  (void)offset;
  (void)value;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  Misbehave("reset");
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  Misbehave("clock");
}
