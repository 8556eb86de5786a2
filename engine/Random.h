// The generator that draws the rewriting's random choices. It is the linear
// congruential generator of the classic C library, reproduced exactly so that
// a seed always gives the same text on every platform; the host's own rand()
// is never used.
#pragma once

#include <cstdint>

namespace jest {

// Sets the process-wide state to the seed.
void srand(std::uint32_t seed);

// state = state * 214013 + 2531011 (mod 2^32); returns (state >> 16) & 0x7FFF.
int rand();

}  // namespace jest
