/*
 * panel.c - a peripheral module for the panel tests. Its panel description is chosen by the
 * parameter text: "good" (a switch and an LED on word 0, read through ReadMem), "kind" (an
 * unknown kind), "outside" (an LED on word 9 of a smaller region), "null" (no panel). ReadMem(0)
 * gives the switch; every other read counts in word 1, so a display read outside the quiet word
 * would show.
 */
#include <string.h>

#include "tervik_plugin.h"

static uint32_t word0;
static uint32_t reads;
static TervikPanelElement elements[2];
static TervikPanel panel;
static char mode[TERVIK_PLUGIN_PARAM_MAX + 1];

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  (void)message;
  strncpy(mode, param, TERVIK_PLUGIN_PARAM_MAX);
  word0 = reads = 0;
  return 0;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  strcpy(text, "panel test module");
}
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  if (offset == 0) return word0;
  return ++reads;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  if (offset == 0) word0 = value;
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  WriteMem(offset, value);
}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {}
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}

TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL PanelDescribe(void) {
  if (strcmp(mode, "null") == 0) return NULL;
  const TervikPanelElement sw = {TERVIK_PANEL_SWITCH, "S", 0, 0, 1, 0, 0, 7};
  const TervikPanelElement led = {TERVIK_PANEL_LED, "L", 0, 0, 1, 0, 0, 0};
  elements[0] = sw;
  elements[1] = led;
  if (strcmp(mode, "kind") == 0) elements[1].kind = 9;
  if (strcmp(mode, "outside") == 0) elements[1].offset = 9;
  panel.version = TERVIK_PANEL_VERSION;
  panel.title = "Test";
  panel.elements = elements;
  panel.element_count = 2;
  panel.quiet_first = 0;
  panel.quiet_count = strcmp(mode, "outside") == 0 ? 10 : 1;
  return &panel;
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL PanelInput(uint32_t input, uint32_t value) {
  if (input != 7) return 0;
  word0 = value;
  return 1;
}
