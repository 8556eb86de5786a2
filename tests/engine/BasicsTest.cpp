// The oracle's byte string clamping, the generator, levels, the built-in table and the
// rule set's grouping.
#include "Oracle.h"
#include "Random.h"
#include "RuleSet.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::int64_t kHuge = std::numeric_limits<std::int64_t>::max();

struct PartCase {
    const char* what;
    std::int64_t f;
    std::int64_t c;
    const char* expected;
};

TEST(ByteString, LeftAndRightClamp)
{
    const CByteString s = "abcde";
    const PartCase cases[] = {
        {"left -3", -3, 0, ""}, {"left 0", 0, 0, ""}, {"left 2", 2, 0, "ab"},
        {"left 5", 5, 0, "abcde"}, {"left 9", 9, 0, "abcde"}, {"left huge", kHuge, 0, "abcde"},
    };
    for (const auto& c : cases) EXPECT_EQ(oracle::StrLeft(s, c.f), c.expected) << c.what;
    const PartCase rights[] = {
        {"right -1", -1, 0, ""}, {"right 2", 2, 0, "de"}, {"right 5", 5, 0, "abcde"},
        {"right 7", 7, 0, "abcde"}, {"right huge", kHuge, 0, "abcde"},
    };
    for (const auto& c : rights) EXPECT_EQ(oracle::StrRight(s, c.f), c.expected) << c.what;
    EXPECT_EQ(oracle::StrLeft(CByteString(), 3), "");
    EXPECT_EQ(oracle::StrRight(CByteString(), 3), "");
}

TEST(ByteString, MidClamps)
{
    const CByteString s = "abcde";
    const PartCase cases[] = {
        {"inside", 1, 2, "bc"},
        {"negative start taken as 0", -2, 3, "abc"},
        {"negative count taken as 0", 2, -1, ""},
        {"runs past the end", 3, 10, "de"},
        {"starts at the end", 5, 2, ""},
        {"starts past the end", 6, 2, ""},
        {"huge count", 1, kHuge, "bcde"},
        {"huge start", kHuge, kHuge, ""},
        {"whole", 0, 5, "abcde"},
    };
    for (const auto& c : cases) EXPECT_EQ(oracle::StrMid(s, c.f, c.c), c.expected) << c.what;
}

TEST(Generator, ClassicSequences)
{
    const struct {
        std::uint32_t seed;
        std::vector<int> values;
    } cases[] = {
        {1, {41, 18467, 6334, 26500, 19169, 15724}},
        {4, {51, 17945, 27159, 386, 17345, 27504}},
        {0, {38, 7719, 21238, 2437, 8855, 11797}},
    };
    for (const auto& c : cases) {
        jest::srand(c.seed);
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_EQ(jest::rand(), c.values[i]) << "seed " << c.seed << " draw " << i;
    }
    // The state is 32 bits wide: the largest seed wraps, it does not saturate.
    jest::srand(4294967295u);
    const int a = jest::rand();
    jest::srand(4294967295u);
    EXPECT_EQ(jest::rand(), a);
    EXPECT_GE(a, 0);
    EXPECT_LE(a, 32767);
}

TEST(Level, Thresholds)
{
    const int expected[][2] = {{-7, 5}, {0, 5}, {1, 25}, {2, 50}, {3, 75}, {4, 100}, {5, 100}, {99, 100}};
    for (const auto& c : expected) EXPECT_EQ(LevelToThreshold(c[0]), c[1]) << "level " << c[0];
}

TEST(BuiltinRules, TableBytes)
{
    const struct {
        const char* key;
        std::vector<std::pair<int, const char*>> entries;
    } table[] = {
        {"82 DC 82 B7 81 42", {{0, "82 DC 82 B9 82 F1 81 42"}}},
        {"82 C5 82 B7 81 42", {{0, "82 C5 82 CD 82 A0 82 E8 82 DC 82 B9 82 F1 81 42"}}},
        {"81 42", {{1, "81 69 8F CE 81 6A"}, {1, "81 41 82 E2 82 C1 82 D9 81 5B"},
                   {1, "2E 2E 2E 2E 2E 2E"}, {0, "82 CB 81 48"}}},
        {"81 41", {{1, "81 69 97 DC 81 6A"}, {1, "28 5E 5F 5E 3B 29"},
                   {2, "82 C8 82 F1 82 C6"}, {1, "82 BE 82 CB"}}},
        {"82 C8 82 CC 82 C5 81 41", {{1, "82 C6 82 A2 82 A4 82 CC 82 CD 89 52"}}},
        {"82 BE 82 A9 82 E7 81 41", {{0, "82 E4 82 A6 82 C9 81 41"}}},
    };
    const CRuleSet set;
    EXPECT_EQ(set.GetFileName(), "");
    ASSERT_EQ(set.GetGroupCount(), 6);
    for (int g = 0; g < 6; ++g) {
        const CRuleGroup group = set.GetGroup(g);
        const auto& row = table[g];
        EXPECT_EQ(group.GetKey(), Hex(row.key)) << "group " << g + 1;
        ASSERT_EQ(group.GetModes().size(), row.entries.size()) << "group " << g + 1;
        ASSERT_EQ(group.GetTexts().size(), row.entries.size()) << "group " << g + 1;
        for (std::size_t e = 0; e < row.entries.size(); ++e) {
            EXPECT_EQ(group.GetModes()[e], row.entries[e].first) << "group " << g + 1 << " entry " << e;
            EXPECT_EQ(group.GetTexts()[e], Hex(row.entries[e].second)) << "group " << g + 1 << " entry " << e;
        }
    }
    // The same keys read as text.
    EXPECT_EQ(set.GetGroup(1).GetKey(), Sjis("です。"));
    EXPECT_EQ(set.GetGroup(4).GetKey(), Sjis("なので、"));
}

TEST(RuleGroup, AddEntryClampsMode)
{
    CRuleGroup group;
    const int modes[][2] = {{-5, 0}, {0, 0}, {2, 2}, {3, 3}, {7, 3}};
    for (const auto& m : modes) group.AddEntry(m[0], "t");
    ASSERT_EQ(group.GetModes().size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(group.GetModes()[i], modes[i][1]) << "mode " << modes[i][0];
}

TEST(RuleSet, AddRuleGroupsByWholeKey)
{
    CRuleSet set;
    set.SetFileName("rules.txt");
    set.RemoveAllGroups();
    EXPECT_EQ(set.GetGroupCount(), 0);
    EXPECT_EQ(set.GetFileName(), "rules.txt");

    const CByteString desu = Sjis("です。");
    const CByteString maru = Sjis("。");
    set.AddRule(1, maru, "a");
    set.AddRule(0, desu, "b");
    set.AddRule(9, maru, "c");   // joins the first group, mode clamped
    set.AddRule(3, "", "d");      // empty key: its own group
    set.AddRule(2, desu + "\t", "e");  // differs only in a trailing tab
    set.AddRule(2, "", "f");

    const struct {
        CByteString key;
        std::vector<std::pair<int, const char*>> entries;
    } expected[] = {
        {maru, {{1, "a"}, {3, "c"}}},
        {desu, {{0, "b"}}},
        {"", {{3, "d"}, {2, "f"}}},
        {desu + "\t", {{2, "e"}}},
    };
    ASSERT_EQ(set.GetGroupCount(), 4);
    for (int g = 0; g < 4; ++g) {
        const CRuleGroup group = set.GetGroup(g);
        EXPECT_EQ(group.GetKey(), expected[g].key) << "group " << g;
        ASSERT_EQ(group.GetModes().size(), expected[g].entries.size()) << "group " << g;
        for (std::size_t e = 0; e < expected[g].entries.size(); ++e) {
            EXPECT_EQ(group.GetModes()[e], expected[g].entries[e].first);
            EXPECT_EQ(group.GetTexts()[e], expected[g].entries[e].second);
        }
    }
}

// Tens of thousands of keys, each given twice, through AddRule and as a rule
// file: one group per key, in the order of first appearance, the entries in
// the order given. So many new keys, none seen before, that the loader stops
// looking for them among recent keys before the first round ends.
TEST(RuleSet, ManyKeysKeepTheirGroups)
{
    constexpr int kKeys = 70000;
    CRuleSet added;
    added.RemoveAllGroups();
    std::string file;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kKeys; ++i) {
            const std::string key = "k" + std::to_string(i * 7919 % kKeys);
            added.AddRule(round, key, std::to_string(round));
            file += std::string(round == 0 ? "r " : "b ") + key + " " + std::to_string(round) + "\n";
        }
    }
    CRuleSet loaded;
    ASSERT_TRUE(loaded.LoadRuleBytes(file, "many.rules"));
    ASSERT_TRUE(added.PreparePass(EncodingId::Cp932));  // its groups as the pass holds them, each found at once
    for (const CRuleSet* set : {&added, &loaded}) {
        ASSERT_EQ(set->GetGroupCount(), kKeys);
        for (int g = 0; g < kKeys; ++g) {
            const CRuleGroup group = set->GetGroup(g);
            ASSERT_EQ(group.GetKey(), "k" + std::to_string(g * 7919 % kKeys));
            ASSERT_EQ(group.GetModes(), (std::vector<int>{0, 1}));
            ASSERT_EQ(group.GetTexts(), (std::vector<CByteString>{"0", "1"}));
        }
    }
}

TEST(RuleSet, GetGroupReturnsACopy)
{
    CRuleSet set;
    CRuleGroup copy = set.GetGroup(2);
    copy.SetKey("changed");
    copy.AddEntry(0, "more");
    const CRuleGroup inside = set.GetGroup(2);
    EXPECT_EQ(inside.GetKey(), Hex("81 42"));
    EXPECT_EQ(inside.GetModes().size(), 4u);

    // A copied set is independent of the original.
    CRuleSet other = set;
    other.RemoveAllGroups();
    EXPECT_EQ(set.GetGroupCount(), 6);
}

}  // namespace
