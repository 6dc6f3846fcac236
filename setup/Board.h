// The Board: the panels of the mapped modules, one per module in map order, with the display
// reads and the input hand-over the Board window and the runner share. No windowing toolkit.
//
// Threading: used on the processor's thread, between operations (between two batches of a run),
// when every module has had all its clocks.
#pragma once

#include <cstdint>
#include <vector>

#include "Panel.h"
#include "Processor.h"

namespace tervik {

class Board {
 public:
  struct Panel {
    PanelDescription description;
    uint32_t region = 0;  // the first of the module's regions, in map order
    uint32_t module = 0;  // its number among the DLL regions (MemoryRegion::module)
    PluginEntryPoints entry;
  };

  // Takes the panels of `processor`'s regions; returns whether they differ from the last
  // call's (another map, or a module that describes itself differently now). A module named on
  // two map lines has one panel; descriptions that do not check out have none (the map loader
  // has said why on the console). Cheap enough for every refresh: a few calls of each
  // module's PanelDescribe and a comparison.
  bool Sync(const Processor& processor);
  const std::vector<Panel>& Panels() const { return panels_; }

  // A display word of `panel`: through PanelPeek when the module has one, else through
  // ReadMem, which the check allowed only on the module's quiet words.
  static uint32_t Read(const Panel& panel, uint32_t offset);
  // The field an LED, switch, button or digit shows.
  static uint32_t Field(const Panel& panel, const PanelElement& element) {
    return element.Field(Read(panel, element.offset));
  }
  // Hands `value` to the input numbered `input` of `panel`'s module, between operations;
  // whether the module took it.
  static bool Input(Processor& processor, const Panel& panel, uint32_t input, uint32_t value);

  // The first element of `kind` among the panels, for the runner's options; null when none.
  const Panel* Find(PanelKind kind, const PanelElement** element = nullptr) const;

 private:
  bool synced_ = false;
  std::vector<Panel> panels_;
  std::vector<Panel> scratch_;
};

}  // namespace tervik
