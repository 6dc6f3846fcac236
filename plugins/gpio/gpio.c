/*
 * gpio.c - LED outputs, switch inputs and push buttons.
 *
 * Up to 32 LEDs, one bit each (bit n is LED n, 1 = on). Every store that changes them writes a
 * console line such as "GPIO LEDs 00000005 (LED 0 on, LED 2 on)" listing the LEDs that
 * changed. Up to 32 switches, read by the program; their positions come from the parameter
 * text, a hex number with or without 0x (e.g. "0x0F" sets switches 0 to 3); empty means all
 * off. Anything else is reported on the console and all switches are off.
 *
 * Register map (word offsets from the region's start):
 *   +0 LEDS      read/write: the LED outputs.
 *   +1 SWITCHES  read: the switch inputs. Writes are ignored.
 *   +2 SET       write: the 1 bits turn those LEDs on. Reads 0.
 *   +3 CLEAR     write: the 1 bits turn those LEDs off. Reads 0.
 *   +4 TOGGLE    write: the 1 bits invert those LEDs. Reads 0.
 *   +5 BUTTONS   read: the 4 push buttons in bits 0 to 3, 1 while held down. Writes are ignored.
 *   Other offsets read 0 and ignore writes.
 *
 * Panel (the emulator's Board window): LEDs 15 to 0 as lamps, switches 15 to 0 that the user
 * flips with the mouse (PanelInput: input n, 0 to 31, sets switch n to the value) and push
 * buttons 0 to 3 (input 32 + n: 1 pressed, 0 released). Reading any register has no effect,
 * so the window reads them through ReadMem.
 *
 * The emulator's own writes (WriteMem, e.g. a listing word placed in the region) change the
 * registers in the same way but write nothing to the console. Reset turns every LED off (and
 * reports it if any was on); the switches keep their positions.
 */
#include <stdio.h>
#include <string.h>

#include "tervik_plugin.h"

enum {
  GPIO_LEDS = 0,
  GPIO_SWITCHES = 1,
  GPIO_SET = 2,
  GPIO_CLEAR = 3,
  GPIO_TOGGLE = 4,
  GPIO_BUTTONS = 5
};
enum { PANEL_LEDS = 16, PANEL_SWITCHES = 16, PANEL_BUTTONS = 4, BUTTON_INPUT = 32 };

static TervikMessageCallback message_callback;
static uint32_t leds;
static uint32_t switches;
static uint32_t buttons;

static void report(const char* text) {
  if (message_callback != NULL) message_callback(text);
}

/* Sets the LEDs to `value`; writes the console line for a change when `announce` is set. */
static void set_leds(uint32_t value, int announce) {
  const uint32_t changed = leds ^ value;
  leds = value;
  if (!announce || changed == 0) return;
  /* 32 entries of at most "LED 31 off, " fit easily. */
  char text[64 + 32 * 12];
  int n = snprintf(text, sizeof text, "GPIO LEDs %08lX (", (unsigned long)value);
  const char* separator = "";
  for (unsigned bit = 0; bit < 32; ++bit) {
    if (changed & (1u << bit)) {
      n += snprintf(text + n, sizeof text - (size_t)n, "%sLED %u %s", separator, bit,
                    (value & (1u << bit)) ? "on" : "off");
      separator = ", ";
    }
  }
  snprintf(text + n, sizeof text - (size_t)n, ")");
  report(text);
}

/* Reads a hex number of at most 32 bits, with or without 0x. Returns 0 when it is not one. */
static int parse_hex(const char* text, uint32_t* value) {
  const char* p = text;
  uint64_t v = 0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  if (*p == '\0') return 0;
  for (; *p != '\0'; ++p) {
    unsigned digit;
    if (*p >= '0' && *p <= '9') {
      digit = (unsigned)(*p - '0');
    } else if (*p >= 'a' && *p <= 'f') {
      digit = (unsigned)(*p - 'a' + 10);
    } else if (*p >= 'A' && *p <= 'F') {
      digit = (unsigned)(*p - 'A' + 10);
    } else {
      return 0;
    }
    v = v * 16 + digit;
    if (v > 0xFFFFFFFFu) return 0;
  }
  *value = (uint32_t)v;
  return 1;
}

static void write_register(uint32_t offset, uint32_t value, int announce) {
  switch (offset) {
    case GPIO_LEDS: set_leds(value, announce); break;
    case GPIO_SET: set_leds(leds | value, announce); break;
    case GPIO_CLEAR: set_leds(leds & ~value, announce); break;
    case GPIO_TOGGLE: set_leds(leds ^ value, announce); break;
    default: break;
  }
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  message_callback = message;
  leds = 0;
  switches = 0;
  buttons = 0;
  if (param != NULL && param[0] != '\0' && !parse_hex(param, &switches)) {
    char text[TERVIK_PLUGIN_PARAM_MAX + 64];
    snprintf(text, sizeof text, "GPIO: invalid switch setting '%s', all switches off", param);
    report(text);
    switches = 0;
  }
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1,
           "GPIO, switches %08lX: LEDS +0, SWITCHES +1, SET +2, CLEAR +3, TOGGLE +4",
           (unsigned long)switches);
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  switch (offset) {
    case GPIO_LEDS: return leds;
    case GPIO_SWITCHES: return switches;
    case GPIO_BUTTONS: return buttons;
    default: return 0;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value, 0);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value, 1);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  set_leds(0, 1);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}

/* Clock does nothing, so any number of clocks does nothing and none needs its exact step. */
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  (void)steps;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}

/* ---- The panel ---- */

static const char* const bit_labels[32] = {
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14", "15",
    "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31"};
static const char* const button_labels[PANEL_BUTTONS] = {"BTN0", "BTN1", "BTN2", "BTN3"};

static TervikPanelElement panel_elements[PANEL_LEDS + PANEL_SWITCHES + PANEL_BUTTONS];
static TervikPanel panel;

TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL PanelDescribe(void) {
  unsigned n = 0;
  /* Bit 0 at the right, as the registers' numbers are written. */
  for (unsigned i = 0; i < PANEL_LEDS; ++i, ++n) {
    const unsigned bit = PANEL_LEDS - 1 - i;
    const TervikPanelElement e = {TERVIK_PANEL_LED, bit_labels[bit], GPIO_LEDS, bit, 1, 0, 0, 0};
    panel_elements[n] = e;
  }
  for (unsigned i = 0; i < PANEL_SWITCHES; ++i, ++n) {
    const unsigned bit = PANEL_SWITCHES - 1 - i;
    const TervikPanelElement e = {
        TERVIK_PANEL_SWITCH, bit_labels[bit], GPIO_SWITCHES, bit, 1, 0, 0, bit};
    panel_elements[n] = e;
  }
  for (unsigned i = 0; i < PANEL_BUTTONS; ++i, ++n) {
    const TervikPanelElement e = {TERVIK_PANEL_BUTTON, button_labels[i], GPIO_BUTTONS, i, 1, 0, 0,
                                  BUTTON_INPUT + i};
    panel_elements[n] = e;
  }
  panel.version = TERVIK_PANEL_VERSION;
  panel.title = "GPIO";
  panel.elements = panel_elements;
  panel.element_count = n;
  panel.quiet_first = GPIO_LEDS;
  panel.quiet_count = GPIO_BUTTONS + 1;
  return &panel;
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL PanelInput(uint32_t input, uint32_t value) {
  uint32_t* bits;
  uint32_t bit;
  if (input < 32) {
    bits = &switches;
    bit = input;
  } else if (input < BUTTON_INPUT + PANEL_BUTTONS) {
    bits = &buttons;
    bit = input - BUTTON_INPUT;
  } else {
    return 0;
  }
  if (value != 0) {
    *bits |= 1u << bit;
  } else {
    *bits &= ~(1u << bit);
  }
  return 1;
}
