// Byte-level facts the encoding files share: UTF-8 sequences, ASCII runs,
// CP932 lead bytes, lines. Internal to the engine's encoding code.
#pragma once

#include "Encoding.h"
#include "Sjis.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace enc {

using Bytes = const unsigned char*;

inline Bytes Begin(std::string_view s) { return reinterpret_cast<Bytes>(s.data()); }

inline bool In(unsigned c, unsigned lo, unsigned hi) { return c - lo <= hi - lo; }

// The line, from 1, of the byte at offset.
inline std::size_t LineAt(std::string_view s, std::size_t offset)
{
    return 1 + static_cast<std::size_t>(std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// ---- Validity ---------------------------------------------------------------

// Length of the valid UTF-8 sequence at p (1 to 4), 0 when invalid, or
// `cut` (returned as -1 through the flag) when the text ends inside it.
inline int Utf8Sequence(Bytes p, Bytes end, bool& cut)
{
    const unsigned c = p[0];
    if (c < 0x80) return 1;
    int n;
    unsigned lo = 0x80, hi = 0xBF;
    if (In(c, 0xC2, 0xDF)) {
        n = 2;
    } else if (In(c, 0xE0, 0xEF)) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (In(c, 0xF0, 0xF4)) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < n; ++i) {
        if (p + i == end) {
            cut = true;
            return 0;
        }
        if (!In(p[i], lo, hi)) return 0;
        lo = 0x80;
        hi = 0xBF;
    }
    return n;
}

// Skips ASCII before end eight bytes at a time; in the eight that hold a
// byte of 0x80 or more, the first such byte is found from its bit, not by a
// loop. Fewer than eight bytes before end are read as eight too where the
// bytes up to `readable` may be read.
inline Bytes SkipAscii(Bytes p, Bytes end, Bytes readable)
{
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if (const std::uint64_t high = w & 0x8080808080808080ull) {
            if constexpr (std::endian::native == std::endian::little)
                return p + std::countr_zero(high) / 8;
            break;
        }
        p += 8;
    }
    if constexpr (std::endian::native == std::endian::little) {
        if (p < end && readable - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            const std::uint64_t high = w & 0x8080808080808080ull;
            return std::min(p + (high != 0 ? std::countr_zero(high) / 8 : 8), end);
        }
    }
    while (p < end && *p < 0x80) ++p;
    return p;
}

inline Bytes SkipAscii(Bytes p, Bytes end)
{
    return SkipAscii(p, end, end);
}

// Skips ASCII but the ASCII byte c, eight bytes at a time: the first c or
// byte of 0x80 or more, or end.
inline Bytes SkipAsciiBut(Bytes p, Bytes end, unsigned char c)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
        const std::uint64_t pattern = kOnes * c;
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            const std::uint64_t x = w ^ pattern;
            // The lowest byte marked is the first c or high byte: a byte
            // equal to c may mark bytes above it, never below.
            if (const std::uint64_t marked = ((x - kOnes) & ~x & kHighs) | (w & kHighs))
                return p + std::countr_zero(marked) / 8;
            p += 8;
        }
    }
    while (p < end && *p < 0x80 && *p != c)
        ++p;
    return p;
}

// Offset of the first invalid UTF-8 byte, or the length; `cut` tells that
// the text ends inside a character there.
inline std::size_t FirstInvalidUtf8(std::string_view s, bool& cut)
{
    Bytes const b = Begin(s);
    Bytes const end = b + s.size();
    Bytes p = b;
    cut = false;
    for (;;) {
        p = SkipAscii(p, end);
        if (p == end) return s.size();
        // Most Japanese characters: three bytes led by E1..EC or EE..EF.
        while (IsCommonUtf8Triple(p, static_cast<std::size_t>(end - p))) p += 3;
        if (p == end) return s.size();
        if (*p < 0x80) continue;
        const int n = Utf8Sequence(p, end, cut);
        if (n == 0) return static_cast<std::size_t>(p - b);
        p += n;
    }
}

inline bool IsCp932Lead(unsigned c) { return c <= 0xFF && IsSjisLeadByte(static_cast<unsigned char>(c)); }

}  // namespace enc
