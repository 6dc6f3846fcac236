// Advancing the processor's shift register by many cycles at once. The register is a Galois
// LFSR: one cycle multiplies its contents, read as a polynomial over GF(2), by x modulo
// x^32 + x^31 + x^6 + x^5 + x + 1. n cycles multiply by x^n, which squaring gives in at most 64
// multiplications however large n is, so translated code can leave the register alone and the
// engine brings it up to date once per run.
#pragma once

#include <array>
#include <cstdint>

namespace tervik::jit {

// One cycle's shift, as Processor::AdvanceLfsr does it.
constexpr uint32_t LfsrStep(uint32_t v) {
  return (v << 1) ^ ((0u - (v >> 31)) & 0x80000063u);
}

// a * b modulo the feedback polynomial (Horner's rule over b's bits).
constexpr uint32_t LfsrMultiply(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (int bit = 31; bit >= 0; --bit) {
    product = LfsrStep(product);
    if (((b >> bit) & 1u) != 0) product ^= a;
  }
  return product;
}

// x^(2^i) modulo the polynomial for i = 0..63.
constexpr std::array<uint32_t, 64> LfsrPowers() {
  std::array<uint32_t, 64> powers{};
  powers[0] = 2;  // x
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = LfsrMultiply(powers[i - 1], powers[i - 1]);
  return powers;
}

// The register after n cycles.
inline uint32_t AdvanceLfsrBy(uint32_t v, uint64_t n) {
  if (n < 48) {
    for (; n != 0; --n) v = LfsrStep(v);
    return v;
  }
  static constexpr std::array<uint32_t, 64> kPowers = LfsrPowers();
  for (unsigned i = 0; n != 0; ++i, n >>= 1) {
    if ((n & 1u) != 0) v = LfsrMultiply(v, kPowers[i]);
  }
  return v;
}

}  // namespace tervik::jit
