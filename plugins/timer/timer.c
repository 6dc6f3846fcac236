/*
 * timer.c - a counter driven by the instruction clock.
 *
 * Every instruction step calls Clock once. After PRESCALER such calls, while the timer is
 * enabled, COUNTER goes up by one; when the new COUNTER equals COMPARE, FLAG is set and
 * COUNTER is loaded with RELOAD. With RELOAD 0 and COMPARE n the flag is raised every
 * n * PRESCALER steps.
 *
 * Parameter text: the prescaler, a decimal number or a hex number with 0x, from 1 to
 * 4294967295; empty means 1. Anything else is reported on the console and 1 is used.
 *
 * Register map (word offsets from the region's start):
 *   +0 CONTROL    read/write: bit 0 ENABLE (1 after reset). Other bits read 0.
 *   +1 COUNTER    read/write: the count.
 *   +2 RELOAD     read/write: the value COUNTER takes after a match (0 after reset).
 *   +3 COMPARE    read/write: the value that raises FLAG (0xFFFFFFFF after reset).
 *   +4 FLAG       read: bit 0 set by a match, bits 31..1 read 0. Write: a 1 in bit 0 clears
 *                 the flag, a 0 leaves it.
 *   +5 PRESCALER  read: the prescaler from the parameter text. Writes are ignored.
 *   Other offsets read 0 and ignore writes.
 *
 * The emulator's own writes (WriteMem) and the program's stores (CPUWriteMem) act alike, so a
 * listing can preset the registers. A write to COUNTER restarts the prescaler.
 *
 * ClockSteps advances the timer by many clocks at once, exactly as that many Clock calls
 * would. Nothing the timer does is seen except through ReadMem, so it never asks for an exact
 * clock.
 */
#include <stdio.h>

#include "tervik_plugin.h"

enum {
  TIMER_CONTROL = 0,
  TIMER_COUNTER = 1,
  TIMER_RELOAD = 2,
  TIMER_COMPARE = 3,
  TIMER_FLAG = 4,
  TIMER_PRESCALER = 5
};

static TervikMessageCallback message_callback;
static uint32_t prescaler = 1;
static uint32_t phase;
static uint32_t control;
static uint32_t counter;
static uint32_t reload;
static uint32_t compare;
static uint32_t flag;

/* Reads a decimal or 0x-prefixed hex number of 32 bits; 0 when the text is not one. */
static uint32_t parse_prescaler(const char* text) {
  uint64_t value = 0;
  unsigned base = 10;
  const char* p = text;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (*p == '\0') return 0;
  for (; *p != '\0'; ++p) {
    unsigned digit;
    if (*p >= '0' && *p <= '9') {
      digit = (unsigned)(*p - '0');
    } else if (base == 16 && *p >= 'a' && *p <= 'f') {
      digit = (unsigned)(*p - 'a' + 10);
    } else if (base == 16 && *p >= 'A' && *p <= 'F') {
      digit = (unsigned)(*p - 'A' + 10);
    } else {
      return 0;
    }
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return 0;
  }
  return (uint32_t)value;
}

static void write_register(uint32_t offset, uint32_t value) {
  switch (offset) {
    case TIMER_CONTROL: control = value & 1u; break;
    case TIMER_COUNTER:
      counter = value;
      phase = 0;
      break;
    case TIMER_RELOAD: reload = value; break;
    case TIMER_COMPARE: compare = value; break;
    case TIMER_FLAG:
      if (value & 1u) flag = 0;
      break;
    default: break;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  phase = 0;
  control = 1;
  counter = 0;
  reload = 0;
  compare = 0xFFFFFFFFu;
  flag = 0;
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  message_callback = message;
  prescaler = 1;
  if (param != NULL && param[0] != '\0') {
    const uint32_t value = parse_prescaler(param);
    if (value == 0) {
      char text[TERVIK_PLUGIN_PARAM_MAX + 64];
      snprintf(text, sizeof text, "Timer: invalid prescaler '%s', using 1", param);
      if (message_callback != NULL) message_callback(text);
    } else {
      prescaler = value;
    }
  }
  Reset();
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1,
           "Timer, prescaler %lu: CONTROL +0, COUNTER +1, RELOAD +2, COMPARE +3, FLAG +4",
           (unsigned long)prescaler);
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  switch (offset) {
    case TIMER_CONTROL: return control;
    case TIMER_COUNTER: return counter;
    case TIMER_RELOAD: return reload;
    case TIMER_COMPARE: return compare;
    case TIMER_FLAG: return flag;
    case TIMER_PRESCALER: return prescaler;
    default: return 0;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  write_register(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {
  if ((control & 1u) == 0) return;
  if (++phase < prescaler) return;
  phase = 0;
  ++counter;
  if (counter == compare) {
    flag = 1;
    counter = reload;
  }
}

/* The clocks to the next match: COMPARE - COUNTER steps of the count, 2^32 when they are equal
 * (the count has just been written or reloaded to COMPARE and wraps round first). */
static uint64_t counts_to_match(uint32_t from) {
  const uint32_t d = compare - from;
  return d == 0 ? (uint64_t)1 << 32 : d;
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  if ((control & 1u) == 0 || steps == 0) return TERVIK_PLUGIN_CLOCK_IDLE;
  const uint64_t total = (uint64_t)phase + steps;
  uint64_t counts = total / prescaler;
  phase = (uint32_t)(total % prescaler);
  const uint64_t first = counts_to_match(counter);
  if (counts < first) {
    counter += (uint32_t)counts;
    return TERVIK_PLUGIN_CLOCK_IDLE;
  }
  counts -= first;
  flag = 1;
  counter = reload;
  /* From RELOAD a match comes every counts_to_match(reload) counts, each ending at RELOAD. */
  counts %= counts_to_match(reload);
  counter += (uint32_t)counts;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}
