// The rule packs of samples/rules: each loads whole and gives its style of
// speech to a sample at level 4, where every rule fires.
#include "Rewrite.h"
#include "RuleSet.h"

#include <gtest/gtest.h>

const CByteString kSample = "私はとても眠いです。本当に寝ます。あなたは元気な人だ。";

const struct {
    const char* file;
    const char* rewritten;
} kPacks[] = {
    {"neko.rules", "私はとても眠いですにゃ。本当に寝ますにゃ。あにゃたは元気にゃ人だにゃ。"},
    {"samurai.rules", "拙者はとても眠いでござる。本当に寝まする。そなたは元気な人でござる。"},
    {"kansai.rules", "私はめっちゃ眠いやで。ほんまに寝まっせ。あなたは元気な人や。"},
    {"ojousama.rules", "わたくしはとても、とっても眠いですわ。本当に寝ますの。そちら様は元気な人ですわね。"},
};

TEST(RulePacks, EachLoadsAndSpeaksItsStyle)
{
    for (const auto& pack : kPacks) {
        SCOPED_TRACE(pack.file);
        CRuleSet rules;
        ASSERT_TRUE(rules.LoadRuleFile(std::string(JESTPAD_RULE_PACKS) + "/" + pack.file));
        CByteString text = kSample;
        ASSERT_TRUE(RewriteText(rules, text, 1, {4, false, false, EncodingId::Utf8}));
        EXPECT_EQ(text, pack.rewritten);
    }
}
