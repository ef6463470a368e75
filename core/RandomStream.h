#pragma once
// A counter-based random stream: draw k of the stream keyed by (seed,
// replicate, reference set, measure) is a pure function of the key and k,
// splitmix64's output function applied to key + k x gamma (k = 1, 2, ...).
// No state is shared between streams, so any thread, process or machine can
// draw any replicate's numbers, and a key gives the same bits on every build
// and thread count (integer arithmetic, and for the normals the same
// correctly ordered double operations and libm calls).

#include <cstdint>

class RandomStream {
 public:
  RandomStream(uint64_t seed, uint64_t replicate, uint64_t referenceSet, uint64_t measure);

  // The next 64 random bits.
  uint64_t NextBits();
  // Uniform on [0, 1): the top 53 bits of a draw, times 2^-53 (exact).
  double Uniform();
  // Uniform on 0 .. count - 1 (count >= 1): the top 32 bits of a draw
  // times count, shifted down 32 (a bias below count / 2^32, never used
  // where that matters).
  uint32_t Index(uint32_t count);
  // Standard normal by Box-Muller: two uniforms u1 (in (0, 1]) and u2 give
  // r cos(2 pi u2) and r sin(2 pi u2), r = sqrt(-2 ln u1); both are used,
  // the cosine one first, then the sine one at the next call.
  double Normal();

 private:
  uint64_t m_Key;
  uint64_t m_Counter = 0;
  bool m_HasSpare = false;
  double m_Spare = 0.0;
};
