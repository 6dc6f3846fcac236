// The version record, filled from the version the build was configured with.
#include "Version.h"

#include "BuildVersion.h"

namespace tervik::platform {

VersionRecord ProgramVersion() {
  return {TERVIK_VERSION_MAJOR, TERVIK_VERSION_MINOR, TERVIK_VERSION_PATCH, TERVIK_VERSION_BUILD};
}

}  // namespace tervik::platform
