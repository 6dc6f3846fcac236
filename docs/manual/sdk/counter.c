/* counter.c: a peripheral module that counts instruction steps.
 *   +0 COUNT    read: the steps counted so far; write: set the count
 *   +1 CONTROL  write 1 to start counting, 0 to stop; read: 1 while counting
 * The parameter text on the map line, if any, is the step between counts
 * (default 1). Its panel in the Board window: a switch that starts and
 * stops it, and the low eight bits of COUNT as lamps. */
#include <stdio.h>
#include <stdlib.h>

#include "tervik_plugin.h"

static TervikMessageCallback say;
static uint32_t count, running, step = 1;

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL
Initialize(TervikMessageCallback message, const char* param) {
  say = message;
  if (param[0] != '\0') step = (uint32_t)strtoul(param, NULL, 0);
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  snprintf(text, TERVIK_PLUGIN_ABOUT_BUFFER,
           "Step counter: COUNT +0, CONTROL +1, step %u", (unsigned)step);
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  return offset == 0 ? count : running;
}

/* The emulator's own writes (loading a listing, clearing memory) only set the
 * count. */
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset,
                                                      uint32_t value) {
  if (offset == 0) count = value;
}

static void set_running(uint32_t value) {
  if ((value != 0) != (running != 0)) {
    running = value != 0;
    say(running ? "counter started" : "counter stopped");
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset,
                                                         uint32_t value) {
  if (offset == 0) {
    count = value;
  } else {
    set_running(value);
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  count = running = 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  if (running) count += step;
}

/* The panel (optional). Reading either word has no effect, so the window
 * may read both through ReadMem: the quiet words are 0 and 1. */
static const TervikPanelElement elements[] = {
    /* kind, label, offset, shift, bits, width, height, input */
    {TERVIK_PANEL_SWITCH, "run", 1, 0, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "7", 0, 7, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "6", 0, 6, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "5", 0, 5, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "4", 0, 4, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "3", 0, 3, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "2", 0, 2, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "1", 0, 1, 1, 0, 0, 0},
    {TERVIK_PANEL_LED, "0", 0, 0, 1, 0, 0, 0},
};
static const TervikPanel panel = {TERVIK_PANEL_VERSION, "Step counter",
                                  elements, 9, 0, 2};

TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL
PanelDescribe(void) {
  return &panel;
}

/* The switch (input 0) was flipped: 1 up, 0 down. */
TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL PanelInput(uint32_t input,
                                                           uint32_t value) {
  if (input != 0) return 0;
  set_running(value);
  return 1;
}
