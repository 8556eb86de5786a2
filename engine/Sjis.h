// The Shift-JIS (CP932) facts that byte-level code needs: which bytes start
// a double-byte character and which may follow as its second byte.
#pragma once

// 0x81..0x9F and 0xE0..0xFC; the byte after a lead byte belongs to it.
constexpr bool IsSjisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// 0x40..0xFC but 0x7F: the bytes a lead byte may take as its second.
constexpr bool IsSjisTrailByte(unsigned char b)
{
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}
