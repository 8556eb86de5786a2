#include "Encoding.h"

#include "Converters.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Bytes = const unsigned char*;

Bytes Begin(std::string_view s) { return reinterpret_cast<Bytes>(s.data()); }

bool In(unsigned c, unsigned lo, unsigned hi) { return c - lo <= hi - lo; }

// ---- Names ------------------------------------------------------------------

// Lower case without "-", "_" and spaces, so that "Shift_JIS", "shift-jis"
// and "SHIFTJIS" read alike.
std::string Squeeze(std::string_view name)
{
    std::string out;
    for (char ch : name) {
        if (ch == '-' || ch == '_' || ch == ' ') continue;
        out += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    return out;
}

struct NameEntry {
    const char* squeezed;
    EncodingId id;
};
constexpr NameEntry kNames[] = {
    {"cp932", EncodingId::Cp932},         {"ms932", EncodingId::Cp932},
    {"windows31j", EncodingId::Cp932},    {"windows932", EncodingId::Cp932},
    {"shiftjis", EncodingId::Cp932},      {"sjis", EncodingId::Cp932},
    {"xsjis", EncodingId::Cp932},         {"csshiftjis", EncodingId::Cp932},
    {"cswindows31j", EncodingId::Cp932},  {"mskanji", EncodingId::Cp932},
    {"sjiswin", EncodingId::Cp932},       {"sjisopen", EncodingId::Cp932},
    {"utf8", EncodingId::Utf8},           {"eucjp", EncodingId::EucJp},
    {"eucjpms", EncodingId::EucJp},       {"eucjpwin", EncodingId::EucJp},
    {"eucjpopen", EncodingId::EucJp},     {"xeucjp", EncodingId::EucJp},
    {"ujis", EncodingId::EucJp},          {"cp51932", EncodingId::EucJp},
    {"cseucpkdfmtjapanese", EncodingId::EucJp},
    {"iso2022jp", EncodingId::Iso2022Jp}, {"iso2022jp3", EncodingId::Iso2022Jp},
    {"csiso2022jp", EncodingId::Iso2022Jp}, {"jis", EncodingId::Iso2022Jp},
    {"utf16le", EncodingId::Utf16Le},     {"utf16be", EncodingId::Utf16Be},
};

// ---- Validity ---------------------------------------------------------------

// Length of the valid UTF-8 sequence at p (1 to 4), 0 when invalid, or
// `cut` (returned as -1 through the flag) when the text ends inside it.
int Utf8Sequence(Bytes p, Bytes end, bool& cut)
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

// Skips ASCII eight bytes at a time.
Bytes SkipAscii(Bytes p, Bytes end)
{
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if (w & 0x8080808080808080ull) break;
        p += 8;
    }
    while (p < end && *p < 0x80) ++p;
    return p;
}

// Offset of the first invalid UTF-8 byte, or the length; `cut` tells that
// the text ends inside a character there.
std::size_t FirstInvalidUtf8(std::string_view s, bool& cut)
{
    Bytes const b = Begin(s);
    Bytes const end = b + s.size();
    Bytes p = b;
    cut = false;
    for (;;) {
        p = SkipAscii(p, end);
        if (p == end) return s.size();
        // Most Japanese characters: three bytes led by E1..EC or EE..EF.
        while (end - p >= 3 && In(p[0], 0xE1, 0xEF) && p[0] != 0xED && ((p[1] ^ 0x80) | (p[2] ^ 0x80)) < 0x40) p += 3;
        if (p == end) return s.size();
        if (*p < 0x80) continue;
        const int n = Utf8Sequence(p, end, cut);
        if (n == 0) return static_cast<std::size_t>(p - b);
        p += n;
    }
}

// Decodes the valid UTF-8 character at p (n bytes).
char32_t Utf8Char(Bytes p, int n)
{
    switch (n) {
    case 1: return p[0];
    case 2: return (char32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    case 3: return (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    default:
        return (char32_t(p[0] & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) |
               (p[3] & 0x3F);
    }
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsCp932Lead(unsigned c) { return In(c, 0x81, 0x9F) || In(c, 0xE0, 0xFC); }

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

// ---- iconv ------------------------------------------------------------------

// A converter of the pair, opened once (Converters.h).
class CIconv {
public:
    CIconv(const char* to, const char* from) : m_cd(CachedConverter(to, from)) {}
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

bool IsUnicode(EncodingId id) { return id == EncodingId::Utf8 || id == EncodingId::Utf16Le || id == EncodingId::Utf16Be; }

// The characters that CP932 and JIS map differently: the JIS form (as
// glibc's JIS converters read it) and the Microsoft form (as CP932 reads it).
struct FoldPair {
    char32_t jis, ms;
};
constexpr FoldPair kFolds[] = {
    {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D}, {0x00A2, 0xFFE0},
    {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2},
};

// The form that the target holds at the common code.
char32_t FoldFor(EncodingId to, char32_t c)
{
    if (c == 0x2014) return 0x2015;  // both read 0x213D (CP932 0x815C) as U+2015
    for (const FoldPair& f : kFolds) {
        if (to == EncodingId::Iso2022Jp ? c == f.ms : c == f.jis) return to == EncodingId::Iso2022Jp ? f.jis : f.ms;
    }
    return c;
}

// Where folding changed a character's length: offsets just after it in the
// folded and the original text.
struct FoldShift {
    std::size_t folded, original;
};

std::string Fold(std::string_view utf8, EncodingId to, std::vector<FoldShift>& shifts)
{
    std::string out;
    out.reserve(utf8.size() + 16);
    Bytes const b = Begin(utf8);
    Bytes const end = b + utf8.size();
    Bytes p = b;
    while (p < end) {
        Bytes q = SkipAscii(p, end);
        out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p));
        p = q;
        if (p == end) break;
        bool cut = false;
        const int n = Utf8Sequence(p, end, cut);
        if (n == 0) {  // left for the converter to report
            out += static_cast<char>(*p++);
            continue;
        }
        const char32_t c = Utf8Char(p, n);
        const char32_t f = FoldFor(to, c);
        const std::size_t before = out.size();
        if (f == c) out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
        else AppendUtf8(out, f);
        p += n;
        if (out.size() - before != static_cast<std::size_t>(n))
            shifts.push_back({out.size(), static_cast<std::size_t>(p - b)});
    }
    return out;
}

std::size_t Unfold(std::size_t folded, const std::vector<FoldShift>& shifts)
{
    auto it = std::upper_bound(shifts.begin(), shifts.end(), folded,
                               [](std::size_t f, const FoldShift& s) { return f < s.folded; });
    if (it == shifts.begin()) return folded;
    --it;
    return it->original + (folded - it->folded);
}

std::size_t LineAt(std::string_view utf8, std::size_t offset)
{
    return 1 + static_cast<std::size_t>(std::count(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

void Fail(CConvertError* error, CConvertError::Kind kind, std::size_t offset, std::size_t line, char32_t c,
          EncodingId from, EncodingId to)
{
    if (error) *error = {kind, offset, line, c, from, to};
}

// Runs the whole input through iconv. On failure returns false with the
// input offset and errno; the output holds what came before.
bool RunIconv(iconv_t cd, std::string_view in, std::string& out, std::size_t& failedAt, int& err)
{
    std::string src(in);  // iconv wants a writable pointer
    char* ip = src.data();
    std::size_t il = src.size();
    out.assign(src.size() * 3 + 16, '\0');
    std::size_t used = 0;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // initial state, whatever came before
    for (;;) {
        char* op = out.data() + used;
        std::size_t ol = out.size() - used;
        std::size_t rc = il ? iconv(cd, &ip, &il, &op, &ol) : 0;
        if (rc != static_cast<std::size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &op, &ol);  // shift back
        used = out.size() - ol;
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        err = errno;
        failedAt = static_cast<std::size_t>(ip - src.data());
        out.resize(used);
        return false;
    }
    out.resize(used);
    return true;
}

// Offset of the first character of `folded` that does not come back as
// itself from `encoded`, or npos. (glibc writes U+00A5 as 0x5C and U+203E as
// 0x7E into CP932 and EUC-JP, and passes ESC into ISO-2022-JP, all without
// an error.)
std::size_t FirstIrreversible(std::string_view folded, EncodingId to, const std::string& encoded)
{
    CIconv back("UTF-8", ConverterName(to));
    CIconv there(ConverterName(to), "UTF-8");
    std::string decoded, one, dec;
    std::size_t at = 0;
    int err = 0;
    if (!back.Ok() || !there.Ok()) return 0;
    if (RunIconv(back.Get(), encoded, decoded, at, err) && decoded == folded) return std::string_view::npos;
    // Character by character; everything before the first differing byte came back.
    std::size_t i = 0;
    if (err == 0) {
        const auto diff = std::mismatch(folded.begin(), folded.end(), decoded.begin(), decoded.end());
        i = static_cast<std::size_t>(diff.first - folded.begin());
        while (i > 0 && i < folded.size() && !IsUtf8LeadByte(static_cast<unsigned char>(folded[i]))) --i;
    }
    const std::size_t first = std::min(i, folded.size() ? folded.size() - 1 : 0);
    for (; i < folded.size(); i += std::max<std::size_t>(1, CharLength(folded, i, EncodingId::Utf8))) {
        const std::string_view c = folded.substr(i, CharLength(folded, i, EncodingId::Utf8));
        if (!RunIconv(there.Get(), c, one, at, err) || !RunIconv(back.Get(), one, dec, at, err) || dec != c) return i;
    }
    return first;
}

// Offset of the first character that ISO-2022-JP-3 writes as JIS X 0213.
std::size_t FirstJisX0213(std::string_view utf8)
{
    CIconv there(ConverterName(EncodingId::Iso2022Jp), "UTF-8");
    std::string one;
    std::size_t at = 0;
    int err = 0;
    for (std::size_t i = 0; i < utf8.size(); i += std::max<std::size_t>(1, CharLength(utf8, i, EncodingId::Utf8))) {
        const std::string_view c = utf8.substr(i, CharLength(utf8, i, EncodingId::Utf8));
        if (!there.Ok() || !RunIconv(there.Get(), c, one, at, err) || one.find("\x1B$(") != std::string::npos) return i;
    }
    return 0;
}

// Input offset of the character whose UTF-8 form starts at utf8Offset:
// decodes again into exactly that many bytes of room.
std::size_t InputOffsetOf(std::string_view in, EncodingId from, std::size_t utf8Offset)
{
    if (from == EncodingId::Utf8) return utf8Offset;
    CIconv cd("UTF-8", ConverterName(from));
    if (!cd.Ok()) return 0;
    std::string src(in);
    std::string out(utf8Offset, '\0');
    char* ip = src.data();
    std::size_t il = src.size();
    char* op = out.data();
    std::size_t ol = out.size();
    iconv(cd.Get(), &ip, &il, &op, &ol);
    return static_cast<std::size_t>(ip - src.data());
}

// Decodes `in` (no mark) to UTF-8; errors count from `base` in the input.
bool Decode(std::string_view in, EncodingId from, std::size_t base, std::string& utf8, CConvertError* error)
{
    using Kind = CConvertError::Kind;
    if (from == EncodingId::Utf8) {
        bool cut = false;
        const std::size_t bad = FirstInvalidUtf8(in, cut);
        if (bad != in.size()) {
            Fail(error, cut ? Kind::IncompleteInput : Kind::InvalidInput, base + bad, LineAt(in, bad), 0, from,
                 EncodingId::Utf8);
            return false;
        }
        utf8.assign(in);
        return true;
    }
    CIconv cd("UTF-8", ConverterName(from));
    if (!cd.Ok()) {
        Fail(error, Kind::NoConverter, 0, 1, 0, from, EncodingId::Utf8);
        return false;
    }
    std::string out;
    std::size_t at = 0;
    int err = 0;
    if (!RunIconv(cd.Get(), in, out, at, err)) {
        Fail(error, err == EINVAL ? Kind::IncompleteInput : Kind::InvalidInput, base + at, LineAt(out, out.size()), 0,
             from, EncodingId::Utf8);
        return false;
    }
    utf8 = std::move(out);
    return true;
}

// Encodes UTF-8 into `to` (no mark). On failure `error` holds the offset in
// the UTF-8 text.
bool Encode(std::string_view utf8, EncodingId to, std::string& bytes, CConvertError* error)
{
    using Kind = CConvertError::Kind;
    if (to == EncodingId::Utf8) {
        bool cut = false;
        const std::size_t bad = FirstInvalidUtf8(utf8, cut);
        if (bad != utf8.size()) {
            Fail(error, cut ? Kind::IncompleteInput : Kind::InvalidInput, bad, LineAt(utf8, bad), 0, EncodingId::Utf8, to);
            return false;
        }
        bytes.assign(utf8);
        return true;
    }
    CIconv cd(ConverterName(to), "UTF-8");
    if (!cd.Ok()) {
        Fail(error, Kind::NoConverter, 0, 1, 0, EncodingId::Utf8, to);
        return false;
    }
    std::vector<FoldShift> shifts;
    const std::string folded = IsUnicode(to) ? std::string(utf8) : Fold(utf8, to, shifts);
    std::string out;
    std::size_t at = 0;
    int err = 0;
    bool ok = RunIconv(cd.Get(), folded, out, at, err);
    if (ok && !IsUnicode(to)) {
        at = FirstIrreversible(folded, to, out);
        ok = at == std::string_view::npos;
    }
    // The converter writes JIS X 0213 (ESC $ ( O, P, Q) where JIS X 0208 has
    // no character; ISO-2022-JP has none of it.
    if (ok && to == EncodingId::Iso2022Jp && out.find("\x1B$(") != std::string::npos) {
        at = FirstJisX0213(folded);
        ok = false;
    }
    if (!ok) {
        const std::size_t original = Unfold(at, shifts);
        if (original >= utf8.size()) {
            Fail(error, Kind::InvalidInput, utf8.size(), LineAt(utf8, utf8.size()), 0, EncodingId::Utf8, to);
            return false;
        }
        bool cut = false;
        Bytes const p = Begin(utf8) + original;
        const int n = Utf8Sequence(p, Begin(utf8) + utf8.size(), cut);
        if (n > 0) Fail(error, Kind::Unrepresentable, original, LineAt(utf8, original), Utf8Char(p, n), EncodingId::Utf8, to);
        else Fail(error, cut ? Kind::IncompleteInput : Kind::InvalidInput, original, LineAt(utf8, original), 0,
                  EncodingId::Utf8, to);
        return false;
    }
    bytes = std::move(out);
    return true;
}

}  // namespace

// ---- Names --------------------------------------------------------------------

bool IsAutoEncodingName(std::string_view name) { return Squeeze(name) == "auto"; }

std::optional<EncodingId> ParseEncodingName(std::string_view name)
{
    const std::string s = Squeeze(name);
    for (const NameEntry& e : kNames) {
        if (s == e.squeezed) return e.id;
    }
    return std::nullopt;
}

const char* OptionName(EncodingId id)
{
    switch (id) {
    case EncodingId::Cp932: return "cp932";
    case EncodingId::Utf8: return "utf-8";
    case EncodingId::EucJp: return "euc-jp";
    case EncodingId::Iso2022Jp: return "iso-2022-jp";
    case EncodingId::Utf16Le: return "utf-16le";
    case EncodingId::Utf16Be: return "utf-16be";
    }
    return "cp932";
}

std::string DisplayName(const CEncoding& encoding)
{
    std::string name;
    switch (encoding.m_id) {
    case EncodingId::Cp932: name = "Shift_JIS"; break;
    case EncodingId::Utf8: name = "UTF-8"; break;
    case EncodingId::EucJp: name = "EUC-JP"; break;
    case EncodingId::Iso2022Jp: name = "ISO-2022-JP"; break;
    case EncodingId::Utf16Le: name = "UTF-16LE"; break;
    case EncodingId::Utf16Be: name = "UTF-16BE"; break;
    }
    if (encoding.m_bBom && !ByteOrderMark(encoding.m_id).empty()) name += " BOM";
    return name;
}

std::string_view ByteOrderMark(EncodingId id)
{
    switch (id) {
    case EncodingId::Utf8: return "\xEF\xBB\xBF";
    case EncodingId::Utf16Le: return "\xFF\xFE";
    case EncodingId::Utf16Be: return "\xFE\xFF";
    default: return {};
    }
}

std::string_view WithoutByteOrderMark(std::string_view bytes, const CEncoding& encoding)
{
    const std::string_view bom = ByteOrderMark(encoding.m_id);
    if (encoding.m_bBom && !bom.empty() && bytes.starts_with(bom)) bytes.remove_prefix(bom.size());
    return bytes;
}

const char* ConverterName(EncodingId id)
{
    switch (id) {
    case EncodingId::Cp932: return "CP932";
    case EncodingId::Utf8: return "UTF-8";
    // The Microsoft mapping: every CP932 character has a form in it, and it
    // reads the seven differing characters as CP932 does.
    case EncodingId::EucJp: return "EUC-JP-MS";
    // Reads half-width katakana (ESC ( I) and JIS X 0213 as well; writes
    // JIS X 0208 text exactly as ISO-2022-JP.
    case EncodingId::Iso2022Jp: return "ISO-2022-JP-3";
    case EncodingId::Utf16Le: return "UTF-16LE";
    case EncodingId::Utf16Be: return "UTF-16BE";
    }
    return "CP932";
}

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

// ---- Conversion ---------------------------------------------------------------

std::string DescribeConvertError(const CConvertError& error, std::string_view input)
{
    using Kind = CConvertError::Kind;
    char buf[160];
    const std::string from = DisplayName({error.m_from, false});
    const std::string to = DisplayName({error.m_to, false});
    switch (error.m_eKind) {
    case Kind::Unrepresentable:
        std::snprintf(buf, sizeof buf, "line %zu: U+%04X cannot be written in %s", error.m_nLine,
                      static_cast<unsigned>(error.m_cChar), to.c_str());
        return buf;
    case Kind::IncompleteInput:
        std::snprintf(buf, sizeof buf, "line %zu: %s text ends inside a character at byte %zu", error.m_nLine,
                      from.c_str(), error.m_nOffset);
        return buf;
    case Kind::NoConverter:
        return "no converter from " + from + " to " + to;
    case Kind::InvalidInput:
        break;
    }
    std::string shown;
    for (std::size_t i = error.m_nOffset; i < input.size() && i < error.m_nOffset + 4; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02X", shown.empty() ? "" : " ", static_cast<unsigned char>(input[i]));
        shown += hex;
    }
    std::snprintf(buf, sizeof buf, "line %zu: invalid %s bytes at byte %zu", error.m_nLine, from.c_str(), error.m_nOffset);
    return shown.empty() ? std::string(buf) : std::string(buf) + " (" + shown + ")";
}

bool ConvertText(std::string_view bytes, const CEncoding& from, const CEncoding& to, std::string& out,
                 CConvertError* error)
{
    const std::string_view body = WithoutByteOrderMark(bytes, from);
    const std::size_t base = static_cast<std::size_t>(body.data() - bytes.data());
    const std::string_view bom = to.m_bBom ? ByteOrderMark(to.m_id) : std::string_view();
    if (from.m_id == to.m_id) {
        std::string result(bom);
        result.append(body);
        out = std::move(result);
        return true;
    }
    std::string utf8;
    if (!Decode(body, from.m_id, base, utf8, error)) {
        if (error) error->m_to = to.m_id;
        return false;
    }
    std::string encoded;
    if (!Encode(utf8, to.m_id, encoded, error)) {
        if (error) {
            error->m_from = from.m_id;
            if (error->m_eKind != CConvertError::Kind::NoConverter)
                error->m_nOffset = base + InputOffsetOf(body, from.m_id, error->m_nOffset);
        }
        return false;
    }
    std::string result(bom);
    result += encoded;
    out = std::move(result);
    return true;
}

bool DecodeToUtf8(std::string_view bytes, const CEncoding& from, std::string& utf8, CConvertError* error)
{
    return ConvertText(bytes, from, {EncodingId::Utf8, false}, utf8, error);
}

bool EncodeFromUtf8(std::string_view utf8, const CEncoding& to, std::string& bytes, CConvertError* error)
{
    return ConvertText(utf8, {EncodingId::Utf8, false}, to, bytes, error);
}

bool ConvertersAvailable()
{
    for (EncodingId id : {EncodingId::Cp932, EncodingId::EucJp, EncodingId::Iso2022Jp, EncodingId::Utf16Le,
                          EncodingId::Utf16Be}) {
        CIconv in("UTF-8", ConverterName(id));
        CIconv out(ConverterName(id), "UTF-8");
        if (!in.Ok() || !out.Ok()) return false;
    }
    return true;
}

// ---- The pass -----------------------------------------------------------------

EncodingId PassEncoding(EncodingId id)
{
    switch (id) {
    case EncodingId::Iso2022Jp: return EncodingId::EucJp;
    case EncodingId::Utf16Le:
    case EncodingId::Utf16Be: return EncodingId::Utf8;
    default: return id;
    }
}

std::size_t CharLength(std::string_view text, std::size_t pos, EncodingId id)
{
    if (pos >= text.size()) return 0;
    Bytes const p = Begin(text) + pos;
    Bytes const end = Begin(text) + text.size();
    const unsigned c = *p;
    if (c < 0x80) return 1;
    switch (id) {
    case EncodingId::Utf8: {
        if (text.size() - pos >= 3 && In(c, 0xE1, 0xEF) && c != 0xED && ((p[1] ^ 0x80) | (p[2] ^ 0x80)) < 0x40) return 3;
        bool cut = false;
        const int n = Utf8Sequence(p, end, cut);
        return n > 0 ? static_cast<std::size_t>(n) : 1;
    }
    case EncodingId::EucJp: {
        const std::size_t left = text.size() - pos;
        if (In(c, 0xA1, 0xFE)) return left >= 2 && In(p[1], 0xA1, 0xFE) ? 2 : 1;
        if (c == 0x8E) return left >= 2 && In(p[1], 0xA1, 0xDF) ? 2 : 1;
        if (c == 0x8F) return left >= 3 && In(p[1], 0xA1, 0xFE) && In(p[2], 0xA1, 0xFE) ? 3 : 1;
        return 1;
    }
    case EncodingId::Cp932: return IsCp932Lead(c) && text.size() - pos >= 2 ? 2 : 1;
    default: return 1;
    }
}

namespace {

// EUC-JP: a byte outside 0xA1..0xFE always starts a character, and a run of
// bytes inside it after the character that starts before the run is made of
// pairs. Returns the character start at or before pos (pos < size).
std::size_t EucJpStartAtOrBefore(std::string_view text, std::size_t pos)
{
    Bytes const b = Begin(text);
    if (!In(b[pos], 0xA1, 0xFE)) return pos;
    std::size_t q = pos;
    while (q > 0 && In(b[q - 1], 0xA1, 0xFE)) --q;
    std::size_t runStart = q;
    if (q > 0) {
        runStart = q - 1 + CharLength(text, q - 1, EncodingId::EucJp);
        if (pos < runStart) return q - 1;
    }
    return pos - ((pos - runStart) & 1);
}

}  // namespace

bool IsCharStart(std::string_view text, std::size_t pos, EncodingId id)
{
    if (pos == 0 || pos >= text.size()) return true;
    Bytes const b = Begin(text);
    if (id == EncodingId::Utf8) {
        if (IsUtf8LeadByte(b[pos])) return true;
        for (std::size_t d = 1; d <= 3 && d <= pos; ++d) {
            if (IsUtf8LeadByte(b[pos - d])) return CharLength(text, pos - d, id) <= d;
        }
        return true;  // a stray continuation byte
    }
    if (id == EncodingId::EucJp) return EucJpStartAtOrBefore(text, pos) == pos;
    return true;
}

std::size_t CharStartAtOrAfter(std::string_view text, std::size_t pos, EncodingId id, std::size_t from)
{
    if (pos >= text.size() || !StepsByCharacter(id)) return pos;
    if (id == EncodingId::Utf8) {
        // Inside a character: the start after it; a continuation byte that
        // belongs to none is a start of its own.
        Bytes const b = Begin(text);
        if (IsUtf8LeadByte(b[pos])) return pos;
        for (std::size_t d = 1; d <= 3 && d <= pos; ++d) {
            if (IsUtf8LeadByte(b[pos - d])) return std::max(pos, pos - d + CharLength(text, pos - d, id));
        }
        return pos;
    }
    std::size_t s = from <= pos ? from : EucJpStartAtOrBefore(text, pos);
    while (s < pos) s += CharLength(text, s, id);
    return s;
}

std::size_t NextPassPosition(std::string_view before, std::string_view after, std::int64_t change, EncodingId id)
{
    const auto position = static_cast<std::int64_t>(before.size());
    const std::int64_t target = std::max<std::int64_t>(0, position + change + 1);
    if (target < position) return CharStartAtOrAfter(before, static_cast<std::size_t>(target), id, std::string_view::npos);
    std::size_t s = 0;
    const auto want = static_cast<std::size_t>(target - position);
    while (s < want) s += std::max<std::size_t>(1, CharLength(after, s, id));
    return before.size() + s;
}
