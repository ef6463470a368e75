#include "core/RandomStream.h"

#include <cmath>

namespace {

// splitmix64's increment (the golden ratio's fraction) and output function.
constexpr uint64_t kGamma = 0x9E3779B97F4A7C15ULL;

uint64_t Finalize(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// One step of the key: a bijective mix of the key so far with the next part.
uint64_t MixIn(uint64_t key, uint64_t part) { return Finalize((key ^ part) + kGamma); }

constexpr double kTwoPi = 6.283185307179586476925286766559;

}  // namespace

RandomStream::RandomStream(uint64_t seed, uint64_t replicate, uint64_t referenceSet, uint64_t measure)
    : m_Key(MixIn(MixIn(MixIn(MixIn(0, seed), replicate), referenceSet), measure)) {}

uint64_t RandomStream::NextBits() {
  ++m_Counter;
  return Finalize(m_Key + m_Counter * kGamma);
}

double RandomStream::Uniform() { return static_cast<double>(NextBits() >> 11) * 0x1.0p-53; }

uint32_t RandomStream::Index(uint32_t count) {
  return static_cast<uint32_t>(((NextBits() >> 32) * static_cast<uint64_t>(count)) >> 32);
}

double RandomStream::Normal() {
  if (m_HasSpare) {
    m_HasSpare = false;
    return m_Spare;
  }
  const double u1 = 1.0 - Uniform();
  const double u2 = Uniform();
  const double r = std::sqrt(-2.0 * std::log(u1));
  const double angle = kTwoPi * u2;
  m_Spare = r * std::sin(angle);
  m_HasSpare = true;
  return r * std::cos(angle);
}
