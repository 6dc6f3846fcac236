// The disassembly window (FCPU, caption "Memory").
#pragma once

#include <cstdint>

#include "ToolDock.h"

class TFCPU final : public TToolDock {
  Q_OBJECT

 public:
  explicit TFCPU(QWidget* parent);

  // Keeps address a in the rows shown (it becomes the top row when outside) and repaints.
  void ShowAddress(uint32_t a);
  // The row the user last clicked outside the breakpoint margin.
  uint32_t CursorAddress() const { return cursorAddress_; }

 private:
  uint32_t topAddress_ = 0;
  uint32_t cursorAddress_ = 0;
};

extern TFCPU* FCPU;
