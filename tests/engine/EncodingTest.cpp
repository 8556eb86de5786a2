// Encodings: names, detection on generated prose, checked conversion,
// folding and character stepping.
#include "Encoding.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

namespace {

using E = EncodingId;
constexpr CEncoding kUtf8{E::Utf8, false};


TEST(EncodingTest, ConverterHoldsEveryEncoding)
{
    EXPECT_TRUE(ConvertersAvailable());
}

TEST(EncodingTest, Names)
{
    const std::pair<const char*, std::optional<E>> cases[] = {
        {"cp932", E::Cp932},        {"Shift_JIS", E::Cp932},   {"SJIS", E::Cp932},          {"shift-jis", E::Cp932},
        {"Windows-31J", E::Cp932},  {"MS932", E::Cp932},       {"utf-8", E::Utf8},          {"UTF8", E::Utf8},
        {"euc-jp", E::EucJp},       {"eucJP", E::EucJp},       {"EUC-JP-MS", E::EucJp},     {"iso-2022-jp", E::Iso2022Jp},
        {"ISO2022JP", E::Iso2022Jp}, {"utf-16le", E::Utf16Le}, {"UTF16BE", E::Utf16Be},     {"auto", std::nullopt},
        {"utf-16", std::nullopt},   {"latin1", std::nullopt},  {"", std::nullopt},          {"cp9322", std::nullopt},
    };
    for (const auto& [name, id] : cases) EXPECT_EQ(ParseEncodingName(name), id) << name;
    EXPECT_TRUE(IsAutoEncodingName("AUTO"));
    EXPECT_FALSE(IsAutoEncodingName("autos"));

    const std::pair<CEncoding, const char*> shown[] = {
        {{E::Cp932, false}, "Shift_JIS"},   {{E::Utf8, false}, "UTF-8"},       {{E::Utf8, true}, "UTF-8 BOM"},
        {{E::EucJp, false}, "EUC-JP"},      {{E::Iso2022Jp, false}, "ISO-2022-JP"},
        {{E::Utf16Le, true}, "UTF-16LE BOM"}, {{E::Utf16Be, false}, "UTF-16BE"},
    };
    for (const auto& [encoding, name] : shown) EXPECT_EQ(DisplayName(encoding), name);
    for (const CEncodingInfo& row : kEncodings)
        EXPECT_EQ(ParseEncodingName(row.m_option), row.m_id) << row.m_option;
}

// The same prose in every encoding, cut at character boundaries to at most
// `bytes` bytes (0: whole).
std::string Sample(const std::string& utf8, CEncoding to, std::size_t bytes)
{
    const std::string whole = Convert(utf8, kUtf8, to);
    if (bytes == 0 || whole.size() <= bytes) return whole;
    std::size_t lo = 0, hi = utf8.size();  // longest UTF-8 prefix whose form fits
    while (lo < hi) {
        std::size_t mid = (lo + hi + 1) / 2;
        while (mid > lo && !IsCharStart(utf8, mid, E::Utf8)) --mid;
        if (mid == lo) break;
        if (Convert(utf8.substr(0, mid), kUtf8, to).size() <= bytes) lo = mid;
        else hi = mid - 1;
    }
    return Convert(utf8.substr(0, lo), kUtf8, to);
}

// Half-width katakana words with ASCII between them: the text most likely to
// be valid as both CP932 and EUC-JP.
std::string HalfWidthProse(std::size_t bytes, std::uint32_t seed)
{
    // Words of an even number of bytes, so that runs between spaces read as EUC-JP too.
    static const char* const kWords[] = {"ｺﾝﾋﾟｭｰﾀｰ", "ﾃﾞｰﾀ", "ﾌｧｲﾙ", "ｼｽﾃﾑ", "ｱﾘｶﾞﾄｳ", "ｹﾞｰﾑ", "ﾊﾞｸﾞ", "ﾃﾞﾝﾜ",
                                         "ｶﾀｶﾅ",     "ﾆｭｰｽ", "ｵﾊﾖｳ", "ｻﾖﾅﾗ", "ﾒﾓﾘｰ",   "OK",   "123",  "No.5"};
    std::string out;
    while (out.size() < bytes * 2) {
        seed = seed * 1103515245u + 12345u;
        out += kWords[(seed >> 16) % (sizeof kWords / sizeof kWords[0])];
        out += (seed >> 8) % 5 == 0 ? "\r\n" : " ";
    }
    return out;
}

TEST(EncodingTest, DetectsGeneratedProse)
{
    const std::pair<CEncoding, const char*> encodings[] = {
        {{E::Cp932, false}, "cp932"},     {{E::Utf8, false}, "utf-8"},        {{E::Utf8, true}, "utf-8 bom"},
        {{E::EucJp, false}, "euc-jp"},    {{E::Iso2022Jp, false}, "iso-2022-jp"},
        {{E::Utf16Le, true}, "utf-16le"}, {{E::Utf16Be, true}, "utf-16be"},
    };
    constexpr int kSeeds = 150;
    for (const std::size_t bytes : {std::size_t(50), std::size_t(200), std::size_t(1000), std::size_t(0)}) {
        for (const auto& [encoding, name] : encodings) {
            for (bool halfWidth : {false, true}) {
                int right = 0, total = 0;
                for (std::uint32_t seed = 1; seed <= kSeeds; ++seed) {
                    const std::string utf8 = halfWidth ? HalfWidthProse(bytes ? bytes : 20000, seed)
                                                       : Convert(prose::Generate(bytes ? bytes * 2 : 60000, seed),
                                                                 {E::Cp932, false}, kUtf8);
                    const std::string sample = Sample(utf8, encoding, bytes);
                    const CEncoding found = DetectEncoding(sample);
                    right += found == encoding;
                    ++total;
                    // A CP932 text is never taken for UTF-8.
                    if (encoding.m_id == E::Cp932) {
                        EXPECT_NE(found.m_id, E::Utf8) << sample;
                    }
                    if (bytes == 0 && seed == 3) break;  // whole texts: a few are enough
                }
                const double rate = 100.0 * right / total;
                EXPECT_GE(rate, bytes == 50 ? 98.0 : 100.0)
                    << name << (halfWidth ? " half-width" : "") << " at " << bytes << " bytes";
            }
        }
    }
}

TEST(EncodingTest, DetectsShortAndSpecialTexts)
{
    const std::pair<std::string, CEncoding> cases[] = {
        {"", kUtf8},
        {"plain ASCII\r\n", kUtf8},
        {"ASCII with one caf\xC3\xA9", kUtf8},
        {"price 100\xE5\x86\x86", kUtf8},                       // 円
        {"\x1B[31mred\x1B[0m", kUtf8},                          // terminal colours are no JIS
        {"\x1B$B$\"\x1B(B", {E::Iso2022Jp, false}},             // あ
        {"\x1B(I1\x1B(B", {E::Iso2022Jp, false}},               // ｱ
        {"\xEF\xBB\xBF", {E::Utf8, true}},
        {"\xFF\xFE\x42\x30", {E::Utf16Le, true}},
        {"\xFE\xFF\x30\x42", {E::Utf16Be, true}},
        {"\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", {E::EucJp, false}},  // あいうえお, also valid CP932
        {"\xA5\xAB\xA5\xBF\xA5\xAB\xA5\xCA", {E::EucJp, false}},          // カタカナ, likewise
        {"\xB1\xD8\xB6\xDE\xC4\xB3", {E::Cp932, false}},                  // ｱﾘｶﾞﾄｳ, also valid EUC-JP
        {"\x82\xA0\x82", {E::Cp932, false}},                              // cut short
        {"\xE3\x81\x82\xE3\x81", kUtf8},                                  // cut short
    };
    for (const auto& [bytes, expected] : cases) {
        const CEncoding found = DetectEncoding(bytes);
        EXPECT_EQ(DisplayName(found), DisplayName(expected)) << bytes;
    }
    EXPECT_EQ(EncodingForBytes(E::Utf16Le, "\xFF\xFE\x41\x00"), (CEncoding{E::Utf16Le, true}));
    EXPECT_EQ(EncodingForBytes(E::Cp932, "\xFF\xFE\x41\x00"), (CEncoding{E::Cp932, false}));
}

// The text with the six Microsoft forms in their JIS forms.
std::string JisForms(std::string s)
{
    const std::pair<std::string, std::string> forms[] = {{"～", "〜"}, {"∥", "‖"}, {"－", "−"},
                                                          {"￠", "¢"}, {"￡", "£"}, {"￢", "¬"}};
    for (const auto& [ms, jis] : forms) {
        for (std::size_t i = s.find(ms); i != std::string::npos; i = s.find(ms, i)) s.replace(i, ms.size(), jis);
    }
    return s;
}

TEST(EncodingTest, RoundTripsByteForByte)
{
    // Prose plus the characters that differ between the mappings, NEC and
    // IBM extensions and half-width katakana.
    const std::string common = Convert(prose::Generate(20000, 7), {E::Cp932, false}, kUtf8) +
                               "\r\n～∥－￠￡￢―ｱｲｳﾞ\\~\r\n";
    const CEncoding encodings[] = {{E::Cp932, false}, {E::Utf8, true},     {E::EucJp, false},
                                   {E::Iso2022Jp, false}, {E::Utf16Le, true}, {E::Utf16Be, false}};
    for (const CEncoding& encoding : encodings) {
        // ISO-2022-JP has no NEC or IBM extensions.
        const std::string utf8 = common + (encoding.m_id == E::Iso2022Jp ? "" : "①㈱Ⅹ髙\r\n");
        const std::string bytes = Convert(utf8, kUtf8, encoding);
        const CEncoding pass{PassEncoding(encoding.m_id), false};
        EXPECT_EQ(Convert(Convert(bytes, encoding, pass), pass, encoding), bytes) << DisplayName(encoding);
        EXPECT_EQ(Convert(Convert(bytes, encoding, kUtf8), kUtf8, encoding), bytes) << DisplayName(encoding);
        // EUC-JP and ISO-2022-JP read the six differing characters in their JIS forms.
        const bool unix = encoding.m_id == E::Iso2022Jp || encoding.m_id == E::EucJp;
        EXPECT_EQ(Convert(bytes, encoding, kUtf8), unix ? JisForms(utf8) : utf8) << DisplayName(encoding);
    }
    // Equal encodings give the bytes back, invalid ones included; marks come and go.
    EXPECT_EQ(Convert("\x82\xFF\x80", {E::Cp932, false}, {E::Cp932, false}), "\x82\xFF\x80");
    EXPECT_EQ(Convert("\xEF\xBB\xBF\xC3", {E::Utf8, true}, kUtf8), "\xC3");
    EXPECT_EQ(Convert("a", kUtf8, {E::Utf16Be, true}), std::string("\xFE\xFF\0a", 4));
}

TEST(EncodingTest, FoldsCharactersMappedDifferently)
{
    // Both forms of each pair, and the bytes each legacy target holds them at.
    struct Case {
        const char* jis;
        const char* ms;
        const char* cp932;
        const char* eucJp;
        const char* jisBytes;
    };
    const Case cases[] = {
        {"〜", "～", "81 60", "A1 C1", "21 41"}, {"‖", "∥", "81 61", "A1 C2", "21 42"},
        {"−", "－", "81 7C", "A1 DD", "21 5D"}, {"¢", "￠", "81 91", "A1 F1", "21 71"},
        {"£", "￡", "81 92", "A1 F2", "21 72"}, {"¬", "￢", "81 CA", "A2 CC", "22 4C"},
        {"—", "―", "81 5C", "A1 BD", "21 3D"},
    };
    for (const Case& c : cases) {
        for (const char* form : {c.jis, c.ms}) {
            EXPECT_EQ(Convert(form, kUtf8, {E::Cp932, false}), Hex(c.cp932)) << form;
            EXPECT_EQ(Convert(form, kUtf8, {E::EucJp, false}), Hex(c.eucJp)) << form;
            EXPECT_EQ(Convert(form, kUtf8, {E::Iso2022Jp, false}), "\x1B$B" + Hex(c.jisBytes) + "\x1B(B") << form;
        }
        // Unicode targets keep the two apart.
        EXPECT_NE(Convert(c.jis, kUtf8, {E::Utf16Be, false}), Convert(c.ms, kUtf8, {E::Utf16Be, false}));
    }
}

TEST(EncodingTest, ReportsWhereConversionFails)
{
    using K = CConvertError::Kind;
    struct Case {
        std::string bytes;
        CEncoding from, to;
        K kind;
        std::size_t offset, line;
        char32_t ch;
        const char* message;
    };
    const Case cases[] = {
        {"\xE3\x81\x82\n\xE3\x81\x84\n\xE2\x91\xA0\xF0\x9F\x98\x80x", kUtf8, {E::Cp932, false}, K::Unrepresentable, 11, 3,
         0x1F600, "line 3: U+1F600 cannot be written in Shift_JIS"},
        // Characters that the converter would write as another one.
        {"a\xC2\xA5", kUtf8, {E::Cp932, false}, K::Unrepresentable, 1, 1, 0xA5,
         "line 1: U+00A5 cannot be written in Shift_JIS"},
        {"\xE2\x80\xBE", kUtf8, {E::EucJp, false}, K::Unrepresentable, 0, 1, 0x203E,
         "line 1: U+203E cannot be written in EUC-JP"},
        {"\xE3\x81\x82\n\x1B(B", kUtf8, {E::Iso2022Jp, false}, K::Unrepresentable, 4, 2, 0x1B,
         "line 2: U+001B cannot be written in ISO-2022-JP"},
        // JIS X 0213, which the converter would write.
        {"a\n\xE2\x91\xA0", kUtf8, {E::Iso2022Jp, false}, K::Unrepresentable, 2, 2, 0x2460,
         "line 2: U+2460 cannot be written in ISO-2022-JP"},
        // The first character becomes one byte shorter when folded.
        {"\xA1\xF1\x0A\x41\xF5\xA1", {E::EucJp, false}, {E::Iso2022Jp, false}, K::Unrepresentable, 4, 2, 0xE000,
         "line 2: U+E000 cannot be written in ISO-2022-JP"},
        {std::string("\xFF\xFE\n\0\x00\xD8", 6), {E::Utf16Le, true}, {E::Utf8, false}, K::IncompleteInput, 4, 2, 0,
         "line 2: UTF-16LE text ends inside a character at byte 4"},
        {"ab\r\n\x81\x20", {E::Cp932, false}, kUtf8, K::InvalidInput, 4, 2, 0,
         "line 2: invalid Shift_JIS bytes at byte 4 (81 20)"},
        {"a\xC3\x28", kUtf8, {E::EucJp, false}, K::InvalidInput, 1, 1, 0, "line 1: invalid UTF-8 bytes at byte 1 (C3 28)"},
        {"\x1B$B$", {E::Iso2022Jp, false}, kUtf8, K::IncompleteInput, 3, 1, 0,
         "line 1: ISO-2022-JP text ends inside a character at byte 3"},
    };
    for (const Case& c : cases) {
        std::string out = "kept";
        CConvertError error;
        EXPECT_FALSE(ConvertText(c.bytes, c.from, c.to, out, &error)) << c.message;
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(error.m_eKind, c.kind) << c.message;
        EXPECT_EQ(error.m_nOffset, c.offset) << c.message;
        EXPECT_EQ(error.m_nLine, c.line) << c.message;
        EXPECT_EQ(error.m_cChar, c.ch) << c.message;
        EXPECT_EQ(error.m_from, c.from.m_id) << c.message;
        EXPECT_EQ(error.m_to, c.to.m_id) << c.message;
    }
}

// Character starts as a pattern of '1' (start) and '.' (inside), one mark
// per byte.
TEST(EncodingTest, StepsOverCharacters)
{
    const std::tuple<E, std::string, const char*> cases[] = {
        {E::Utf8, "a\xE3\x81\x82\xC3\xA9\xF0\x9F\x98\x80z", "11..1.1...1"},
        {E::Utf8, "\x80\xE3\x81x\xC3", "11111"},             // stray, cut and lone bytes stand alone
        {E::EucJp, "a\xA4\xA2\x8E\xB1\x8F\xB0\xA1\xA4", "11.1.1..1"},
        {E::EucJp, "\xA4\xA2\xA4z\xA4\xA2\xA4\xA2", "1.111.1."},
        {E::EucJp, "\x8E\xE0\xA1\x8F\xA1z", "11.111"},          // 8E and 8F without their trail bytes
        {E::Cp932, "\x82\xA0\x82", "111"},                     // the pass tries every byte
    };
    for (const auto& [id, text, pattern] : cases) {
        std::string starts, walked(text.size(), '.');
        for (std::size_t i = 0; i < text.size(); ++i) starts += IsCharStart(text, i, id) ? '1' : '.';
        EXPECT_EQ(starts, pattern) << OptionName(id) << " " << pattern;
        if (StepsByCharacter(id)) {
            for (std::size_t i = 0; i < text.size(); i += CharLength(text, i, id)) walked[i] = '1';
            EXPECT_EQ(walked, pattern) << OptionName(id);
        }
        for (std::size_t i = 0; i <= text.size(); ++i) {
            std::size_t next = i;
            while (next < text.size() && pattern[next] != '1') ++next;
            EXPECT_EQ(CharStartAtOrAfter(text, i, id, 0), next) << OptionName(id) << " from 0 at " << i;
            EXPECT_EQ(CharStartAtOrAfter(text, i, id, std::string::npos), next) << OptionName(id) << " at " << i;
        }
    }
    EXPECT_EQ(PassEncoding(E::Iso2022Jp), E::EucJp);
    EXPECT_EQ(PassEncoding(E::Utf16Be), E::Utf8);
    EXPECT_EQ(PassEncoding(E::Cp932), E::Cp932);
}

}  // namespace

// Every row of the table is documented where a user looks for it: in the
// entries of jestcat(1)'s ENCODINGS and the first sentence of jestpad(1)'s
// ENCODINGS and of the README's encodings section.
TEST(EncodingTest, EveryEncodingIsDocumented)
{
    const struct {
        const char *path, *heading, *end;
        bool option;  // names the -e value (else the display name)
    } docs[] = {
        {"cli/jestcat.1", "\n.SH ENCODINGS\n", "\n.PP\n", true},
        {"app/jestpad.1", "\n.SH ENCODINGS\n", ".\n", false},
        {"README.md", "\n## Encodings\n", ". ", false},
    };
    for (const auto& doc : docs) {
        std::ifstream f(std::string(JESTPAD_SOURCE_DIR) + "/" + doc.path, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(f), {}};
        const std::size_t start = text.find(doc.heading);
        ASSERT_NE(start, std::string::npos) << doc.path;
        const std::string listed = text.substr(start, text.find(doc.end, start + 1) - start);
        for (const CEncodingInfo& row : kEncodings) {
            std::string name;
            for (char c : doc.option ? row.m_option : row.m_display)
                name += doc.heading[1] == '.' && c == '-' ? std::string("\\-") : std::string(1, c);  // groff's minus
            EXPECT_NE(listed.find(name), std::string::npos) << doc.path << " does not list " << name << " in:\n" << listed;
        }
    }
}
