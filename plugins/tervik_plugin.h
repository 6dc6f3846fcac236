/*
 * tervik_plugin.h - the contract between the Tervik emulator and a peripheral module.
 *
 * A peripheral module is a shared library (.so) named on a "DLL" line of a memory map file:
 *
 *     0x8000 0x10 DLL libtervik_terminal.so 9600
 *
 * The emulator loads it once (it is never unloaded), looks up the seven functions below by
 * exactly these names, and maps the module into the address range given on the map line. The
 * module then serves every word of that range. A module that lacks any of the seven exports is
 * rejected and gets no region. An eighth, ClockSteps, is optional (see the end of the file).
 *
 * Include this header from C or C++ and define each entry point with TERVIK_PLUGIN_EXPORT, for
 * example:
 *
 *     TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset) { ... }
 *
 * Build with -fvisibility=hidden if you like; the macro makes the entry points visible anyway.
 *
 * Addresses. Memory is addressed in 32-bit words; there is no byte addressing. Every offset the
 * emulator passes is the accessed word address minus the start of the module's region, so it is
 * always less than the region's size. The module is not told the absolute address, nor which
 * region is meant when one module is named on two map lines: it is loaded once and both regions
 * share its state.
 *
 * Threads. Every entry point, and the message callback, is called on the emulator's one thread.
 * A module needs no locking and must not call the emulator from another thread.
 *
 * When each entry point is called:
 *   Initialize   once per map line that names the module, after all seven were found and
 *                before its region exists; again when a later map names it again.
 *   About        whenever the memory map is printed: write a short description.
 *   ReadMem      every read of a word in the region: instruction fetch, loads, the
 *                debugger's views painting memory, the ROM export. Must not have side effects
 *                the firmware relies on being triggered exactly once: views read freely.
 *   WriteMem     the emulator's own writes (loading a listing, "Clear memory").
 *   CPUWriteMem  a store by the emulated program (STORE, STOREI, PUSH, PUSHI, CALL).
 *   Reset        every processor reset, after the registers were cleared; once per region,
 *                like Clock.
 *   Clock        at the start of every instruction step, before the instruction is fetched,
 *                once per region, in the order of the map lines. A module named on two map
 *                lines serves two regions and so is clocked twice per step.
 *
 * One more entry point is optional: ClockSteps (below). A module that exports it is clocked by
 * catch-up: the emulator stops calling Clock every step and instead keeps count of the clocks
 * it owes the module, and pays them with one ClockSteps call before every ReadMem, WriteMem
 * and CPUWriteMem of the module (instruction fetches and the views' reads included), before
 * Reset, at the end of every run and single step, and at the step the module asked for. The
 * module must come out exactly as if Clock had been called every step. The seven entry points
 * above are all a module needs; without ClockSteps it is clocked every step as described.
 *
 * Three more are optional and make up the module's panel in the emulator's "Board" window
 * (LEDs, switches, push buttons, seven-segment digits, a pixel display, a text terminal):
 * PanelDescribe, PanelInput and PanelPeek, described in the second half of this file. A module
 * without PanelDescribe has no panel and is treated exactly as one written before panels
 * existed.
 */
#ifndef TERVIK_PLUGIN_H
#define TERVIK_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
#define TERVIK_PLUGIN_EXTERN_C extern "C"
#else
#define TERVIK_PLUGIN_EXTERN_C
#endif

/* The platform's C calling convention. */
#if defined(_WIN32) && !defined(_WIN64)
#define TERVIK_PLUGIN_CALL __cdecl
#else
#define TERVIK_PLUGIN_CALL
#endif

#if defined(_WIN32)
#define TERVIK_PLUGIN_EXPORT TERVIK_PLUGIN_EXTERN_C __declspec(dllexport)
#else
#define TERVIK_PLUGIN_EXPORT TERVIK_PLUGIN_EXTERN_C __attribute__((visibility("default")))
#endif

/* The longest parameter text Initialize receives (characters, without the terminating NUL). */
#define TERVIK_PLUGIN_PARAM_MAX 255
/* The longest module file name a map line may give. */
#define TERVIK_PLUGIN_NAME_MAX 255
/* The buffer About writes into holds at least this many bytes... */
#define TERVIK_PLUGIN_ABOUT_BUFFER 512
/* ...but only this many characters of the description are shown; the rest is cut off. */
#define TERVIK_PLUGIN_ABOUT_MAX 488
/* The longest line the message callback shows whole; longer text is cut to this length. */
#define TERVIK_PLUGIN_MESSAGE_MAX 2047

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The message callback handed to Initialize. It appends the NUL-terminated text as one line of
 * the emulator's console, unchanged (a percent sign is shown literally, a line break does not
 * start a new line), and returns the number of characters written. It stays valid for the life
 * of the process, so a module may keep it and call it from any later entry point.
 */
typedef int32_t(TERVIK_PLUGIN_CALL* TervikMessageCallback)(const char* text);

/* Entry point types, in the order the emulator keeps them for a region. */
typedef void(TERVIK_PLUGIN_CALL* TervikAboutFn)(char* text);
typedef void(TERVIK_PLUGIN_CALL* TervikWriteMemFn)(uint32_t offset, uint32_t value);
typedef void(TERVIK_PLUGIN_CALL* TervikCPUWriteMemFn)(uint32_t offset, uint32_t value);
typedef uint32_t(TERVIK_PLUGIN_CALL* TervikReadMemFn)(uint32_t offset);
typedef int32_t(TERVIK_PLUGIN_CALL* TervikInitializeFn)(TervikMessageCallback message,
                                                        const char* param);
typedef void(TERVIK_PLUGIN_CALL* TervikResetFn)(void);
typedef void(TERVIK_PLUGIN_CALL* TervikClockFn)(void);
/* The optional catch-up clock; see ClockSteps below. */
typedef uint32_t(TERVIK_PLUGIN_CALL* TervikClockStepsFn)(uint32_t steps);

/* What ClockSteps returns when no coming clock needs to happen at its exact step. */
#define TERVIK_PLUGIN_CLOCK_IDLE 0xFFFFFFFFu

/*
 * ---- The optional panel ----
 *
 * A panel is described in plain data: a title and a list of elements. Each element shows one
 * field of one word the window reads from the module (see "Display reads" below), and the
 * input elements hand what the user does to PanelInput.
 *
 *   kind                     shows                                     hands to PanelInput
 *   TERVIK_PANEL_LED         a lamp, lit while the field is not 0      -
 *   TERVIK_PANEL_SWITCH      a switch, up while the field is not 0     a click: 1 up, 0 down
 *   TERVIK_PANEL_BUTTON      a push button, pressed while not 0        1 pressed, 0 released
 *   TERVIK_PANEL_DIGIT       a seven-segment digit: field bits 0..6    -
 *                            are segments a..g, bit 7 the point
 *   TERVIK_PANEL_PIXELS      width x height words from `offset`,       -
 *                            row by row, each a colour 0x00RRGGBB
 *   TERVIK_PANEL_TERMINAL    width x height words from `offset`, row   a typed key: its
 *                            by row, each a character in bits 0..7     character code (LF for
 *                            (0 is blank); then one word, the cursor   Return, 8 for Backspace)
 *                            as row * width + column
 *
 * For LED, SWITCH, BUTTON and DIGIT, `shift` and `bits` select the field (bits shift to
 * shift + bits - 1 of the word at `offset`; `bits` is 1 to 32, DIGIT needs at least 7); for
 * PIXELS and TERMINAL `width` and `height` give the size (1 to TERVIK_PANEL_SIZE_MAX each) and
 * `shift` and `bits` are not used. `input` is the number PanelInput receives for the element's
 * input, so that a module can tell its switches apart. `label` is a short text shown beside the
 * element (NULL or "" for none, at most TERVIK_PANEL_LABEL_MAX characters).
 *
 * Display reads. The window reads the words it shows between instructions, at about ten
 * refreshes a second during a run and after every stop. It never calls ReadMem for display on a
 * word that may have an effect when read: a module that exports PanelPeek has every display
 * word read through it (PanelPeek must have no effect, and its offsets are the module's own:
 * they may lie beyond the region); otherwise the words an element reads must lie in the range
 * quiet_first .. quiet_first + quiet_count - 1, which the module declares readable through
 * ReadMem without effect, and inside the region.
 *
 * The emulator checks a description when the map is loaded: a version other than
 * TERVIK_PANEL_VERSION, a missing title, an unknown kind, a field outside the word, a size out
 * of range, a read outside the quiet range or the region, an input element without PanelInput,
 * or more than TERVIK_PANEL_ELEMENTS_MAX elements make the console show one line that says why,
 * and the module works on without its panel. The description is read again whenever the window
 * is rebuilt and must stay valid while the module is loaded (static data is simplest); it may
 * depend on the parameter text Initialize received.
 */
#define TERVIK_PANEL_VERSION 1u
#define TERVIK_PANEL_ELEMENTS_MAX 256
#define TERVIK_PANEL_TITLE_MAX 64
#define TERVIK_PANEL_LABEL_MAX 32
#define TERVIK_PANEL_SIZE_MAX 1024

enum TervikPanelKind {
  TERVIK_PANEL_LED = 1,
  TERVIK_PANEL_SWITCH = 2,
  TERVIK_PANEL_BUTTON = 3,
  TERVIK_PANEL_DIGIT = 4,
  TERVIK_PANEL_PIXELS = 5,
  TERVIK_PANEL_TERMINAL = 6
};

typedef struct TervikPanelElement {
  uint32_t kind;     /* a TervikPanelKind */
  const char* label; /* NULL or a NUL-terminated text */
  uint32_t offset;   /* the (first) word shown */
  uint32_t shift;    /* LED, SWITCH, BUTTON, DIGIT: the field's lowest bit */
  uint32_t bits;     /* ... and its width */
  uint32_t width;    /* PIXELS, TERMINAL: columns */
  uint32_t height;   /* ... and rows */
  uint32_t input;    /* SWITCH, BUTTON, TERMINAL: the number PanelInput receives */
} TervikPanelElement;

typedef struct TervikPanel {
  uint32_t version;  /* TERVIK_PANEL_VERSION */
  const char* title; /* NUL-terminated, at most TERVIK_PANEL_TITLE_MAX characters */
  const TervikPanelElement* elements;
  uint32_t element_count;
  /* Without PanelPeek: the words ReadMem may read for display without effect. */
  uint32_t quiet_first;
  uint32_t quiet_count;
} TervikPanel;

/* The optional panel entry points; see PanelDescribe, PanelInput and PanelPeek below. */
typedef const TervikPanel*(TERVIK_PLUGIN_CALL* TervikPanelDescribeFn)(void);
typedef int32_t(TERVIK_PLUGIN_CALL* TervikPanelInputFn)(uint32_t input, uint32_t value);
typedef uint32_t(TERVIK_PLUGIN_CALL* TervikPanelPeekFn)(uint32_t offset);

#ifdef __cplusplus
}
#endif

/*
 * Declarations of the seven exports. A module defines all of them. The emulator itself defines
 * TERVIK_PLUGIN_HOST before including this header: it only calls these functions through the
 * pointer types above and must not declare global functions of these names.
 *
 * Initialize: 'param' is the text after the module name on the map line (empty when there is
 * none, at most TERVIK_PLUGIN_PARAM_MAX characters). The result is not examined; return 0.
 *
 * About: write a NUL-terminated description into 'text', which has room for
 * TERVIK_PLUGIN_ABOUT_BUFFER bytes. Keep it to one line of at most TERVIK_PLUGIN_ABOUT_MAX
 * characters: the emulator shows no more than that.
 */
#ifndef TERVIK_PLUGIN_HOST
TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL Initialize(TervikMessageCallback message,
                                                           const char* param);
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL About(char* text);
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ReadMem(uint32_t offset);
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL WriteMem(uint32_t offset, uint32_t value);
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL CPUWriteMem(uint32_t offset, uint32_t value);
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Reset(void);
TERVIK_PLUGIN_EXPORT void TERVIK_PLUGIN_CALL Clock(void);

/*
 * ClockSteps (optional): do what `steps` calls of Clock would do, in one call, and return how
 * many more clocks may go by before one that must happen at its exact step: r means that the
 * r-th Clock from now may do something the emulator cannot defer, such as sending a console
 * line from Clock. The emulator then pays the clocks owed up to that step at that step, in the
 * module's place among the regions' clocks. Return TERVIK_PLUGIN_CLOCK_IDLE when no coming
 * clock needs that (the usual case: whatever Clock changes is seen only through ReadMem, and
 * every ReadMem is preceded by the payment); 0 counts as 1. `steps` may be 0: the emulator
 * asks that after every WriteMem, CPUWriteMem and Reset, which may change the answer.
 * A module named on two map lines is clocked every step by Clock instead.
 */
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL ClockSteps(uint32_t steps);

/*
 * PanelDescribe (optional): the module's panel, or NULL for none. Called after Initialize, when
 * the map is loaded and whenever the Board window is rebuilt.
 *
 * PanelInput (optional, needed by SWITCH, BUTTON and TERMINAL elements): the user flipped a
 * switch, pressed or released a button or typed a key; `input` is the element's `input` number
 * and `value` what the table above gives. Called on the emulator's one thread between two
 * instructions (during a run too: between two batches of them), after the module has had all
 * its clocks; the emulator asks ClockSteps(0) afterwards, as after a write. Return 1 when the
 * input was taken, 0 when it was refused (for example a full receive buffer), which the
 * emulator may try again later.
 *
 * PanelPeek (optional): the word at `offset` of the module's display words, without any effect.
 */
TERVIK_PLUGIN_EXPORT const TervikPanel* TERVIK_PLUGIN_CALL PanelDescribe(void);
TERVIK_PLUGIN_EXPORT int32_t TERVIK_PLUGIN_CALL PanelInput(uint32_t input, uint32_t value);
TERVIK_PLUGIN_EXPORT uint32_t TERVIK_PLUGIN_CALL PanelPeek(uint32_t offset);
#endif /* TERVIK_PLUGIN_HOST */

#endif /* TERVIK_PLUGIN_H */
