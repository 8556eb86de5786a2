// Detection: which encoding a file's bytes are in.
#include "Encoding.h"
#include "EncodingBytes.h"

#include <cstring>
#include <optional>

using namespace enc;

namespace {

// ---- Weighing EUC-JP against CP932 -----------------------------------------

// One half-width katakana byte (0xA1..0xDF) after `prev`: letters score, a
// voiced mark after a kana that takes it scores more, anywhere else it
// counts against, and so does a long mark after no kana.
int HalfWidthScore(unsigned c, unsigned prev)
{
    const bool afterKana = In(prev, 0xA6, 0xDD);
    if (c == 0xDE || c == 0xDF) {
        const bool voiced = In(prev, 0xB6, 0xC4) || In(prev, 0xCA, 0xCE) || (c == 0xDE && prev == 0xB3);
        return voiced ? 5 : -4;
    }
    if (c == 0xB0) return afterKana ? 3 : -2;
    if (In(c, 0xA7, 0xAF)) return afterKana ? 1 : -1;  // small kana
    if (In(c, 0xB1, 0xDD) || c == 0xA6) return 1;
    return 0;
}

// How Japanese the text looks when read as EUC-JP: kana score high, kanji
// and punctuation less, unassigned rows and a cut last character count
// against it.
int EucJpScore(std::string_view s)
{
    Bytes p = Begin(s);
    Bytes const end = p + s.size();
    int score = 0;
    unsigned prevKana = 0;
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            prevKana = 0;
            ++p;
            continue;
        }
        const std::ptrdiff_t need = c == 0x8F ? 3 : 2;
        if (end - p < need) {  // cut short
            score -= 3;
            break;
        }
        if (c == 0x8E) {  // half-width katakana
            score += HalfWidthScore(p[1], prevKana) + 3;
            prevKana = p[1];
            p += 2;
            continue;
        }
        prevKana = 0;
        if (c == 0x8F) {  // JIS X 0212: rare
            score -= 2;
            p += 3;
            continue;
        }
        if (c == 0xA4 || c == 0xA5) score += 6;        // hiragana, katakana
        else if (c == 0xA1) score += 2;                // punctuation
        else if (In(c, 0xB0, 0xCF)) score += 3;        // first-level kanji
        else if (In(c, 0xD0, 0xF4)) score += 1;        // second-level kanji
        else if (In(c, 0xA9, 0xAC) || c == 0xAE || c == 0xAF || In(c, 0xF5, 0xFE)) score -= 4;  // unassigned rows
        p += 2;
    }
    return score;
}

// How Japanese the text looks when read as CP932: kana and first-level kanji
// score, half-width katakana as above but a lone one beside double-byte
// characters counts against, and so do rare and unassigned lead bytes.
int Cp932Score(std::string_view s)
{
    Bytes p = Begin(s);
    Bytes const end = p + s.size();
    int score = 0;
    unsigned prev = 0;
    bool prevDouble = false;
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            prev = c;
            prevDouble = false;
            ++p;
            continue;
        }
        if (In(c, 0xA1, 0xDF) && prev < 0x80 && p > Begin(s)) {
            // A run of half-width katakana between ASCII: a word.
            Bytes q = p;
            while (q < end && In(*q, 0xA1, 0xDF)) ++q;
            if (q - p >= 2 && q < end && *q < 0x80) score += static_cast<int>(q - p);
        }
        if (In(c, 0xA1, 0xDF)) {
            const bool nextDouble = p + 1 < end && IsCp932Lead(p[1]);
            const bool alone = !In(prev, 0xA1, 0xDF) && !(p + 1 < end && In(p[1], 0xA1, 0xDF));
            score += alone && (prevDouble || nextDouble) ? -3 : HalfWidthScore(c, prev);
            prev = c;
            prevDouble = false;
            ++p;
            continue;
        }
        if (end - p < 2) {  // cut short
            score -= 3;
            break;
        }
        if (c == 0x82 || c == 0x83) score += 6;                    // kana
        else if (c == 0x81) score += 2;                            // punctuation
        else if (In(c, 0x88, 0x9F)) score += 3;                    // first-level kanji
        else if (In(c, 0xE0, 0xEA)) score += 1;                    // second-level kanji
        else if (c == 0x85 || c == 0x86 || c == 0xEB || c == 0xEC || c == 0xEF) score -= 8;  // unassigned
        else if (In(c, 0xF0, 0xF9)) score -= 6;                    // user-defined
        else if (c == 0x87 || In(c, 0xED, 0xEE) || In(c, 0xFA, 0xFC)) score -= 3;  // NEC and IBM extensions
        prev = c;
        prevDouble = true;
        p += 2;
    }
    return score;
}

// How UTF-8 the text looks: each valid multi-byte sequence scores (a
// Japanese one most), each run of invalid bytes counts against. `multi`
// receives the number of valid multi-byte sequences, `invalid` that of
// invalid runs (a character cut short at the end is neither).
int Utf8Score(std::string_view s, std::size_t& multi, std::size_t& invalid)
{
    Bytes p = Begin(s);
    Bytes const end = p + s.size();
    int score = 0;
    multi = invalid = 0;
    while (p < end) {
        p = SkipAscii(p, end);
        if (p == end) break;
        bool cut = false;
        const int n = Utf8Sequence(p, end, cut);
        if (cut) break;
        if (n == 0) {  // a run of invalid bytes is one damage
            ++invalid;
            score -= 8;
            do ++p;
            while (p < end && *p >= 0x80 && Utf8Sequence(p, end, cut) == 0 && !cut);
            continue;
        }
        ++multi;
        if (n == 2) {  // Latin-1 letters are likelier than the rest
            score += In(p[0], 0xC2, 0xC3) ? 4 : 1;
            p += 2;
            continue;
        }
        const bool japanese = n == 3 && (In(p[0], 0xE3, 0xE9) || (p[0] == 0xEF && In(p[1], 0xBC, 0xBF)));
        score += japanese ? 6 : 2;
        p += n;
    }
    return score;
}

// Whether UTF-8 text holds a sequence of three or four bytes.
bool HasLongerUtf8(std::string_view s)
{
    for (unsigned char c : s) {
        if (c >= 0xE0) return true;
    }
    return false;
}

bool HasJisEscape(std::string_view s)
{
    for (std::size_t i = s.find('\x1B'); i != std::string_view::npos; i = s.find('\x1B', i + 1)) {
        const std::string_view rest = s.substr(i + 1, 3);
        if (rest.starts_with("$@") || rest.starts_with("$B") || rest.starts_with("(I") || rest.starts_with("(J"))
            return true;
        if (rest.starts_with("$A") || rest.starts_with(".A") || rest.starts_with(".F")) return true;
        if (rest.size() == 3 && rest.starts_with("$(") && std::string_view("CDOPQ").find(rest[2]) != std::string_view::npos)
            return true;
    }
    return false;
}

}  // namespace

// ---- Detection ----------------------------------------------------------------

bool IsValidUtf8(std::string_view bytes)
{
    bool cut = false;
    return FirstInvalidUtf8(bytes, cut) == bytes.size() || cut;
}

bool IsValidEucJp(std::string_view bytes)
{
    Bytes p = Begin(bytes);
    Bytes const end = p + bytes.size();
    while (p < end) {
        while (end - p >= 2 && In(p[0], 0xA1, 0xFE) && In(p[1], 0xA1, 0xFE)) p += 2;
        if (p == end) break;
        const unsigned c = *p;
        if (c < 0x80) {
            p = SkipAscii(p + 1, end);
            continue;
        }
        int trail;
        unsigned hi = 0xFE;
        if (In(c, 0xA1, 0xFE)) trail = 1;
        else if (c == 0x8E) trail = 1, hi = 0xDF;
        else if (c == 0x8F) trail = 2;
        else return false;
        ++p;
        for (int i = 0; i < trail; ++i, ++p) {
            if (p == end) return true;  // cut short
            if (!In(*p, 0xA1, hi)) return false;
        }
    }
    return true;
}

namespace {

// Whether all eight bytes are single-byte CP932 characters: ASCII or
// half-width katakana (0xA1..0xDF, that is 0x21..0x5F under the high bit).
bool AllSingleCp932(std::uint64_t w)
{
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const std::uint64_t y = w & ~kHigh;
    const std::uint64_t atLeast21 = (y + 0x5F5F5F5F5F5F5F5Full) & kHigh;
    const std::uint64_t atLeast60 = (y + 0x2020202020202020ull) & kHigh;
    const std::uint64_t kana = w & atLeast21 & ~atLeast60 & kHigh;
    return ((~w & kHigh) | kana) == kHigh;
}

}  // namespace

bool IsValidCp932(std::string_view bytes)
{
    Bytes p = Begin(bytes);
    Bytes const end = p + bytes.size();
    while (p < end) {
        std::uint64_t w;
        while (end - p >= 8 && (std::memcpy(&w, p, 8), AllSingleCp932(w))) p += 8;
        if (p == end) break;
        const unsigned c = *p++;
        if (c < 0x80) {
            p = SkipAscii(p, end);
            continue;
        }
        if (In(c, 0xA1, 0xDF)) continue;
        if (!IsCp932Lead(c)) return false;
        if (p == end) return true;  // cut short
        const unsigned t = *p++;
        if (!In(t, 0x40, 0x7E) && !In(t, 0x80, 0xFC)) return false;
    }
    return true;
}

namespace {

// Whether a code unit (high byte, low byte) is one a Japanese or ASCII text
// in UTF-16 is made of.
bool PlausibleUnit(unsigned hi, unsigned lo)
{
    if (hi == 0) return lo == '\t' || lo == '\n' || lo == '\r' || In(lo, 0x20, 0x7E);
    return hi == 0x30 || In(hi, 0x4E, 0x9F) || hi == 0xFF || In(hi, 0x20, 0x26);
}

// UTF-16 without a mark, when the text plainly is: NULs at alternate
// positions only (ASCII), or no 8-bit reading at all, and nearly every code
// unit in the order found a Japanese or ASCII one.
// validUtf8() tells whether the bytes are valid UTF-8.
template <class ValidUtf8>
std::optional<EncodingId> PlainUtf16(std::string_view bytes, const ValidUtf8& validUtf8)
{
    if (bytes.size() < 4 || bytes.size() % 2 != 0) return std::nullopt;
    // Without a NUL only the text that no 8-bit reading holds can be UTF-16:
    // settled before the costly weighing of every unit.
    if (std::memchr(bytes.data(), 0, bytes.size()) == nullptr &&
        (validUtf8() || IsValidEucJp(bytes) || IsValidCp932(bytes)))
        return std::nullopt;
    Bytes const b = Begin(bytes);
    const std::size_t units = bytes.size() / 2;
    std::size_t nul[2] = {0, 0}, plausible[2] = {0, 0};
    for (std::size_t i = 0; i < units; ++i) {
        const unsigned first = b[2 * i], second = b[2 * i + 1];
        nul[0] += first == 0;
        nul[1] += second == 0;
        plausible[0] += PlausibleUnit(first, second);   // big-endian
        plausible[1] += PlausibleUnit(second, first);   // little-endian
    }
    for (int order = 0; order < 2; ++order) {
        const bool alternateNuls = nul[order] > 0 && nul[1 - order] == 0;
        const bool no8Bit = nul[0] + nul[1] == 0 && !validUtf8() && !IsValidEucJp(bytes) && !IsValidCp932(bytes);
        if ((alternateNuls || no8Bit) && plausible[order] * 10 >= units * 9)
            return order == 0 ? EncodingId::Utf16Be : EncodingId::Utf16Le;
    }
    return std::nullopt;
}

}  // namespace

bool HoldsInvalidBytes(std::string_view text, EncodingId pass)
{
    // A cut last character is invalid too: text with one more byte decides.
    const std::string probe = std::string(text) + '\n';
    switch (pass) {
    case EncodingId::Utf8: return !IsValidUtf8(probe);
    case EncodingId::EucJp: return !IsValidEucJp(probe);
    case EncodingId::Cp932: return !IsValidCp932(probe);
    default: return false;
    }
}

bool HasUtf32Mark(std::string_view bytes)
{
    return bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4)) || bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4));
}

CEncoding DetectEncoding(std::string_view bytes)
{
    // A UTF-32 mark is taken as UTF-16 of that order, which refuses it.
    if (bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return {EncodingId::Utf16Be, false};
    for (EncodingId id : {EncodingId::Utf8, EncodingId::Utf16Le, EncodingId::Utf16Be}) {
        if (bytes.starts_with(ByteOrderMark(id))) return {id, true};
    }
    // Whether the bytes are valid UTF-8, found once.
    std::optional<bool> utf8Valid;
    const auto validUtf8 = [&] {
        if (!utf8Valid)
            utf8Valid = IsValidUtf8(bytes);
        return *utf8Valid;
    };
    if (const std::optional<EncodingId> wide = PlainUtf16(bytes, validUtf8))
        return {*wide, false};
    Bytes const b = Begin(bytes);
    if (SkipAscii(b, b + bytes.size()) == b + bytes.size())
        return {HasJisEscape(bytes) ? EncodingId::Iso2022Jp : EncodingId::Utf8, false};
    // The first 64 KiB are plenty to weigh the readings.
    const std::string_view head = bytes.substr(0, 64 * 1024);
    if (validUtf8()) {
        // Two-byte sequences alone (no Japanese in UTF-8) may be EUC-JP kanji.
        std::size_t multi = 0, invalid = 0;
        const int utf8 = Utf8Score(head, multi, invalid);
        if (!HasLongerUtf8(head) && IsValidEucJp(bytes) && EucJpScore(head) > utf8) return {EncodingId::EucJp, false};
        return {EncodingId::Utf8, false};
    }
    const bool euc = IsValidEucJp(bytes), sjis = IsValidCp932(bytes);
    // Valid in one 8-bit reading only: that one, whatever the weighing says.
    if (euc != sjis) {
        // UTF-8 with a little damage still beats an 8-bit reading that
        // holds by accident.
        std::size_t multi = 0, invalid = 0;
        const int utf8 = Utf8Score(head, multi, invalid);
        if (multi >= 2 * invalid && utf8 > (euc ? EucJpScore(head) : Cp932Score(head))) return {EncodingId::Utf8, false};
        return {euc ? EncodingId::EucJp : EncodingId::Cp932, false};
    }
    std::size_t multi = 0, invalid = 0;
    const int utf8 = Utf8Score(head, multi, invalid);
    if (!euc) {
        // No clean reading: damaged UTF-8 when its sequences are overwhelmingly valid.
        return {multi >= 2 * invalid ? EncodingId::Utf8 : EncodingId::Cp932, false};
    }
    // Both read it: a tie goes to CP932.
    const int eucScore = EucJpScore(head), sjisScore = Cp932Score(head);
    if (multi >= 2 * invalid && utf8 > eucScore && utf8 > sjisScore) return {EncodingId::Utf8, false};
    return {eucScore > sjisScore ? EncodingId::EucJp : EncodingId::Cp932, false};
}

CEncoding EncodingForBytes(EncodingId id, std::string_view bytes)
{
    const std::string_view bom = ByteOrderMark(id);
    return {id, !bom.empty() && bytes.starts_with(bom)};
}

