#include "Iso2022Jp.h"

#include "EncodingBytes.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

namespace jis {

namespace {

using namespace enc;

constexpr char kEsc = '\x1B', kSo = '\x0E', kSi = '\x0F';

struct SetInfo {
    Set set;
    const char* escape;     // after ESC
    const char* converter;  // iconv name of its EUC form; nullptr: EUC-JP bytes as they stand
    unsigned char prefix;   // byte before the EUC form (0: none)
    int width;              // bytes a character
};
constexpr SetInfo kSets[] = {
    {Set::Ascii, "(B", nullptr, 0, 1},          {Set::Roman, "(J", nullptr, 0, 1},
    {Set::Kana, "(I", nullptr, 0x8E, 1},        {Set::Jis1978, "$@", nullptr, 0, 2},
    {Set::Jis0208, "$B", nullptr, 0, 2},        {Set::Jis0212, "$(D", nullptr, 0x8F, 2},
    {Set::Gb2312, "$A", "EUC-CN", 0, 2},        {Set::Ksc5601, "$(C", "EUC-KR", 0, 2},
    {Set::Jis2000, "$(O", "EUC-JISX0213", 0, 2}, {Set::Jis2004, "$(Q", "EUC-JISX0213", 0, 2},
    {Set::Jis0213P2, "$(P", "EUC-JISX0213", 0x8F, 2},
};

const SetInfo& Info(Set set) { return kSets[static_cast<int>(set)]; }

constexpr std::uint32_t Bit(Set set) { return 1u << static_cast<int>(set); }

// Other spellings of the designations above.
struct Alias {
    const char* escape;
    Set set;
};
constexpr Alias kAliases[] = {{"$(B", Set::Jis0208}, {"$(@", Set::Jis1978}, {"(H", Set::Roman}};

void Fail(CConvertError* error, CConvertError::Kind kind, std::string_view file, std::size_t at)
{
    if (error) *error = {kind, at, LineAt(file, at), 0, EncodingId::Iso2022Jp, EncodingId::Utf8};
}

// One iconv converter, opened on first use; converts whole short inputs.
class CConverter {
public:
    CConverter(const char* to, const char* from) : m_to(to), m_from(from) {}
    ~CConverter()
    {
        if (m_cd != kNone) iconv_close(m_cd);
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;
    bool Run(std::string_view in, std::string& out)
    {
        if (m_cd == kNone && (m_cd = iconv_open(m_to, m_from)) == kNone) return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string src(in);
        out.assign(in.size() * 4 + 16, '\0');
        char* ip = src.data();
        std::size_t il = src.size();
        char* op = out.data();
        std::size_t ol = out.size();
        if (iconv(m_cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0 ||
            iconv(m_cd, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1))
            return false;
        out.resize(out.size() - ol);
        return true;
    }

private:
    inline static const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
    const char* m_to;
    const char* m_from;
    iconv_t m_cd = kNone;
};

// One character as decoded: its bytes in EUC-JP (native) or UTF-8.
struct Unit {
    std::int64_t file;
    CState state;
    std::uint32_t offset;  // in the pool
    std::uint8_t length;
    bool native;
};

// Parses the escape at `p` (after ESC). Returns its length after ESC, 0 when unknown.
std::size_t ParseEscape(std::string_view rest, CState& state, bool& singleShift)
{
    singleShift = false;
    for (const SetInfo& info : kSets) {
        if (rest.starts_with(info.escape)) {
            state.m_g0 = info.set;
            return std::string_view(info.escape).size();
        }
    }
    for (const Alias& alias : kAliases) {
        if (rest.starts_with(alias.escape)) {
            state.m_g0 = alias.set;
            return std::string_view(alias.escape).size();
        }
    }
    if (rest.starts_with(")I") || rest.starts_with("&@")) return 2;  // G1 katakana for SO; a version prefix
    if (rest.size() >= 2 && rest[0] == '.' && (rest[1] == 'A' || rest[1] == 'F')) {
        state.m_cG2 = rest[1];
        return 2;
    }
    if (rest.starts_with("N") && state.m_cG2 != 0) {
        singleShift = true;
        return 1;
    }
    return 0;
}

}  // namespace

bool Decode(std::string_view file, bool utf8, CDecoded& out, CConvertError* error)
{
    using Kind = CConvertError::Kind;
    std::vector<Unit> units;
    std::string pool;
    CState state;
    std::int64_t start = 0;  // where the next character's bytes begin
    CState startState;
    bool allNative = true;
    std::array<std::unique_ptr<CConverter>, std::size(kSets)> converters;
    CConverter latin("UTF-8", "ISO-8859-1"), greek("UTF-8", "ISO-8859-7");
    std::string piece;
    auto add = [&](std::string_view bytes, bool native) {
        units.push_back({start, startState, static_cast<std::uint32_t>(pool.size()),
                         static_cast<std::uint8_t>(bytes.size()), native});
        pool.append(bytes);
        allNative = allNative && native;
    };
    Bytes const b = Begin(file);
    std::size_t i = 0;
    while (i < file.size()) {
        const char c = file[i];
        if (c == kEsc) {
            bool single = false;
            const std::size_t n = ParseEscape(file.substr(i + 1), state, single);
            if (n == 0) return Fail(error, Kind::InvalidInput, file, i), false;
            i += 1 + n;
            if (!single) continue;
            // ESC N: one character of the high half in G2.
            if (i == file.size()) return Fail(error, Kind::IncompleteInput, file, i), false;
            if (!In(b[i], 0x20, 0x7F)) return Fail(error, Kind::InvalidInput, file, i - 2), false;
            const char high = static_cast<char>(b[i] | 0x80);
            if (!(state.m_cG2 == 'A' ? latin : greek).Run(std::string_view(&high, 1), piece))
                return Fail(error, Kind::InvalidInput, file, i - 2), false;
            add(piece, false);
            ++i;
        } else if (c == kSo || c == kSi) {
            state.m_bShifted = c == kSo;
            ++i;
            continue;
        } else if (b[i] >= 0x80) {
            return Fail(error, Kind::InvalidInput, file, i), false;
        } else if (b[i] <= 0x20 || b[i] == 0x7F) {
            // Controls and spaces stand for themselves in every set; a line
            // ends in ASCII, as the writers that leave it out assume.
            add(file.substr(i, 1), true);
            ++i;
            if (c == '\n') state.m_g0 = Set::Ascii, state.m_bShifted = false;
        } else {
            const SetInfo& info = Info(state.m_bShifted ? Set::Kana : state.m_g0);
            if (i + static_cast<std::size_t>(info.width) > file.size())
                return Fail(error, Kind::IncompleteInput, file, i), false;
            if (info.width == 2 && !In(b[i + 1], 0x21, 0x7E)) return Fail(error, Kind::InvalidInput, file, i), false;
            if (info.set == Set::Kana && !In(b[i], 0x21, 0x5F)) return Fail(error, Kind::InvalidInput, file, i), false;
            std::string euc;
            if (info.prefix) euc += static_cast<char>(info.prefix);
            for (int k = 0; k < info.width; ++k)
                euc += static_cast<char>(info.width == 2 || info.prefix ? b[i + k] | 0x80 : b[i + k]);
            if (info.set == Set::Roman && (c == '\\' || c == '~')) {
                add(c == '\\' ? "\xC2\xA5" : "\xE2\x80\xBE", false);
            } else if (info.converter) {
                auto& cd = converters[static_cast<std::size_t>(info.set)];
                if (!cd) cd = std::make_unique<CConverter>("UTF-8", info.converter);
                if (!cd->Run(euc, piece)) return Fail(error, Kind::InvalidInput, file, i), false;
                add(piece, false);
            } else {
                add(euc, true);
            }
            i += static_cast<std::size_t>(info.width);
        }
        start = static_cast<std::int64_t>(i);
        startState = state;
    }
    out.m_marks.clear();
    out.m_marks.reserve(units.size() + 1);
    if (allNative && !utf8) {
        for (const Unit& u : units) out.m_marks.push_back({u.offset, u.file, u.state});
        out.m_marks.push_back({static_cast<std::int64_t>(pool.size()), start, startState});
        out.m_text = std::move(pool);
        out.m_pass = EncodingId::EucJp;
        return true;
    }
    // UTF-8: runs of EUC-JP characters converted at once, one character each.
    std::string text;
    for (std::size_t u = 0; u < units.size();) {
        std::size_t v = u + 1;
        if (units[u].native) {
            while (v < units.size() && units[v].native) ++v;
            const std::size_t from = units[u].offset, to = units[v - 1].offset + units[v - 1].length;
            CConvertError failure;
            if (!ConvertText(std::string_view(pool).substr(from, to - from), {EncodingId::EucJp, false},
                             {EncodingId::Utf8, false}, piece, &failure)) {
                const std::size_t at = from + failure.m_nOffset;
                std::size_t bad = u;
                while (bad + 1 < v && units[bad + 1].offset <= at) ++bad;
                return Fail(error, Kind::InvalidInput, file, static_cast<std::size_t>(units[bad].file)), false;
            }
            std::size_t k = 0;
            for (std::size_t w = u; w < v; ++w) {
                out.m_marks.push_back({static_cast<std::int64_t>(text.size() + k), units[w].file, units[w].state});
                k += CharLength(piece, k, EncodingId::Utf8);
            }
            text += piece;
        } else {
            out.m_marks.push_back({static_cast<std::int64_t>(text.size()), units[u].file, units[u].state});
            text.append(pool, units[u].offset, units[u].length);
        }
        u = v;
    }
    out.m_marks.push_back({static_cast<std::int64_t>(text.size()), start, startState});
    out.m_text = std::move(text);
    out.m_pass = EncodingId::Utf8;
    return true;
}

namespace {

// Writes what moves the state `at` to `want`.
void Shift(CState& at, const CState& want, std::string& out)
{
    if (want.m_cG2 != at.m_cG2 && want.m_cG2 != 0) {
        out += kEsc;
        out += '.';
        out += want.m_cG2;
    }
    at.m_cG2 = want.m_cG2 != 0 ? want.m_cG2 : at.m_cG2;
    if (want.m_g0 != at.m_g0) {
        out += kEsc;
        out += Info(want.m_g0).escape;
    }
    if (want.m_bShifted != at.m_bShifted) out += want.m_bShifted ? kSo : kSi;
    at.m_g0 = want.m_g0;
    at.m_bShifted = want.m_bShifted;
}

// The 7-bit bytes of one character in `set`, from its EUC form.
std::string Seven(std::string_view euc, const SetInfo& info)
{
    std::string out;
    for (std::size_t k = info.prefix ? 1 : 0; k < euc.size(); ++k) out += static_cast<char>(euc[k] & 0x7F);
    return out;
}

// The first character of UTF-8 text, 0 when it is invalid.
char32_t FirstChar(std::string_view utf8)
{
    bool cut = false;
    const int len = utf8.empty() ? 0 : Utf8Sequence(Begin(utf8), Begin(utf8) + utf8.size(), cut);
    if (len <= 0) return 0;
    char32_t c = static_cast<unsigned char>(utf8[0]) & (0xFF >> (len == 1 ? 1 : len + 1));
    for (int k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[static_cast<std::size_t>(k)]) & 0x3F);
    return c;
}

class CWriter {
public:
    explicit CWriter(const CState& from) : m_state(from) {}

    // One character in the set given, its 7-bit bytes.
    void Put(Set set, std::string_view seven, std::string& out)
    {
        CState want = m_state;
        if (set == Set::Kana && m_state.m_bShifted) {
            out += seven;
            return;
        }
        want.m_bShifted = false;
        const bool same = set == m_state.m_g0 || (set == Set::Jis0208 && m_state.m_g0 == Set::Jis1978) ||
                          (set == Set::Jis2004 && m_state.m_g0 == Set::Jis2000) ||
                          (set == Set::Ascii && m_state.m_g0 == Set::Roman && seven != "\\" && seven != "~");
        if (!same) want.m_g0 = set;
        Shift(m_state, want, out);
        out += seven;
    }
    void PutHigh(char g2, char seven, std::string& out)
    {
        CState want = m_state;
        want.m_cG2 = g2;
        Shift(m_state, want, out);
        out += kEsc;
        out += 'N';
        out += seven;
    }
    void LineEnded() { m_state.m_g0 = Set::Ascii, m_state.m_bShifted = false; }
    CState& State() { return m_state; }

private:
    CState m_state;
};

}  // namespace

std::uint32_t SetsOf(const std::vector<CMark>& marks)
{
    std::uint32_t sets = Bit(Set::Ascii) | Bit(Set::Roman) | Bit(Set::Kana) | Bit(Set::Jis1978) | Bit(Set::Jis0208);
    for (const CMark& m : marks) {
        sets |= Bit(m.m_state.m_g0) | (m.m_state.m_g0 == Set::Jis2000 ? Bit(Set::Jis2004) : 0);
        if (m.m_state.m_cG2) sets |= m.m_state.m_cG2 == 'A' ? kG2Latin : kG2Greek;
    }
    return sets;
}

bool Encode(std::string_view text, EncodingId pass, const CState& from, const CState& to, std::uint32_t allowed,
            std::string& out, std::size_t& failedAt, char32_t& failedChar)
{
    auto may = [allowed](Set set) { return (allowed & Bit(set)) != 0; };
    CWriter writer(from);
    CConverter jisOnly("UTF-8", "EUC-JP");  // JIS X 0208 and 0212 proper, no NEC or IBM extensions
    CConverter toX0213("EUC-JISX0213", "UTF-8"), toGb("EUC-CN", "UTF-8"), toKsc("EUC-KR", "UTF-8");
    CConverter toLatin("ISO-8859-1", "UTF-8"), toGreek("ISO-8859-7", "UTF-8");
    std::string euc, back;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = std::max<std::size_t>(1, CharLength(text, i, pass));
        const std::string_view ch = text.substr(i, n);
        const unsigned c = static_cast<unsigned char>(ch[0]);
        failedAt = i;
        failedChar = c < 0x80 ? c : 0;  // 0: bytes invalid in the pass encoding
        if (c == 0x1B || c == 0x0E || c == 0x0F) return false;
        if (c < 0x80) {
            // Lines end in ASCII; other controls stand for themselves in any set.
            if ((c < 0x20 || c == 0x7F) && c != '\r' && c != '\n') out += ch;
            else writer.Put(Set::Ascii, ch, out);
            if (c == '\n') writer.LineEnded();
            i += n;
            continue;
        }
        // The character in EUC-JP, when the pass is not EUC-JP already.
        std::string_view e = ch;
        if (pass == EncodingId::Utf8) {
            failedChar = FirstChar(ch);
            if (failedChar == 0) return false;
            if (failedChar == 0xA5 || failedChar == 0x203E) {
                writer.Put(Set::Roman, failedChar == 0xA5 ? "\\" : "~", out);
                i += n;
                continue;
            }
            CConvertError ignored;
            e = {};
            if (ConvertText(ch, {EncodingId::Utf8, false}, {EncodingId::EucJp, false}, euc, &ignored)) e = euc;
        }
        if (!e.empty() && static_cast<unsigned char>(e[0]) != 0x8E && !jisOnly.Run(e, back)) {
            if (pass == EncodingId::EucJp) {  // name the character
                std::string utf8;
                if (ConvertText(e, {EncodingId::EucJp, false}, {EncodingId::Utf8, false}, utf8)) failedChar = FirstChar(utf8);
            }
            e = {};
        }
        const unsigned lead = e.empty() ? 0 : static_cast<unsigned char>(e[0]);
        if (lead == 0x8E && e.size() == 2) writer.Put(Set::Kana, Seven(e, Info(Set::Kana)), out);
        else if (lead == 0x8F && e.size() == 3 && may(Set::Jis0212)) writer.Put(Set::Jis0212, Seven(e, Info(Set::Jis0212)), out);
        else if (In(lead, 0xA1, 0xFE) && e.size() == 2) writer.Put(Set::Jis0208, Seven(e, Info(Set::Jis0208)), out);
        else if (pass == EncodingId::Utf8 && may(Set::Jis2004) && toX0213.Run(ch, back) && back.size() == 2 &&
                 static_cast<unsigned char>(back[0]) >= 0xA1)
            writer.Put(Set::Jis2004, Seven(back, Info(Set::Jis2004)), out);
        else if (pass == EncodingId::Utf8 && may(Set::Jis0213P2) && toX0213.Run(ch, back) && back.size() == 3)
            writer.Put(Set::Jis0213P2, Seven(back, Info(Set::Jis0213P2)), out);
        else if (pass == EncodingId::Utf8 && may(Set::Gb2312) && toGb.Run(ch, back) && back.size() == 2)
            writer.Put(Set::Gb2312, Seven(back, Info(Set::Gb2312)), out);
        else if (pass == EncodingId::Utf8 && may(Set::Ksc5601) && toKsc.Run(ch, back) && back.size() == 2)
            writer.Put(Set::Ksc5601, Seven(back, Info(Set::Ksc5601)), out);
        else if (pass == EncodingId::Utf8 && (allowed & kG2Latin) && toLatin.Run(ch, back) && back.size() == 1)
            writer.PutHigh('A', static_cast<char>(back[0] & 0x7F), out);
        else if (pass == EncodingId::Utf8 && (allowed & kG2Greek) && toGreek.Run(ch, back) && back.size() == 1)
            writer.PutHigh('F', static_cast<char>(back[0] & 0x7F), out);
        else
            return false;
        i += n;
    }
    Shift(writer.State(), to, out);
    return true;
}

}  // namespace jis
