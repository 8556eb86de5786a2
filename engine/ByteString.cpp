#include "ByteString.h"

namespace {

// Clamps a part length into 0..length of s.
std::int64_t ClampCount(const CByteString& s, std::int64_t n)
{
    const auto len = static_cast<std::int64_t>(s.size());
    if (n < 0) return 0;
    return n > len ? len : n;
}

}  // namespace

CByteString StrLeft(const CByteString& s, std::int64_t n)
{
    return s.substr(0, static_cast<std::size_t>(ClampCount(s, n)));
}

CByteString StrRight(const CByteString& s, std::int64_t n)
{
    const auto c = ClampCount(s, n);
    return s.substr(s.size() - static_cast<std::size_t>(c));
}

CByteString StrMid(const CByteString& s, std::int64_t f, std::int64_t c)
{
    const auto len = static_cast<std::int64_t>(s.size());
    if (f < 0) f = 0;
    if (c < 0) c = 0;
    if (f > len) return CByteString();
    // Same as "if f + c exceeds the length, c = length - f", without overflow.
    if (c > len - f) c = len - f;
    return s.substr(static_cast<std::size_t>(f), static_cast<std::size_t>(c));
}
