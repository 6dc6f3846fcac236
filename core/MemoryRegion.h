// One region of the emulated address space, and the plug-in entry points of a DLL region.
#pragma once

#include <cstdint>

#define TERVIK_PLUGIN_HOST
#include "tervik_plugin.h"

#include "WordStorage.h"

namespace tervik {

// The kind of a region. The numbers are those of the memory map's ROM, RAM and DLL lines.
enum class RegionType : uint8_t { ROM = 0, RAM = 1, DLL = 2 };

// The seven entry points of a peripheral module, in the order a region keeps them, and the
// optional eighth. All null for ROM and RAM regions; the seven set for a DLL region.
struct PluginEntryPoints {
  TervikAboutFn About = nullptr;
  TervikWriteMemFn WriteMem = nullptr;
  TervikCPUWriteMemFn CPUWriteMem = nullptr;
  TervikReadMemFn ReadMem = nullptr;
  TervikInitializeFn Initialize = nullptr;
  TervikResetFn Reset = nullptr;
  TervikClockFn Clock = nullptr;
  // Optional: a module that exports it is clocked by catch-up (see tervik_plugin.h).
  TervikClockStepsFn ClockSteps = nullptr;
  // Optional: the module's panel in the Board window (see tervik_plugin.h). PanelDescribe is
  // null also when the map loader found the description unusable.
  TervikPanelDescribeFn PanelDescribe = nullptr;
  TervikPanelInputFn PanelInput = nullptr;
  TervikPanelPeekFn PanelPeek = nullptr;

  // Whether the seven required entry points are all there.
  bool Complete() const {
    return About && WriteMem && CPUWriteMem && ReadMem && Initialize && Reset && Clock;
  }
};

// A run of `size` words starting at word address `start`. The region covers start to
// start + size - 1, cut off at 0xFFFFFFFF. Its storage is allocated for every kind, although
// accesses to a DLL region go to the module instead.
struct MemoryRegion {
  uint32_t start = 0;
  uint32_t size = 0;
  WordStorage storage;
  RegionType type = RegionType::ROM;
  PluginEntryPoints entry;
  uint32_t module = 0;  // DLL: how many DLL regions come before it in the list

  // Whether the region covers word address a. A region reaching past 0xFFFFFFFF is cut off
  // there: it does not wrap round to address 0.
  bool Contains(uint32_t a) const { return a >= start && a - start < size; }
};

}  // namespace tervik
