// iconv converters, opened once per pair of encodings and thread and kept
// for the life of the thread, since opening one costs far more than a short
// conversion.
#pragma once

#include <iconv.h>

// The converter from `from` to `to` (iconv's names), reset to its initial
// state; (iconv_t)-1 when iconv has none. Never to be closed by the caller.
iconv_t CachedConverter(const char* to, const char* from);
