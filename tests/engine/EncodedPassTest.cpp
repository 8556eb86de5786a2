// Rewriting text in UTF-8 and EUC-JP: the same characters as in CP932, rule
// files in another encoding than the text, rules left out and reported,
// empty keys between characters only.
#include "Encoding.h"
#include "Oracle.h"
#include "Rewrite.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using E = EncodingId;
constexpr CEncoding kUtf8{E::Utf8, false};


// Rewrites UTF-8 text as `id` bytes and gives the result in UTF-8; the
// oracle must agree.
std::string RewriteAs(const CRuleSet& rules, const std::string& utf8, E id, std::uint32_t seed, int level)
{
    CByteString text = Convert(utf8, {E::Utf8}, {id});
    CRewriteOptions options;
    options.m_nLevel = level;
    options.m_encoding = id;
    const auto slow = oracle::RewriteText(rules, text, seed, options);
    RewriteText(rules, text, seed, options);
    EXPECT_EQ(text, slow.text) << OptionName(id);
    return Convert(text, {id}, {E::Utf8});
}

TEST(EncodedPass, SameCharactersInEveryEncoding)
{
    const CRuleSet builtin;
    // Both worked examples, then generated prose (no key across characters).
    struct Case {
        std::uint32_t seed;
        int level;
        std::string text;
        std::string expected;  // empty: the CP932 result
    };
    std::vector<Case> cases = {
        {1, 2, "雨です。", "雨ではありません（笑）。"},
        {4, 4, "ね。", "ね、なんとやっほー（笑）。"},
    };
    for (std::uint32_t seed = 1; seed <= 40; ++seed)
        cases.push_back({seed, static_cast<int>(seed % 5), Convert(prose::Generate(3000, seed), {E::Cp932}, {E::Utf8}), ""});
    for (const Case& c : cases) {
        const std::string expected = c.expected.empty() ? RewriteAs(builtin, c.text, E::Cp932, c.seed, c.level) : c.expected;
        for (E id : {E::Cp932, E::Utf8, E::EucJp})
            EXPECT_EQ(RewriteAs(builtin, c.text, id, c.seed, c.level), expected) << OptionName(id) << " seed " << c.seed;
    }
}

TEST(EncodedPass, RuleFileInAnotherEncoding)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::string ruleFile;  // bytes
        E held;                // the encoding the set keeps
        E text;
        const char* expected;  // UTF-8, from "ね〜。ね、ゃ" at level 4, seed 1
    };
    // 〜 U+301C, ～ U+FF5E; ゃ (E3 82 83) would hide the space after it from a
    // search that steps over CP932 characters.
    const std::string rules = "b 。 （笑）\r\nr 〜 ～！\r\nd 、 \r\nr ゃ ャ\r\n";
    const Case cases[] = {
        {"utf8.rules", rules, E::Utf8, E::Cp932, "ね～！（笑）。ねャ"},
        // CP932 reads 0x8160 as U+FF5E, and UTF-8 text keeps the two apart.
        {"cp932.rules", Convert(rules, {E::Utf8}, {E::Cp932}), E::Cp932, E::Utf8, "ね〜（笑）。ねャ"},
        // EUC-JP text reads 0xA1C1 as U+301C, as Unix tools do; either form of a rule matches it.
        {"cp932-euc.rules", Convert(rules, {E::Utf8}, {E::Cp932}), E::Cp932, E::EucJp, "ね〜！（笑）。ねャ"},
        {"utf16.rules", "\xFF\xFE" + Convert(rules, {E::Utf8}, {E::Utf16Le}), E::Utf8, E::EucJp, "ね〜！（笑）。ねャ"},
        {"jis.rules", Convert(rules, {E::Utf8}, {E::Iso2022Jp}), E::EucJp, E::Cp932, "ね～！（笑）。ねャ"},
    };
    for (const Case& c : cases) {
        CRuleSet set;
        ASSERT_TRUE(set.LoadRuleFile(dir.Write(c.name, c.ruleFile))) << c.name;
        EXPECT_EQ(set.GetEncoding(), c.held) << c.name;
        EXPECT_EQ(RewriteAs(set, "ね〜。ね、ゃ", c.text, 1, 4), c.expected) << c.name;
    }
    // A named encoding skips detection: these CP932 bytes also read as EUC-JP.
    CRuleSet set;
    const std::string kana = Convert("b ｱ ｲ\n", {E::Utf8}, {E::Cp932});
    ASSERT_TRUE(set.LoadRuleFile(dir.Write("kana.rules", kana), E::EucJp));
    EXPECT_EQ(set.GetEncoding(), E::EucJp);
    EXPECT_EQ(set.GetGroup(0).GetKey(), "\xB1");
}

// Keys and texts whose ASCII runs end at every length around the eight
// bytes that the conversion reads and copies at a time come out whole.
TEST(EncodedPass, AsciiRunsOfEveryLengthConvertWhole)
{
    std::string file;
    std::vector<std::pair<CByteString, CByteString>> expected;
    for (int n = 0; n < 20; ++n) {
        const std::string run(static_cast<std::size_t>(n), static_cast<char>('a' + n));
        file += "b " + run + "。" + run + " " + run + "\n";
        expected.emplace_back(Convert(run + "。" + run, {E::Utf8}, {E::Cp932}), run);
    }
    CRuleSet set;
    ASSERT_TRUE(set.LoadRuleBytes(file, "r", E::Utf8, E::Cp932));
    std::vector<std::pair<CByteString, CByteString>> got;
    for (const CRuleGroup& g : set.GetPassGroups(E::Cp932))
        got.emplace_back(g.GetKey(), g.GetTexts().at(0));
    EXPECT_EQ(got, expected);
}

// Keys that only the conversion makes equal share the group of the first,
// with the entries in the order of the groups they come from.
TEST(EncodedPass, KeysThatBecomeEqualShareAGroup)
{
    using Groups = std::vector<std::pair<std::string, std::vector<std::string>>>;
    struct Case {
        std::string rules;
        E file, text;
        Groups expected;  // keys and texts in the text's encoding
    };
    const Case cases[] = {
        // 〜 and ～ are both 0x8160 in CP932.
        {"b 〜 A\nb x B\nb ～ C\n", E::Utf8, E::Cp932, {{"\x81\x60", {"A", "C"}}, {"x", {"B"}}}},
        // NEC's 0x8790 and JIS's 0x81E0 are both U+2252.
        {"b \x87\x90 A\nb x B\nb \x81\xE0 C\nb \x87\x90 D\n", E::Cp932, E::Utf8,
         {{"≒", {"A", "D", "C"}}, {"x", {"B"}}}},
        {"b \x81\x60 A\nb \x81\x5B B\n", E::Cp932, E::Utf8, {{"～", {"A"}}, {"ー", {"B"}}}},
    };
    for (const Case& c : cases) {
        CRuleSet set;
        ASSERT_TRUE(set.LoadRuleBytes(c.rules, "x.rules", c.file, c.text)) << c.rules;
        Groups groups;
        for (const CRuleGroup& g : set.GetPassGroups(c.text)) groups.emplace_back(g.GetKey(), g.GetTexts());
        EXPECT_EQ(groups, c.expected) << c.rules;
    }
}

TEST(EncodedPass, RulesThatCannotBeExpressedAreLeftOut)
{
    TempDir dir;
    const std::string path = dir.Write("x.rules", "b 。 （笑）\nc\na 😀 x\nb 、 ¥\nr あ い\nb あ ①\nr \xFF y\n");
    CRuleSet set;
    ASSERT_TRUE(set.LoadRuleFile(path, E::Utf8));
    CByteString text = Sjis("あ。、");
    CRewriteOptions options;
    options.m_nLevel = 4;
    RewriteText(set, text, 1, options);
    const std::vector<CLeftOutRule> expected = {
        {3, U'\U0001F600', E::Cp932}, {4, U'\u00A5', E::Cp932}, {7, std::nullopt, E::Cp932}};
    EXPECT_EQ(set.LeftOutRules(E::Cp932), expected);
    EXPECT_EQ(Convert(text, {E::Cp932}, {E::Utf8}), "①あ（笑）。、");
    // None in the rules' own encoding, nor where every rule can be expressed.
    EXPECT_TRUE(set.LeftOutRules(E::Utf8).empty());
    // Prepared once, the same facts.
    ASSERT_TRUE(set.PreparePass(E::Cp932));
    EXPECT_EQ(set.LeftOutRules(E::Cp932), expected);
}

// Rules loaded ready for a text in another encoding still serve their own.
TEST(EncodedPass, RulesReadiedForAnotherEncodingServeTheirOwn)
{
    const std::string rules = "b 。 （笑）\nr 、 ね\nb x y\n";
    for (const std::string& file : {rules, std::string("b x y\nr xx z\n")}) {
        CRuleSet plain, readied;
        ASSERT_TRUE(plain.LoadRuleBytes(file, "r", E::Utf8));
        ASSERT_TRUE(readied.LoadRuleBytes(file, "r", E::Utf8, E::Cp932));
        for (E text : {E::Cp932, E::Utf8, E::EucJp})
            EXPECT_EQ(RewriteAs(readied, "xあ。、x", text, 3, 4), RewriteAs(plain, "xあ。、x", text, 3, 4)) << OptionName(text);
        ASSERT_TRUE(readied.PreparePass(E::Utf8));
        EXPECT_EQ(RewriteAs(readied, "xあ。、x", E::Utf8, 3, 4), RewriteAs(plain, "xあ。、x", E::Utf8, 3, 4));
    }
}

// Rules loaded ready for text in another encoding group as rules prepared
// later do: a key on lines far apart (20,000 keys between out of order, last
// one that takes its recent-key slot in the loader), rules left out, keys
// the conversion folds, rules that convert to themselves.
TEST(EncodedPass, RulesReadiedAtLoadGroupAsPreparedLater)
{
    const auto apart = [](const std::string& key, const char* suffix) {
        std::string lines;
        for (int n = 0; n < 20000; ++n)
            lines += "b k" + std::to_string(n * 7919 % 20000) + suffix + " " + std::to_string(n) + "\n";
        for (int i = 0;; ++i) {
            const std::string twin = "t" + std::to_string(i) + suffix;
            if (((CKeyTable::Hash(twin) ^ CKeyTable::Hash(key)) & 0xFFFF) == 0)
                return lines + "r " + twin + " t\n";
        }
    };
    const std::string rules[] = {
        "b あ。 1\n" + apart("あ。", "。") + "a あ。 2\n",
        "b あ。 1\n" + apart("あ。", "。") + "a あ。 2\nr k5。 😀\nr 😀 a\nr 🙂 b\nb 😀 c\n",
        "b あ。 1\n" + apart("", "。") + "r k5。 😀\n",
        "b 〜 1\n" + apart("〜", "。") + "b ～ 2\nr 〜 3\n",
        "c ― ascii\nb x 1\n" + apart("x", "") + "a x 2\n",
    };
    const auto groups = [](const CRuleSet& set, E text) {
        std::vector<std::tuple<CByteString, std::vector<int>, std::vector<CByteString>>> out;
        for (const CRuleGroup& g : set.GetPassGroups(text))
            out.emplace_back(g.GetKey(), g.GetModes(), g.GetTexts());
        return out;
    };
    for (const std::string& file : rules) {
        SCOPED_TRACE(file.substr(0, 12));
        CRuleSet readied, own, later;  // for CP932 text, for UTF-8 text, for none
        ASSERT_TRUE(readied.LoadRuleBytes(file, "r", E::Utf8, E::Cp932) &&
                    own.LoadRuleBytes(file, "r", E::Utf8, E::Utf8));
        ASSERT_TRUE(later.LoadRuleBytes(file, "r", E::Utf8) && later.PreparePass(E::Cp932));
        EXPECT_EQ(groups(readied, E::Utf8), groups(later, E::Utf8));
        EXPECT_EQ(groups(own, E::Utf8), groups(later, E::Utf8));
        EXPECT_EQ(groups(readied, E::Cp932), groups(later, E::Cp932));
        EXPECT_EQ(readied.LeftOutRules(E::Cp932), later.LeftOutRules(E::Cp932));
        const std::string text = "xあ。k5。k19999。k5 〜～k12345。";
        EXPECT_EQ(RewriteAs(readied, text, E::Cp932, 5, 4), RewriteAs(later, text, E::Cp932, 5, 4));
    }
}

TEST(EncodedPass, EmptyKeyNeverSplitsACharacter)
{
    CRuleSet set;
    set.RemoveAllGroups();
    set.SetEncoding(E::Utf8);
    set.AddRule(kModeInsertBefore, "", "|");
    for (E id : {E::Utf8, E::EucJp})
        EXPECT_EQ(RewriteAs(set, "あéｱb", id, 1, 4), "|あ|é|ｱ|b|") << OptionName(id);
}

}  // namespace
