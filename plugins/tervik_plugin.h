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
#endif /* TERVIK_PLUGIN_HOST */

#endif /* TERVIK_PLUGIN_H */
