// The memory dump window (FMem, caption "Memory dump").
#pragma once

#include "ToolDock.h"

class TFMem final : public TToolDock {
  Q_OBJECT

 public:
  explicit TFMem(QWidget* parent);

  // Requests a repaint from the current processor state.
  void UpdateView();
};

extern TFMem* FMem;
