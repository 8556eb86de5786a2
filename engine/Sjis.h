// The one Shift-JIS (CP932) fact that byte-level code needs: which bytes
// start a double-byte character.
#pragma once

// 0x81..0x9F and 0xE0..0xFC; the byte after a lead byte belongs to it.
constexpr bool IsSjisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
