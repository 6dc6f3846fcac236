// The disassembly window.
#include "Tfcpu.h"

TFCPU* FCPU = nullptr;

TFCPU::TFCPU(QWidget* parent) : TToolDock("Memory", parent, true) {
  setObjectName("FCPU");
  resize(221, 411);
}

void TFCPU::ShowAddress(uint32_t a) {
  topAddress_ = a;
  update();
}
