#include "Encoding.h"
#include "EncodingBytes.h"
#include "Iso2022Jp.h"

#include "Sjis.h"

#include "Converters.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

using namespace enc;

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

bool IsUnicode(EncodingId id) { return EncodingInfo(id).m_bUnicode; }

// The characters that CP932 and JIS map differently: the JIS form (as
// glibc's JIS converters read it) and the Microsoft form (as CP932 reads it).
struct FoldPair {
    char32_t jis, ms;
};
constexpr FoldPair kFolds[] = {
    {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D}, {0x00A2, 0xFFE0},
    {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2},
};

// The codes of those six in EUC-JP, read as Unix tools read them.
struct UnixPair {
    unsigned char b1, b2;
    char32_t unix;
};
constexpr UnixPair kUnixReadings[] = {
    {0xA1, 0xC1, 0x301C}, {0xA1, 0xC2, 0x2016}, {0xA1, 0xDD, 0x2212},
    {0xA1, 0xF1, 0x00A2}, {0xA1, 0xF2, 0x00A3}, {0xA2, 0xCC, 0x00AC},
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

bool Decode(std::string_view in, EncodingId from, std::size_t base, std::string& utf8, CConvertError* error);

// Input offset of the character whose UTF-8 form starts at utf8Offset:
// decodes again into exactly that many bytes of room.
std::size_t InputOffsetOf(std::string_view in, EncodingId from, std::size_t utf8Offset)
{
    if (from == EncodingId::Utf8) return utf8Offset;
    if (from == EncodingId::Iso2022Jp) {
        jis::CDecoded decoded;
        if (!jis::Decode(in, true, decoded, nullptr)) return 0;
        auto it = std::lower_bound(decoded.m_marks.begin(), decoded.m_marks.end(), utf8Offset,
                                   [](const jis::CMark& m, std::size_t o) { return static_cast<std::size_t>(m.m_nPass) < o; });
        return it == decoded.m_marks.end() ? in.size() : static_cast<std::size_t>(it->m_nFile);
    }
    if (from == EncodingId::EucJp) {  // character by character, as Decode reads them
        std::size_t i = 0, decoded = 0;
        std::string one;
        while (i < in.size() && decoded < utf8Offset) {
            const std::size_t n = std::max<std::size_t>(1, CharLength(in, i, from));
            if (!Decode(in.substr(i, n), from, 0, one, nullptr)) break;
            decoded += one.size();
            i += n;
        }
        return i;
    }
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
bool DecodeIconv(std::string_view in, EncodingId from, std::size_t base, std::string& utf8, CConvertError* error,
                 const CIconv* shared = nullptr);

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
    if (from == EncodingId::Iso2022Jp) {
        jis::CDecoded decoded;
        if (!jis::Decode(in, true, decoded, error)) {
            if (error) error->m_nOffset += base;
            return false;
        }
        utf8 = std::move(decoded.m_text);
        return true;
    }
    if (from != EncodingId::EucJp) return DecodeIconv(in, from, base, utf8, error);
    // EUC-JP: the six codes Unix tools read otherwise, the rest by the converter.
    std::string out, run;
    std::size_t from0 = 0;
    const CIconv cd("UTF-8", ConverterName(from));
    auto flush = [&](std::size_t to) {
        if (!DecodeIconv(in.substr(from0, to - from0), from, base + from0, run, error, &cd)) {
            if (error) error->m_nLine = LineAt(in, error->m_nOffset - base);
            return false;
        }
        out += run;
        return true;
    };
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t n = std::max<std::size_t>(1, CharLength(in, i, EncodingId::EucJp));
        const char32_t unix = n == 2 ? UnixReading(static_cast<unsigned char>(in[i]), static_cast<unsigned char>(in[i + 1])) : 0;
        if (unix) {
            if (!flush(i)) return false;
            AppendUtf8(out, unix);
            from0 = i + 2;
        }
        i += n;
    }
    if (!flush(in.size())) return false;
    utf8 = std::move(out);
    return true;
}

bool DecodeIconv(std::string_view in, EncodingId from, std::size_t base, std::string& utf8, CConvertError* error,
                 const CIconv* shared)
{
    using Kind = CConvertError::Kind;
    std::optional<CIconv> own;
    if (!shared) own.emplace("UTF-8", ConverterName(from));
    const CIconv& cd = shared ? *shared : *own;
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
    for (const CEncodingInfo& row : kEncodings) {
        if (s == Squeeze(row.m_option)) return row.m_id;
        for (std::string_view rest = row.m_aliases; !rest.empty();) {
            const std::size_t space = rest.find(' ');
            if (s == rest.substr(0, space)) return row.m_id;
            rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
        }
    }
    return std::nullopt;
}

const char* OptionName(EncodingId id) { return EncodingInfo(id).m_option.data(); }

std::string DisplayName(const CEncoding& encoding)
{
    std::string name(EncodingInfo(encoding.m_id).m_display);
    if (encoding.m_bBom && !ByteOrderMark(encoding.m_id).empty()) name += " BOM";
    return name;
}

std::string_view ByteOrderMark(EncodingId id) { return EncodingInfo(id).m_bom; }

std::string_view WithoutByteOrderMark(std::string_view bytes, const CEncoding& encoding)
{
    const std::string_view bom = ByteOrderMark(encoding.m_id);
    if (encoding.m_bBom && !bom.empty() && bytes.starts_with(bom)) bytes.remove_prefix(bom.size());
    return bytes;
}

const char* ConverterName(EncodingId id) { return EncodingInfo(id).m_pszConverter; }

// ---- Conversion ---------------------------------------------------------------

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
    for (const CEncodingInfo& row : kEncodings) {
        if (row.m_id == EncodingId::Utf8) continue;
        CIconv in("UTF-8", row.m_pszConverter);
        CIconv out(row.m_pszConverter, "UTF-8");
        if (!in.Ok() || !out.Ok()) return false;
    }
    return true;
}

char32_t UnixReading(unsigned char b1, unsigned char b2)
{
    for (const UnixPair& u : kUnixReadings) {
        if (u.b1 == b1 && u.b2 == b2) return u.unix;
    }
    return 0;
}

// ---- The pass -----------------------------------------------------------------

EncodingId PassEncoding(EncodingId id) { return EncodingInfo(id).m_pass; }

std::size_t CharLength(std::string_view text, std::size_t pos, EncodingId id)
{
    if (pos >= text.size()) return 0;
    Bytes const p = Begin(text) + pos;
    Bytes const end = Begin(text) + text.size();
    const unsigned c = *p;
    if (c < 0x80) return 1;
    switch (id) {
    case EncodingId::Utf8: {
        if (IsCommonUtf8Triple(p, text.size() - pos)) return 3;
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
