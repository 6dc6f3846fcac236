// The hook through which another engine (a translator to host code) runs the processor's
// batches. The core knows only this interface; a front end installs an implementation with
// Processor::SetBatchEngine.
#pragma once

#include <cstdint>
#include <span>

#include "Processor.h"

namespace tervik {

// Runs Processor::RunBatch in place of the interpreter. An implementation must end in exactly
// the state RunInterpreted would (registers, memory, change markers, LastWatchHit, plug-in
// calls, step count); it may hand any part of the batch to RunInterpreted, which is the
// reference.
class BatchEngine {
 public:
  virtual ~BatchEngine() = default;

  virtual uint64_t RunBatch(Processor& p, uint64_t maxSteps, std::span<const uint32_t> breakpoints,
                            Processor::OnStall onStall,
                            std::span<const Processor::Watch> watches) = 0;
};

}  // namespace tervik
