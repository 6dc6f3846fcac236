/*
 * display.c - a pixel display: a frame buffer of width x height words, one per pixel.
 *
 * Parameter text: the size as WIDTHxHEIGHT in decimal, each 1 to 1024 (e.g. "64x32"); empty
 * means 64x32. Anything else is reported on the console and 64x32 is used. Map a region of at
 * least width x height words.
 *
 * Register map (word offsets from the region's start):
 *   +0 .. +width*height-1  read/write: the pixels row by row from the top left, pixel (x, y)
 *                          at y * width + x, each a colour 0x00RRGGBB (bits 31..24 are kept
 *                          but not shown).
 *   Other offsets read 0 and ignore writes.
 *
 * The emulator's own writes (WriteMem, e.g. a listing's picture) and the program's stores
 * (CPUWriteMem) act alike. Initialize makes every pixel black; Reset leaves the picture as it
 * is, so that a listing may preset it.
 *
 * Panel (the emulator's Board window): the picture, drawn scaled. Reading has no effect, so
 * the window reads the pixels through ReadMem.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tervik_plugin.h"

enum { SIZE_MAX_SIDE = 1024, DEFAULT_WIDTH = 64, DEFAULT_HEIGHT = 32 };

static TervikMessageCallback message_callback;
static uint32_t width = DEFAULT_WIDTH;
static uint32_t height = DEFAULT_HEIGHT;
static uint32_t* pixels;

/* Reads a decimal side of 1 to SIZE_MAX_SIDE from *p up to `end` (exclusive); 0 when not one. */
static uint32_t parse_side(const char* p, const char* end) {
  uint32_t value = 0;
  if (p == end) return 0;
  for (; p != end; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (uint32_t)(*p - '0');
    if (value > SIZE_MAX_SIDE) return 0;
  }
  return value;
}

static int parse_size(const char* text, uint32_t* w, uint32_t* h) {
  const char* x = strchr(text, 'x');
  if (x == NULL) return 0;
  *w = parse_side(text, x);
  *h = parse_side(x + 1, x + 1 + strlen(x + 1));
  return *w != 0 && *h != 0;
}

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  message_callback = message;
  width = DEFAULT_WIDTH;
  height = DEFAULT_HEIGHT;
  if (param != NULL && param[0] != '\0' && !parse_size(param, &width, &height)) {
    char text[TERVIK_PLUGIN_PARAM_MAX + 64];
    snprintf(text, sizeof text, "Display: invalid size '%s', using 64x32", param);
    if (message_callback != NULL) message_callback(text);
    width = DEFAULT_WIDTH;
    height = DEFAULT_HEIGHT;
  }
  /* Kept for the life of the process, as the module is never unloaded. */
  free(pixels);
  pixels = calloc((size_t)width * height, sizeof *pixels);
  if (pixels == NULL) {
    if (message_callback != NULL) message_callback("Display: out of memory, 1x1 used");
    width = height = 1;
    static uint32_t one_pixel;
    pixels = &one_pixel;
  }
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  snprintf(text, TERVIK_PLUGIN_ABOUT_MAX + 1, "Pixel display %lux%lu: pixels +0 .. +%lu",
           (unsigned long)width, (unsigned long)height, (unsigned long)(width * height - 1));
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  return pixels != NULL && offset < width * height ? pixels[offset] : 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  if (pixels != NULL && offset < width * height) pixels[offset] = value;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  WriteMem(offset, value);
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}

/* Clock does nothing, so any number of clocks does nothing and none needs its exact step. */
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps) {
  (void)steps;
  return TERVIK_PLUGIN_CLOCK_IDLE;
}

/* ---- The panel ---- */

static TervikPanelElement panel_element;
static TervikPanel panel;

TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL PanelDescribe(void) {
  const TervikPanelElement e = {TERVIK_PANEL_PIXELS, NULL, 0, 0, 0, width, height, 0};
  panel_element = e;
  panel.version = TERVIK_PANEL_VERSION;
  panel.title = "Pixel display";
  panel.elements = &panel_element;
  panel.element_count = 1;
  panel.quiet_first = 0;
  panel.quiet_count = width * height;
  return &panel;
}
