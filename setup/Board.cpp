// The Board's panels taken from the processor's regions, their display reads and inputs.
#include "Board.h"

#include <algorithm>

namespace tervik {

namespace {

bool SameEntries(const PluginEntryPoints& a, const PluginEntryPoints& b) {
  return a.ReadMem == b.ReadMem && a.PanelDescribe == b.PanelDescribe &&
         a.PanelInput == b.PanelInput && a.PanelPeek == b.PanelPeek;
}

}  // namespace

bool Board::Sync(const Processor& processor) {
  scratch_.clear();
  const std::vector<MemoryRegion>& regions = processor.Regions();
  for (uint32_t i = 0; i < regions.size(); ++i) {
    const MemoryRegion& r = regions[i];
    if (r.type != RegionType::DLL || r.entry.PanelDescribe == nullptr) continue;
    const bool seen = std::any_of(scratch_.begin(), scratch_.end(), [&](const Panel& p) {
      return p.entry.PanelDescribe == r.entry.PanelDescribe;
    });
    if (seen) continue;
    PanelCheck check = CheckPanel(r.entry, r.size);
    if (!check.panel) continue;
    scratch_.push_back({std::move(*check.panel), i, r.module, r.entry});
  }
  const bool same = synced_ && std::equal(scratch_.begin(), scratch_.end(), panels_.begin(),
                                          panels_.end(), [](const Panel& a, const Panel& b) {
                                            return a.region == b.region && a.module == b.module &&
                                                   SameEntries(a.entry, b.entry) &&
                                                   a.description == b.description;
                                          });
  synced_ = true;
  if (same) return false;
  panels_.swap(scratch_);
  return true;
}

uint32_t Board::Read(const Panel& panel, uint32_t offset) {
  return panel.entry.PanelPeek != nullptr ? panel.entry.PanelPeek(offset)
                                          : panel.entry.ReadMem(offset);
}

bool Board::Input(Processor& processor, const Panel& panel, uint32_t input, uint32_t value) {
  if (panel.entry.PanelInput == nullptr) return false;
  processor.SettleModule(panel.module);
  const bool taken = panel.entry.PanelInput(input, value) != 0;
  processor.ModuleChanged(panel.module);
  return taken;
}

const Board::Panel* Board::Find(PanelKind kind, const PanelElement** element) const {
  for (const Panel& panel : panels_) {
    for (const PanelElement& e : panel.description.elements) {
      if (e.kind != kind) continue;
      if (element != nullptr) *element = &e;
      return &panel;
    }
  }
  return nullptr;
}

}  // namespace tervik
