// The memory dump window.
#include "Tfmem.h"

TFMem* FMem = nullptr;

TFMem::TFMem(QWidget* parent) : TToolDock("Memory dump", parent, false) {
  setObjectName("FMem");
  resize(358, 338);
}

void TFMem::UpdateView() {
  update();
}
