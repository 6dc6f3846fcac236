// The names by which the expression language, the debugger and the windows address the
// processor's registers.
#pragma once

#include <cstdint>

namespace tervik::debug {

// The registers an expression can read and a debugger can edit: R0..R31 are 0..31.
enum class RegisterId : uint8_t { PC = 32, SP, SR, IM, LFSR };
constexpr RegisterId GeneralRegister(unsigned n) {
  return static_cast<RegisterId>(n);
}
// The bits of SR that SR.N, SR.Z, SR.C and SR.O read (the processor's flag layout).
inline constexpr uint8_t kSrBitN = 0, kSrBitZ = 1, kSrBitC = 2, kSrBitO = 3;

}  // namespace tervik::debug
