// Detection of damaged, short and wide texts: rates over generated words and
// prose, and the cases that decide between readings.
#include "Encoding.h"
#include "Rewrite.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

using E = EncodingId;
constexpr CEncoding kUtf8{E::Utf8, false};

// A generated word in EUC-JP: one or two first-level kanji, or two to four
// hiragana, or two to five katakana with a long mark.
std::string EucWord(std::uint32_t& seed)
{
    auto draw = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    std::string word;
    const unsigned kind = draw(10);
    if (kind < 6) {
        for (unsigned i = 0, n = 1 + (draw(100) < 64); i < n; ++i) {
            const unsigned row = 0xB0 + draw(0xCF - 0xB0 + 1);
            word += static_cast<char>(row);
            word += static_cast<char>(0xA1 + draw(row == 0xCF ? 0x33 : 0x5E));
        }
    } else {
        const bool kata = kind >= 8;
        for (unsigned i = 0, n = 2 + draw(kata ? 4 : 3); i < n; ++i) {
            if (kata && i > 0 && draw(5) == 0) word += "\xA1\xBC";
            else word += std::string{kata ? '\xA5' : '\xA4', static_cast<char>(0xA1 + draw(0x53))};
        }
    }
    return word;
}

TEST(DetectTest, OneWordFiles)
{
    int right[3] = {0, 0, 0};
    constexpr int kWords = 400;
    std::uint32_t seed = 11;
    for (int i = 0; i < kWords; ++i) {
        const std::string euc = EucWord(seed);
        const std::string utf8 = Convert(euc, {E::EucJp, false}, kUtf8);
        right[0] += DetectEncoding(euc).m_id == E::EucJp;
        right[1] += DetectEncoding(Convert(utf8, kUtf8, {E::Cp932, false})).m_id == E::Cp932;
        right[2] += DetectEncoding(utf8).m_id == E::Utf8;
    }
    EXPECT_GE(right[0] * 100, kWords * 95) << "EUC-JP";
    EXPECT_GE(right[1] * 100, kWords * 99) << "CP932";
    EXPECT_EQ(right[2], kWords) << "UTF-8";
}

std::size_t InvalidUtf8Bytes(std::string_view s)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); i += std::max<std::size_t>(1, CharLength(s, i, E::Utf8)))
        n += static_cast<unsigned char>(s[i]) >= 0x80 && CharLength(s, i, E::Utf8) == 1 && i + 4 <= s.size();
    return n;
}

TEST(DetectTest, DamagedUtf8StaysUtf8AndUnbroken)
{
    CRuleSet rules;
    int right = 0, total = 0;
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        std::string text = Convert(prose::Generate(40 + seed * 7, seed), {E::Cp932, false}, kUtf8);
        const std::size_t at = (seed * 7919u) % text.size();
        switch (seed % 3) {
        case 0: text.insert(at, 1, '\xE9'); break;                  // a stray Latin-1 byte
        case 1: text.erase(at, CharLength(text, at, E::Utf8) - 1); break;  // a character cut
        default: text[at] = static_cast<char>(0x80 | seed); break;  // a byte overwritten
        }
        CTextEncoding found;
        CByteString pass;
        ASSERT_TRUE(ToPassText(text, found, pass));
        right += found.m_file == kUtf8;
        ++total;
        const std::size_t before = InvalidUtf8Bytes(pass);
        RewriteText(rules, pass, seed, {.m_nLevel = 4, .m_encoding = found.m_pass});
        EXPECT_LE(InvalidUtf8Bytes(pass), before) << text;
    }
    EXPECT_GE(right * 100, total * 95);
}

TEST(DetectTest, DecidesBetweenReadings)
{
    const std::string kana = "\xCA\xDE\xB8\xDE";  // ﾊﾞｸﾞ, also valid EUC-JP
    const std::pair<std::string, CEncoding> cases[] = {
        // Not valid as CP932: EUC-JP, however much half-width katakana weighs.
        {kana + kana + kana + "\xB1\xFD", {E::EucJp, false}},
        {"\xC3\xEA\xBE\xDD", {E::EucJp, false}},                  // 抽象
        {"\xC6\xFC\xC9\xD5", {E::EucJp, false}},                  // 日付
        {"\xB7\xEB\xB6\xC9", {E::EucJp, false}},                  // 結局
        {"\xE0\xA1\xE0\xA1", {E::Cp932, false}},                  // a tie
        {"\xB1", {E::Cp932, false}},
        {"\xE3\x81\x8B\xE3\x80\x81\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88\xE3\x81\x8A\xE3\x81", kUtf8},
        {"\xE3\x81\x8B\xE3\x80\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86" "ASCII", kUtf8},  // か、 cut
        {"caf\xE9 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", kUtf8},
        {std::string("A\0\x42\x30\x0A\0", 6), {E::Utf16Le, false}},
        {std::string("\0A\x30\x42\0\x0A", 6), {E::Utf16Be, false}},
        {"\x42\x30\x44\x30", kUtf8},                              // as plausible ASCII
        {std::string("\xFF\xFE\0\0A\0\0\0", 8), {E::Utf16Le, true}},
        {std::string("\0\0\xFE\xFF\0\0\0A", 8), {E::Utf16Be, false}},
        {"\x1B$A\x30\x21\x1B(B", {E::Iso2022Jp, false}},
        {"\x1B$(C\x30\x21\x1B(B", {E::Iso2022Jp, false}},
        {"\x1B.A\x1BNi", {E::Iso2022Jp, false}},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(DisplayName(DetectEncoding(bytes)), DisplayName(expected)) << bytes;
    // A UTF-32 mark is refused, not read as UTF-16.
    for (const auto& bytes : {std::string("\xFF\xFE\0\0A\0\0\0", 8), std::string("\0\0\xFE\xFF\0\0\0A", 8)}) {
        CByteString text;
        CTextEncoding encoding;
        CConvertError error;
        EXPECT_FALSE(ToPassText(bytes, encoding, text, &error));
        EXPECT_EQ(Facts(error), "UTF-32");
    }
}

}  // namespace
