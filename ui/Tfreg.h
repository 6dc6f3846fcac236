// The register window (FReg, caption "CPU registers").
#pragma once

#include "ToolDock.h"

class TFReg final : public TToolDock {
  Q_OBJECT

 public:
  explicit TFReg(QWidget* parent);

  // Requests a repaint from the current processor state.
  void UpdateView();
};

extern TFReg* FReg;
