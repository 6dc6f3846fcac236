/*
 * terminal.c - a character port like a UART: the transmit side prints to the console, the
 * receive side holds the keys the user types in the Board window (or tervik-run's --input).
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
 *                     bit 2 RXREADY, set while a received character waits in RXDATA;
 *                     bits 31..16 the number of characters held. Writes are ignored.
 *   +2 FLUSH   write: any value sends the held incomplete line now (nothing when none is held).
 *                     Read: 0.
 *   +3 LINES   read:  the number of lines sent since the last reset. Writes are ignored.
 *   +4 RXDATA  read:  the oldest received character (0 when none), without taking it: the
 *                     debugger's views may read it too. Write: any value takes that character
 *                     out of the receive buffer, so the next one (if any) moves up.
 *   Other offsets read 0 and ignore writes.
 *
 * The receive buffer holds RX_MAX (256) characters; a character typed while it is full is
 * refused (PanelInput returns 0) and may be handed over again later.
 *
 * Only the program's stores (CPUWriteMem) have effects; the emulator's own writes (WriteMem,
 * e.g. a listing word placed in the region) are ignored. Reset drops a held line, zeroes LINES
 * and empties the receive buffer.
 *
 * Panel (the emulator's Board window): a text terminal of SCREEN_COLUMNS x SCREEN_ROWS that
 * shows every character the program writes (LF starts a new line, backspace moves back, the
 * screen scrolls up when full; it keeps its text across resets) and hands the keys typed into
 * it to the receive buffer (PanelInput, input 0, the character code). The screen is read
 * through PanelPeek: words 0 to SCREEN_COLUMNS * SCREEN_ROWS - 1 are its characters row by row,
 * the next word is the cursor.
 */
#include <stdio.h>
#include <string.h>

#include "tervik_plugin.h"

enum {
  TERMINAL_DATA = 0,
  TERMINAL_STATUS = 1,
  TERMINAL_FLUSH = 2,
  TERMINAL_LINES = 3,
  TERMINAL_RXDATA = 4
};
enum { LINE_MAX = TERVIK_PLUGIN_MESSAGE_MAX };
enum { RX_MAX = 256, SCREEN_COLUMNS = 48, SCREEN_ROWS = 12 };
_Static_assert(TERVIK_PLUGIN_PARAM_MAX + 2 < LINE_MAX, "a label leaves room for text");

static TervikMessageCallback message_callback;
static char label[TERVIK_PLUGIN_PARAM_MAX + 1];
static char line[LINE_MAX + 1];
static uint32_t line_length;
/* The most characters of text one console line has room for after the label and ": ". */
static uint32_t text_max = LINE_MAX;
static uint32_t lines_sent;
/* The receive buffer, a ring of rx_count characters from rx_first. */
static unsigned char rx[RX_MAX];
static uint32_t rx_first;
static uint32_t rx_count;
/* The panel's screen and its cursor. */
static unsigned char screen[SCREEN_ROWS][SCREEN_COLUMNS];
static uint32_t cursor_row;
static uint32_t cursor_column;

static void screen_new_line(void) {
  cursor_column = 0;
  if (cursor_row + 1 < SCREEN_ROWS) {
    ++cursor_row;
    return;
  }
  memmove(screen[0], screen[1], sizeof screen - sizeof screen[0]);
  memset(screen[SCREEN_ROWS - 1], 0, sizeof screen[0]);
}

static void screen_put(unsigned char c) {
  if (c == '\n') {
    screen_new_line();
  } else if (c == 8) {
    if (cursor_column > 0) --cursor_column;
  } else if (c != '\r' && c != '\0') {
    if (cursor_column == SCREEN_COLUMNS) screen_new_line();
    screen[cursor_row][cursor_column++] = c;
  }
}

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
  screen_put((unsigned char)c);
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
  rx_first = rx_count = 0;
  memset(screen, 0, sizeof screen);
  cursor_row = cursor_column = 0;
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
    case TERMINAL_STATUS:
      return 1u | (line_length > 0 ? 2u : 0u) | (rx_count > 0 ? 4u : 0u) | (line_length << 16);
    case TERMINAL_LINES: return lines_sent;
    case TERMINAL_RXDATA: return rx_count > 0 ? rx[rx_first] : 0u;
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
    case TERMINAL_RXDATA:
      if (rx_count > 0) {
        rx_first = (rx_first + 1) % RX_MAX;
        --rx_count;
      }
      break;
    default: break;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {
  line_length = 0;
  lines_sent = 0;
  rx_first = rx_count = 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}

/* Clock does nothing, so any number of clocks does nothing and none needs its exact step. */
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  (void)steps;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}

/* ---- The panel ---- */

static const TervikPanelElement panel_elements[] = {
    {TERVIK_PANEL_TERMINAL, NULL, 0, 0, 0, SCREEN_COLUMNS, SCREEN_ROWS, 0}};
static const TervikPanel panel = {TERVIK_PANEL_VERSION, "Terminal", panel_elements, 1, 0, 0};

TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL PanelDescribe(void) {
  return &panel;
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL PanelInput(uint32_t input, uint32_t value) {
  if (input != 0 || value > 0xFFu || rx_count == RX_MAX) return 0;
  rx[(rx_first + rx_count) % RX_MAX] = (unsigned char)value;
  ++rx_count;
  return 1;
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL PanelPeek(uint32_t offset) {
  if (offset < SCREEN_COLUMNS * SCREEN_ROWS) {
    return screen[offset / SCREEN_COLUMNS][offset % SCREEN_COLUMNS];
  }
  if (offset == SCREEN_COLUMNS * SCREEN_ROWS) return cursor_row * SCREEN_COLUMNS + cursor_column;
  return 0;
}
