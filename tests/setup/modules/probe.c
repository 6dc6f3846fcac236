/*
 * probe.c - a peripheral module for the set-up tests. It reports its Initialize on the console
 * (with a percent sign, which must come out literally), writes an About text longer than the
 * 488 characters the emulator shows, and makes the calls it received readable:
 *   ReadMem(0)  a read counter, one higher on every read of offset 0
 *   ReadMem(1)  offset of the last WriteMem       ReadMem(2)  its value
 *   ReadMem(3)  number of WriteMem calls           ReadMem(4)  number of CPUWriteMem calls
 *   other offsets read as 0xD0000000 + offset
 * Built a second time with PROBE_WITHOUT_CLOCK, which leaves out the Clock export, and a third
 * time with PROBE_MARKER: loading that one (before any entry point is called) creates the file
 * "<its own path>.loaded", so a test sees whether its code ever ran.
 */
#ifdef PROBE_MARKER
#define _GNU_SOURCE
#include <dlfcn.h>
#endif
#include <stdio.h>
#include <string.h>

#include "tervik_plugin.h"

#ifdef PROBE_MARKER
static const char anchor = 0;  // any object of the library: dladdr names its file

__attribute__((constructor)) static void MarkLoaded(void) {
  Dl_info info;
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == NULL) return;
  char path[4096];
  snprintf(path, sizeof path, "%s.loaded", info.dli_fname);
  FILE* marker = fopen(path, "w");
  if (marker != NULL) fclose(marker);
}
#endif

static uint32_t reads;
static uint32_t last_offset;
static uint32_t last_value;
static uint32_t writes;
static uint32_t cpu_writes;

TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param) {
  char text[TERVIK_PLUGIN_PARAM_MAX + 64];
  reads = last_offset = last_value = writes = cpu_writes = 0;
  snprintf(text, sizeof text, "probe: Initialize with '%s', 100%% %%s", param);
  message(text);
  return 0;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text) {
  /* 500 characters: "probe about " and then the digits 0 to 9 over and over. */
  const char* head = "probe about ";
  const size_t head_length = strlen(head);
  memcpy(text, head, head_length);
  for (size_t i = head_length; i < 500; ++i) text[i] = (char)('0' + (i - head_length) % 10);
  text[500] = '\0';
}

TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) {
  switch (offset) {
    case 0: return reads++;
    case 1: return last_offset;
    case 2: return last_value;
    case 3: return writes;
    case 4: return cpu_writes;
    default: return 0xD0000000u + offset;
  }
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value) {
  last_offset = offset;
  last_value = value;
  ++writes;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value) {
  (void)offset;
  (void)value;
  ++cpu_writes;
}

TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void) {}

#ifndef PROBE_WITHOUT_CLOCK
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void) {}
#endif
