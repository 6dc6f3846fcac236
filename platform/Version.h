// The program's version record, as recorded in the build.
#pragma once

#include <cstdint>

namespace tervik::platform {

struct VersionRecord {
  uint16_t major;
  uint16_t minor;
  uint16_t release;
  uint16_t build;
};

// The version this program was built as (the project version of the build).
VersionRecord ProgramVersion();

}  // namespace tervik::platform
