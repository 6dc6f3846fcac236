// Fuzzes the memory map loader and the region table: any bytes as a map file, with modules that
// exist only in memory.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "MemoryMap.h"

using namespace tervik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::FakeLibraryLoader libraries;
  static PeripheralModuleLoader modules(libraries, "/nonexistent");
  fuzz::InputFile file(data, size);
  fuzz::CheckingConsole console;
  SetConsoleSink(&console);
  Processor processor;
  LoadMemoryMap(file.path(), processor, modules, console);
  size_t lines = 1;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  if (processor.Regions().size() > lines + size / 2047) fuzz::Broken("more regions than lines");
  for (const MemoryRegion& r : processor.Regions()) {
    // Regions are kept small enough by the input size, except the lazily allocated ones: touch
    // the first and last word of each to prove the storage is there.
    if (r.type != RegionType::DLL && r.size > 0) {
      processor.WriteMem(r.start, 1);
      (void)processor.ReadMem(r.start + (r.size - 1));
    }
  }
  DisplayMemoryMap(processor, console);
  SetConsoleSink(nullptr);
  return 0;
}
