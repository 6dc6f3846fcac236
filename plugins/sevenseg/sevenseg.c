/*
 * sevenseg.c - a row of up to 8 seven-segment digits.
 *
 * Parameter text: the number of digits, 1 to 8; empty means 8. Anything else is reported on the
 * console and 8 is used.
 *
 * Register map (word offsets from the region's start):
 *   +0 .. +7  DIGIT0 .. DIGIT7  read/write: digit n, digit 0 the rightmost. Bits 0 to 6 light
 *                               segments a to g (a top, then clockwise, g the middle), bit 7
 *                               the decimal point; or, in hex mode, bits 0 to 3 are a value
 *                               0 to F shown as its hex digit and bit 7 the point. Only bits
 *                               0 to 7 are kept. Digits beyond the count read 0 and ignore
 *                               writes.
 *   +8        HEXMODE           read/write: bit n puts digit n in hex mode. Only bits 0 to 7
 *                               are kept.
 *   Other offsets read 0 and ignore writes.
 *
 * The emulator's own writes (WriteMem) and the program's stores (CPUWriteMem) act alike. Reset
 * blanks every digit and clears HEXMODE.
 *
 * Panel (the emulator's Board window): the digits from the highest to digit 0, each read
 * through PanelPeek as the segments it lights (offset n gives digit n's segments, hex mode
 * decoded).
 */
#include <stdio.h>

#include "tervik_plugin.h"

enum { DIGITS_MAX = 8, SEVENSEG_HEXMODE = 8 };

static TervikMessageCallback message_callback;
static uint32_t digit_count = DIGITS_MAX;
static uint32_t digits[DIGITS_MAX];
static uint32_t hexmode;

/* The segments a to g (bits 0 to 6) of the hex digits 0 to F. */
static const uint8_t hex_segments[16] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07,
                                         0x7F, 0x6F, 0x77, 0x7C, 0x39, 0x5E, 0x79, 0x71};

static void write_register(uint32_t offset, uint32_t value) {
  if (offset < digit_count) {
    digits[offset] = value & 0xFFu;
  } else if (offset == SEVENSEG_HEXMODE) {
    hexmode = value & 0xFFu;
  }
}

/* The segments digit n lights. */
static uint32_t segments(uint32_t n) {
  if (n >= digit_count) return 0;
  if (hexmode & (1u << n)) return hex_segments[digits[n] & 0xFu] | (digits[n] & 0x80u);
  return digits[n];
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  for (unsigned i = 0; i < DIGITS_MAX; ++i) digits[i] = 0;
  hexmode = 0;
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  message_callback = message;
  digit_count = DIGITS_MAX;
  if (param != NULL && param[0] != '\0') {
    if (param[0] >= '1' && param[0] <= '8' && param[1] == '\0') {
      digit_count = (uint32_t)(param[0] - '0');
    } else {
      char text[TERVIK_PLUGIN_PARAM_MAX + 64];
      snprintf(text, sizeof text, "Seven-segment: invalid digit count '%s', using 8", param);
      if (message_callback != NULL) message_callback(text);
    }
  }
  Reset();
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1,
           "Seven-segment display, %lu digits: DIGIT0 +0 .. DIGIT%lu +%lu, HEXMODE +8",
           (unsigned long)digit_count, (unsigned long)(digit_count - 1),
           (unsigned long)(digit_count - 1));
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  if (offset < digit_count) return digits[offset];
  if (offset == SEVENSEG_HEXMODE) return hexmode;
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}

/* Clock does nothing, so any number of clocks does nothing and none needs its exact step. */
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  (void)steps;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}

/* ---- The panel ---- */

static const char* const digit_labels[DIGITS_MAX] = {"0", "1", "2", "3", "4", "5", "6", "7"};
static TervikPanelElement panel_elements[DIGITS_MAX];
static TervikPanel panel;

TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL PanelDescribe(void) {
  for (uint32_t i = 0; i < digit_count; ++i) {
    const uint32_t n = digit_count - 1 - i; /* digit 0 at the right */
    const TervikPanelElement e = {TERVIK_PANEL_DIGIT, digit_labels[n], n, 0, 8, 0, 0, 0};
    panel_elements[i] = e;
  }
  panel.version = TERVIK_PANEL_VERSION;
  panel.title = "Seven-segment display";
  panel.elements = panel_elements;
  panel.element_count = digit_count;
  panel.quiet_first = 0;
  panel.quiet_count = 0;
  return &panel;
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL PanelPeek(uint32_t offset) {
  return segments(offset);
}
