// Byte strings with value semantics: text in the encoding of the pass (CP932,
// UTF-8 or EUC-JP), a rule's key or text, a file's raw bytes. Positions and
// lengths are byte counts; nothing here knows about multi-byte characters.
#pragma once

#include <string>

// One byte string type for the whole engine.
using CByteString = std::string;
