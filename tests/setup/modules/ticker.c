/*
 * ticker.c - a peripheral module for the catch-up clocking tests: a clock counter that writes a
 * console line from Clock every PERIOD clocks, so that its lines must come at their exact step
 * among the other modules' lines.
 *   +0 PERIOD  read/write: a line every PERIOD clocks (the low 6 bits of the value written;
 *              0: none). A write restarts the count to the next line.
 *   +1 CLOCKS  read/write: the clocks since Reset (or since the value written).
 *   +2 PHASE   read: the clocks since the last line.
 *   +3         read: the instruction word MOVEL R4,CLOCKS (low 16 bits), for a fetch that
 *              depends on the exact step.
 *   +4         read: the instruction word JUMPr R3.
 *   Other offsets read 0 and ignore writes.
 * The parameter text is the label of its lines: "<label> tick at <clocks>".
 * ClockSteps is exported unless TICKER_WITHOUT_CLOCK_STEPS is defined; it emits every line a
 * clock in its span would, so that a host that defers a line past its step shows in the order.
 */
#include <stdio.h>

#include "tervik_plugin.h"

static TervikMessageCallback message_callback;
static char label[TERVIK_PLUGIN_PARAM_MAX + 1];
static uint32_t period;
static uint32_t phase;
static uint32_t clocks;

static void write_register(uint32_t offset, uint32_t value) {
  switch (offset) {
    case 0:
      period = value & 63u;
      phase = 0;
      break;
    case 1: clocks = value; break;
    default: break;
  }
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  message_callback = message;
  snprintf(label, sizeof label, "%s", param);
  period = phase = clocks = 0;
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1, "ticker '%s'", label);
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  switch (offset) {
    case 0: return period;
    case 1: return clocks;
    case 2: return phase;
    case 3: return 0xEC800000u | (clocks & 0xFFFFu); /* MOVEI group, R4, MOVEL */
    case 4: return 0x48000003u;                      /* JUMPr R3 */
    default: return 0;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  period = phase = clocks = 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  ++clocks;
  if (period == 0 || ++phase < period) return;
  phase = 0;
  char text[TERVIK_PLUGIN_PARAM_MAX + 32];
  snprintf(text, sizeof text, "%s tick at %lu", label, (unsigned long)clocks);
  if (message_callback != NULL) message_callback(text);
}

#ifndef TICKER_WITHOUT_CLOCK_STEPS
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  for (uint32_t i = 0; i < steps; ++i) Clock();
  return period == 0 ? TERVIK_PLUGIN_CLOCK_IDLE : period - phase;
}
#endif
