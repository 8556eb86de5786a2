// Byte strings: Shift-JIS (CP932) bytes with value semantics. Positions and
// lengths are byte counts; nothing here knows about double-byte characters.
#pragma once

#include <string>

// One byte string type for the whole engine.
using CByteString = std::string;
