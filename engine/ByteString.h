// Byte strings: Shift-JIS (CP932) bytes with value semantics. Positions and
// lengths are byte counts; nothing here knows about double-byte characters.
#pragma once

#include <cstdint>
#include <string>

// One byte string type for the whole engine.
using CByteString = std::string;

// Left, right and middle parts clamp their arguments instead of failing:
//  StrLeft(s, n):  first n bytes; n < 0 is 0, n > length is the length.
//  StrRight(s, n): last n bytes, clamped the same way.
//  StrMid(s, f, c): f < 0 is 0 and c < 0 is 0; then if f + c > length,
//                   c = length - f; then if f > length, c = 0.
CByteString StrLeft(const CByteString& s, std::int64_t n);
CByteString StrRight(const CByteString& s, std::int64_t n);
CByteString StrMid(const CByteString& s, std::int64_t f, std::int64_t c);
