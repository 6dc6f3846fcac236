/*
 * terminal.c - a character output port, like the transmit side of a UART.
 *
 * The program writes characters one at a time; each completed line appears as one line of the
 * emulator's console. Parameter text: an optional label; when given, each line is shown as
 * "<label>: <text>", otherwise as the text alone.
 *
 * Register map (word offsets from the region's start):
 *   +0 DATA    write: the low 8 bits are one character. LF (10) completes the line and sends it
 *                     to the console; CR (13) and NUL (0) are ignored. A line that fills a
 *                     console line (2047 characters, the label and ": " included) is sent at
 *                     once, so no character is cut off. Read: 0.
 *   +1 STATUS  read:  bit 0 READY, always 1 (a character can be written at any time);
 *                     bit 1 PENDING, set while an incomplete line is held;
 *                     bits 31..16 the number of characters held. Writes are ignored.
 *   +2 FLUSH   write: any value sends the held incomplete line now (nothing when none is held).
 *                     Read: 0.
 *   +3 LINES   read:  the number of lines sent since the last reset. Writes are ignored.
 *   Other offsets read 0 and ignore writes.
 *
 * Only the program's stores (CPUWriteMem) have effects; the emulator's own writes (WriteMem,
 * e.g. a listing word placed in the region) are ignored. Reset drops a held line and zeroes
 * LINES.
 */
#include <stdio.h>
#include <string.h>

#include "tervik_plugin.h"

enum { TERMINAL_DATA = 0, TERMINAL_STATUS = 1, TERMINAL_FLUSH = 2, TERMINAL_LINES = 3 };
enum { LINE_MAX = TERVIK_PLUGIN_MESSAGE_MAX };
_Static_assert(TERVIK_PLUGIN_PARAM_MAX + 2 < LINE_MAX, "a label leaves room for text");

static TervikMessageCallback message_callback;
static char label[TERVIK_PLUGIN_PARAM_MAX + 1];
static char line[LINE_MAX + 1];
static uint32_t line_length;
/* The most characters of text one console line has room for after the label and ": ". */
static uint32_t text_max = LINE_MAX;
static uint32_t lines_sent;

/* Sends "<label>: <text>", or the text alone, as one console line. put_char keeps the text
 * short enough for the whole to fit. */
static void send_line(void) {
  char out[LINE_MAX + 1];
  size_t n = 0;
  if (label[0] != '\0') {
    n = strlen(label);
    memcpy(out, label, n);
    out[n++] = ':';
    out[n++] = ' ';
  }
  memcpy(out + n, line, line_length);
  out[n + line_length] = '\0';
  if (message_callback != NULL) message_callback(out);
  line_length = 0;
  ++lines_sent;
}

static void put_char(uint32_t value) {
  const char c = (char)(value & 0xFFu);
  if (c == '\n') {
    send_line();
  } else if (c != '\r' && c != '\0') {
    line[line_length++] = c;
    if (line_length == text_max) send_line();
  }
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  message_callback = message;
  snprintf(label, sizeof label, "%s", param != NULL ? param : "");
  text_max = label[0] != '\0' ? LINE_MAX - (uint32_t)strlen(label) - 2 : LINE_MAX;
  line_length = 0;
  lines_sent = 0;
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  if (label[0] != '\0') {
    snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1,
             "Terminal output port '%s': DATA +0, STATUS +1, FLUSH +2, LINES +3", label);
  } else {
    snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1,
             "Terminal output port: DATA +0, STATUS +1, FLUSH +2, LINES +3");
  }
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  switch (offset) {
    case TERMINAL_STATUS: return 1u | (line_length > 0 ? 2u : 0u) | (line_length << 16);
    case TERMINAL_LINES: return lines_sent;
    default: return 0;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  (void)offset;
  (void)value;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  switch (offset) {
    case TERMINAL_DATA: put_char(value); break;
    case TERMINAL_FLUSH:
      if (line_length > 0) send_line();
      break;
    default: break;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  line_length = 0;
  lines_sent = 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}

/* Clock does nothing, so any number of clocks does nothing and none needs its exact step. */
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  (void)steps;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}
