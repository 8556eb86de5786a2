// Detection: which encoding a file's bytes are in.
#include "Encoding.h"
#include "EncodingBytes.h"

using namespace enc;

namespace {

// ---- Weighing EUC-JP against CP932 -----------------------------------------

// One half-width katakana byte (0xA1..0xDF) after `prev`: letters score, a
// voiced mark after a kana that takes it scores more, anywhere else it
// counts against, and so does a long mark after no kana.
int HalfWidthScore(unsigned c, unsigned prev)
{
    if (c == 0xDE || c == 0xDF) {
        const bool voiced = In(prev, 0xB6, 0xC4) || In(prev, 0xCA, 0xCE) || (c == 0xDE && prev == 0xB3);
        return voiced ? 4 : -4;
    }
    if (c == 0xB0) return In(prev, 0xA6, 0xDF) ? 2 : -2;
    if (In(c, 0xB1, 0xDD)) return 2;
    if (In(c, 0xA6, 0xAF)) return 1;
    return 0;
}

// How Japanese the text looks when read as EUC-JP: kana score high, kanji
// and punctuation a little, unassigned rows count against it.
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
        if (c == 0x8E) {  // half-width katakana
            const unsigned k = p + 1 < end ? p[1] : 0;
            score += HalfWidthScore(k, prevKana);
            prevKana = k;
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
        else if (In(c, 0xB0, 0xCF)) score += 1;        // first-level kanji
        else if (In(c, 0xA9, 0xAC) || c == 0xAE || c == 0xAF || In(c, 0xF5, 0xFE)) score -= 4;  // unassigned rows
        p += 2;
    }
    return score;
}

// How Japanese the text looks when read as CP932 (in the ambiguous case it
// holds half-width katakana and rarer kanji only): half-width katakana as
// above; user-defined characters count against.
int Cp932Score(std::string_view s)
{
    Bytes p = Begin(s);
    Bytes const end = p + s.size();
    int score = 0;
    unsigned prev = 0;
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            prev = c;
            ++p;
            continue;
        }
        if (In(c, 0xA1, 0xDF)) {
            score += HalfWidthScore(c, prev);
            prev = c;
            ++p;
            continue;
        }
        if (In(c, 0xF0, 0xF9)) score -= 4;
        else if (In(c, 0xFA, 0xFC)) score -= 1;
        prev = c;
        p += 2;
    }
    return score;
}

bool HasJisEscape(std::string_view s)
{
    for (std::size_t i = s.find('\x1B'); i != std::string_view::npos; i = s.find('\x1B', i + 1)) {
        const std::string_view rest = s.substr(i + 1, 3);
        if (rest.starts_with("$@") || rest.starts_with("$B") || rest.starts_with("(I") || rest.starts_with("(J"))
            return true;
        if (rest.size() == 3 && rest.starts_with("$(") && std::string_view("DOPQ").find(rest[2]) != std::string_view::npos)
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

CEncoding DetectEncoding(std::string_view bytes)
{
    for (EncodingId id : {EncodingId::Utf8, EncodingId::Utf16Le, EncodingId::Utf16Be}) {
        if (bytes.starts_with(ByteOrderMark(id))) return {id, true};
    }
    Bytes const b = Begin(bytes);
    if (SkipAscii(b, b + bytes.size()) == b + bytes.size())
        return {HasJisEscape(bytes) ? EncodingId::Iso2022Jp : EncodingId::Utf8, false};
    if (IsValidUtf8(bytes)) return {EncodingId::Utf8, false};
    if (IsValidEucJp(bytes)) {
        if (!IsValidCp932(bytes)) return {EncodingId::EucJp, false};
        // Both readings are valid: the first 64 KiB are plenty to weigh them.
        const std::string_view head = bytes.substr(0, 64 * 1024);
        if (EucJpScore(head) > Cp932Score(head)) return {EncodingId::EucJp, false};
    }
    return {EncodingId::Cp932, false};
}

CEncoding EncodingForBytes(EncodingId id, std::string_view bytes)
{
    const std::string_view bom = ByteOrderMark(id);
    return {id, !bom.empty() && bytes.starts_with(bom)};
}

