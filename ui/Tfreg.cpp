// The register window.
#include "Tfreg.h"

TFReg* FReg = nullptr;

TFReg::TFReg(QWidget* parent) : TToolDock("CPU registers", parent, true) {
  setObjectName("FReg");
  resize(353, 439);
}

void TFReg::UpdateView() {
  update();
}
