// The memory map loader and the region table on the console.
#pragma once

#include <string>

#include "Console.h"
#include "ModuleTrust.h"
#include "PeripheralModule.h"
#include "Processor.h"

namespace tervik {

// Replaces every region of `processor` with those of the map file at `path`, loading a module
// for each DLL line through `modules`; then prints the region table and "Done". Progress and
// errors go to `console`. Lines that are not region lines are skipped: silently when they do
// not begin with a hex number (comments), with a console line when they do. With `trust`,
// modules found outside Tervik's own module folder load only when `trust` allows them; the
// others' lines are skipped with a console line (ROM and RAM regions load either way). The
// caller refreshes the views afterwards. Returns whether the file was read (false when it could
// not be opened or is not a regular file; the regions are gone either way).
bool LoadMemoryMap(const std::string& path, Processor& processor, PeripheralModuleLoader& modules,
                   ConsoleSink& console, ModuleTrust* trust = nullptr);

// Prints the heading and one line per region, in region order; a DLL region's line ends in the
// text its module's About gives.
void DisplayMemoryMap(const Processor& processor, ConsoleSink& console);

}  // namespace tervik
