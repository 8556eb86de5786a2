#include "Random.h"

namespace jest {

namespace {
std::uint32_t g_state = 1;  // the classic C library starts as if seeded with 1
}

void srand(std::uint32_t seed)
{
    g_state = seed;
}

int rand()
{
    g_state = g_state * 214013u + 2531011u;  // wraps modulo 2^32
    return static_cast<int>((g_state >> 16) & 0x7FFFu);
}

}  // namespace jest
