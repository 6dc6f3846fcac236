// What one run of tervik-run comes to, and its form on the pipe from the process that ran it to
// the runner that waits for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "JUnit.h"

namespace tervik::runner {

// The run's status, and what the report needs.
struct Finished {
  int status = 0;
  CaseReport report;
  int outputError = 0;  // the errno of a failed write of the program's lines to --output; 0: none
};

// The record as bytes: every field as a netstring ("LENGTH:BYTES,"), numbers in decimal, and an
// end mark, so that a record cut short (its process died while writing it) is told from a whole
// one.
std::string EncodeFinished(const Finished& done);

// The record back; nullopt when `bytes` is not one whole record.
std::optional<Finished> DecodeFinished(std::string_view bytes);

}  // namespace tervik::runner
