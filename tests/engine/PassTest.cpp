// The rewriting pass: the worked examples, single positions (negative ones,
// empty keys, several groups), the draws it makes and the bound on endless
// chains. The fast pass and the oracle are held to the same expectations.
#include "KeyIndex.h"
#include "Oracle.h"
#include "Random.h"
#include "RuleSet.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <tuple>

namespace {

std::vector<CRuleGroup> GroupsOf(const CRuleSet& set)
{
    std::vector<CRuleGroup> groups;
    groups.reserve(static_cast<std::size_t>(set.GetGroupCount()));
    for (int i = 0; i < set.GetGroupCount(); ++i) groups.push_back(set.GetGroup(i));
    return groups;
}

// The value the generator gives after `draws` draws from the seed. It reseeds
// the generator, so callers read their own next draw first.
int DrawAfter(std::uint32_t seed, int draws)
{
    jest::srand(seed);
    for (int i = 0; i < draws; ++i) jest::rand();
    return jest::rand();
}

using PassFn = void (*)(const CRuleSet&, CByteString&, int);
void FastPass(const CRuleSet& set, CByteString& text, int threshold) { set.TransformText(text, threshold); }
void OraclePass(const CRuleSet& set, CByteString& text, int threshold) { oracle::TransformText(set, text, threshold); }
const std::pair<const char*, PassFn> kPasses[] = {{"fast", FastPass}, {"oracle", OraclePass}};

TEST(Pass, WorkedExamplesAndDrawCounts)
{
    const struct {
        std::uint32_t seed;
        int level;
        const char* text;
        const char* expected;
        int draws;
    } cases[] = {
        {1, 2, "雨です。", "雨ではありません（笑）。", 4},
        {4, 4, "ね。", "ね、なんとやっほー（笑）。", 6},
        {1, 4, "", "", 0},
        {1, 4, "雨が降る", "雨が降る", 0},
        {7, 0, "ですか", "ですか", 0},
    };
    const CRuleSet builtin;
    for (const auto& [name, pass] : kPasses) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.text);
            CByteString text = Sjis(c.text);
            jest::srand(c.seed);
            pass(builtin, text, LevelToThreshold(c.level));
            EXPECT_EQ(text, Sjis(c.expected));
            const int next = jest::rand();
            EXPECT_EQ(next, DrawAfter(c.seed, c.draws));
        }
    }
}

TEST(Pass, NoGroupsDrawNothing)
{
    const CRuleSet empty = MakeRules({});
    for (const auto& [name, pass] : kPasses) {
        CByteString text = "abc";
        jest::srand(3);
        pass(empty, text, 100);
        EXPECT_EQ(text, "abc") << name;
        const int next = jest::rand();
        EXPECT_EQ(next, DrawAfter(3, 0)) << name;
    }
}

TEST(Pass, ApplyAtOnePosition)
{
    const struct {
        const char* what;
        std::vector<Rule> rules;
        CByteString text;
        std::int64_t position;
        CByteString expected;
        std::int64_t result;
    } cases[] = {
        {"replace", {{0, "ab", "X"}}, "abcd", 0, "Xcd", -1},
        {"replace at -1 removes k-1 bytes", {{0, "ab", "X"}}, "abcd", -1, "Xbcd", 0},
        {"replace at -3 removes nothing", {{0, "ab", "X"}}, "abcd", -3, "Xabcd", 1},
        {"insert before at -1", {{1, "ab", "X"}}, "abcd", -1, "Xabcd", 1},
        {"insert after", {{2, "ab", "X"}}, "abcd", 0, "abXcd", 1},
        {"insert after at -1 lands after k-1 bytes", {{2, "ab", "X"}}, "abcd", -1, "aXbcd", 1},
        {"insert after at -2 lands at the start", {{2, "ab", "X"}}, "abcd", -2, "Xabcd", 1},
        {"delete", {{3, "ab", ""}}, "abcd", 0, "cd", -2},
        {"delete at -1 removes k-1 bytes", {{3, "ab", ""}}, "abcd", -1, "bcd", -1},
        {"delete at -2 removes nothing", {{3, "ab", ""}}, "abcd", -2, "abcd", 0},
        {"negative position compares the first k bytes", {{3, "bc", ""}}, "abcd", -1, "abcd", 0},
        {"key ending at the end matches", {{3, "cd", ""}}, "abcd", 2, "ab", -2},
        {"key cut off by the end does not", {{3, "de", ""}}, "abcd", 3, "abcd", 0},
        {"key longer than the text does not", {{3, "abcde", ""}}, "abcd", -1, "abcd", 0},
        {"empty key at the end", {{1, "", "X"}}, "abcd", 4, "abcdX", 1},
        {"empty key replaces nothing", {{0, "", "X"}}, "abcd", 2, "abXcd", 1},
        {"empty key deletes nothing", {{3, "", "X"}}, "abcd", 2, "abcd", 0},
        {"empty key at a negative position", {{2, "", "X"}}, "ab", -1, "Xab", 1},
        {"empty key past the end appends", {{0, "", "X"}}, "ab", 5, "abX", 1},
        {"past the end, a later key compares at the position once the text reaches it",
         {{0, "", "XYZ"}, {3, "Y", ""}}, "ab", 3, "abXZ", -1},
        {"non-empty key past the end does not match", {{3, "b", ""}}, "ab", 3, "ab", 0},
        {"later group sees the rewritten text; last result counts",
         {{1, "b", "a"}, {3, "a", ""}}, "xb", 1, "xb", -1},
        {"earlier group does not see a later rewrite", {{3, "a", ""}, {1, "b", "a"}}, "xb", 1, "xab", 1},
        {"odd byte offset in double-byte text", {{0, Hex("81 42"), Hex("82 CB 81 48")}}, Hex("83 81 42"), 1,
         Hex("83 82 CB 81 48"), 2},
        {"shorter replacement", {{0, "abc", ""}}, "abcd", 0, "d", -3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CRuleSet set = MakeRules(c.rules);
        CByteString fast = c.text;
        EXPECT_EQ(set.ApplyAt(fast, c.position, 100), c.result);
        EXPECT_EQ(fast, c.expected);
        CByteString slow = c.text;
        EXPECT_EQ(oracle::ApplyAt(GroupsOf(set), slow, c.position, 100), c.result);
        EXPECT_EQ(slow, c.expected);
    }
}

// The scan steps over pairs of bytes where no key starts: a one-byte key
// starts a pair whatever byte follows it, 0x00 and 0xFF included.
TEST(Pass, OneByteKeyFiresBeforeAnyByte)
{
    const CRuleSet set = MakeRules({{3, "a", ""}});
    for (const CByteString& next : {CByteString(1, '\0'), CByteString("\xFF"), CByteString("\x81")}) {
        CByteString text = "xa" + next + "y";
        jest::srand(1);
        set.TransformText(text, 100);
        EXPECT_EQ(text, "x" + next + "y") << static_cast<int>(static_cast<unsigned char>(next[0]));
    }
}

// The key index is built once and kept: every change of the rules must make
// the next pass see them, in the set changed and in no other.
TEST(Pass, KeyIndexFollowsEveryChange)
{
    TempDir dir;
    const std::string file = dir.Write("r.rules", "d b \r\n");
    CRuleSet set = MakeRules({{3, "a", ""}});
    const auto pass = [](const CRuleSet& rules) {
        CByteString text = "abcabc";
        jest::srand(1);
        rules.TransformText(text, 100);
        return text;
    };
    EXPECT_EQ(pass(set), "bcbc");
    const CRuleSet copy = set;
    const struct {
        const char* what;
        void (*change)(CRuleSet&, const std::string&);
        const char* expected;
    } steps[] = {
        {"AddRule, new key", [](CRuleSet& r, const std::string&) { r.AddRule(3, "c", ""); }, "bb"},
        {"AddRule, longer key", [](CRuleSet& r, const std::string&) { r.AddRule(0, "bc", "Z"); }, "ZZ"},
        {"load", [](CRuleSet& r, const std::string& f) { ASSERT_TRUE(r.LoadRuleFile(f)); }, "acac"},
        {"RemoveAllGroups", [](CRuleSet& r, const std::string&) { r.RemoveAllGroups(); }, "abcabc"},
        {"assignment", [](CRuleSet& r, const std::string&) { r = MakeRules({{1, "c", "Y"}}); }, "abYcabYc"},
    };
    for (const auto& step : steps) {
        step.change(set, file);
        EXPECT_EQ(pass(set), step.expected) << step.what;
        EXPECT_EQ(pass(copy), "bcbc") << step.what;
    }
}

TEST(Pass, DrawsAtEveryMatchEvenWithOneEntry)
{
    // Seed 1 draws 41 first: at threshold 40 the match does not fire and
    // makes one draw; at 50 it fires and draws the entry as well.
    const CRuleSet set = MakeRules({{3, "a", ""}});
    const struct {
        int threshold;
        const char* expected;
        std::int64_t result;
        int draws;
    } cases[] = {{40, "ab", 0, 1}, {50, "b", -1, 2}};
    for (const auto& c : cases) {
        CByteString text = "ab";
        jest::srand(1);
        EXPECT_EQ(set.ApplyAt(text, 0, c.threshold), c.result);
        EXPECT_EQ(text, c.expected);
        const int next = jest::rand();
        EXPECT_EQ(next, DrawAfter(1, c.draws)) << "threshold " << c.threshold;
    }
}

// "xyxy..." of n bytes: the x/y chain's text.
CByteString Alternating(std::int64_t n)
{
    CByteString s;
    for (std::int64_t i = 0; i < n; ++i) s.push_back(i % 2 ? 'y' : 'x');
    return s;
}

TEST(Pass, GrowingChainStopsAtLengthBound)
{
    // x inserts y before it, y inserts x before it: every position the text
    // grows by two bytes, without end but for the bound. The firing that would
    // pass the bound does not happen.
    const CRuleSet set = MakeRules({{1, "x", "y"}, {1, "y", "x"}});
    const std::int64_t bound = PassBound(1);
    for (const auto& [name, pass] : kPasses) {
        SCOPED_TRACE(name);
        CByteString text = "x";
        jest::srand(5);
        pass(set, text, 100);
        EXPECT_EQ(text, Alternating(bound - 2) + "yx");
    }
    // Below the bound nothing differs: at threshold 50 the chain dies out,
    // and both passes agree draw for draw.
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
        CByteString fast = "xyzx";
        CByteString slow = fast;
        jest::srand(seed);
        set.TransformText(fast, 50);
        const int afterFast = jest::rand();
        jest::srand(seed);
        oracle::TransformText(set, slow, 50);
        EXPECT_EQ(fast, slow) << "seed " << seed;
        EXPECT_EQ(afterFast, jest::rand()) << "seed " << seed;
        EXPECT_LT(static_cast<std::int64_t>(fast.size()), PassBound(4));
    }
}

TEST(Pass, LimitStopsEarlierWithTheSameDraws)
{
    // Every position of the x/y chain fires both groups (four draws) and adds
    // two bytes, as long as the text stays within the limit; the firing that
    // would pass it draws but does not happen. Without a chain the limit
    // counts the positions tried.
    const CRuleSet set = MakeRules({{1, "x", "y"}, {1, "y", "x"}});
    const struct {
        const char* text;
        std::int64_t limit;
        CByteString expected;
        bool whole;
        int draws;
    } cases[] = {{"x", 0, "x", false, 2},
                 {"x", 7, Alternating(7), false, 14},
                 {"x", 8, Alternating(6) + "yx", false, 16},
                 {"x", 100, Alternating(98) + "yx", false, 200},
                 {"x", -1, Alternating(4126) + "yx", false, 8256},
                 {"x", 9000, Alternating(4126) + "yx", false, 8256},
                 {"abc", 4, "abc", true, 0},
                 {"abc", 3, "abc", false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " limit " + std::to_string(c.limit));
        for (const auto& [name, pass] : kPasses) {
            SCOPED_TRACE(name);
            CByteString text = c.text;
            jest::srand(5);
            bool whole = true;
            if (pass == FastPass)
                whole = set.TransformText(text, 100, EncodingId::Cp932, c.limit);
            else
                oracle::TransformText(set, text, 100, EncodingId::Cp932, c.limit);
            const int next = jest::rand();
            EXPECT_EQ(text, c.expected);
            EXPECT_EQ(next, DrawAfter(5, c.draws));
            if (pass == FastPass) {
                EXPECT_EQ(whole, c.whole);
            }
        }
    }
}

TEST(Pass, OneLongFiringStaysWithinTheBound)
{
    // A firing whose text alone would pass the bound (PassBound or a tighter
    // limit) does not happen: the text stays as it was and the pass says it
    // stopped. Within the bound it fires. The text: "ab" and 200 more bytes.
    const struct {
        int mode;
        std::size_t rule;
        std::int64_t limit;
        bool fires;
    } cases[] = {{0, 5000, -1, true},      {2, 5000, -1, true},  {0, 20000, -1, false}, {2, 20000, -1, false},
                 {0, 5000, 5201, true},    {0, 5000, 5200, false}, {2, 5000, 5202, true}, {2, 5000, 5201, false}};
    const CByteString tail(200, 'z');
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " rule " + std::to_string(c.rule) + " limit " +
                     std::to_string(c.limit));
        const CByteString big(c.rule, 'Q');
        const CRuleSet set = MakeRules({{c.mode, "b", big}});
        const CByteString expected = !c.fires ? "ab" + tail : c.mode == 0 ? "a" + big + tail : "ab" + big + tail;
        CByteString fast = "ab" + tail;
        CByteString slow = fast;
        jest::srand(3);
        EXPECT_EQ(set.TransformText(fast, 100, EncodingId::Cp932, c.limit), c.fires);
        const int next = jest::rand();
        jest::srand(3);
        oracle::TransformText(set, slow, 100, EncodingId::Cp932, c.limit);
        EXPECT_TRUE(fast == expected) << fast.size() << " bytes";
        EXPECT_TRUE(slow == expected) << slow.size() << " bytes";
        EXPECT_EQ(next, jest::rand());
    }
}

TEST(Pass, LimitWithinAQuietStretchStopsThere)
{
    // A deletion moves the scan back over 19 positions, so that 69 positions
    // have been tried when the first k is reached: a limit shorter than that
    // stops inside the stretch where no key starts, exactly at its count.
    const CRuleSet set = MakeRules({{3, CByteString(20, 'D'), ""}, {1, "k", "Q"}});
    const CByteString input = CByteString(19, 'a') + CByteString(20, 'D') + CByteString(30, 'a') + "kk";
    const struct {
        std::int64_t limit;
        const char* tail;
    } cases[] = {{40, "kk"}, {69, "kk"}, {70, "Qkk"}, {71, "QkQk"}};
    for (const auto& c : cases) {
        for (const EncodingId id : {EncodingId::Cp932, EncodingId::Utf8}) {
            SCOPED_TRACE(std::string(OptionName(id)) + " limit " + std::to_string(c.limit));
            CByteString fast = input;
            CByteString slow = input;
            jest::srand(4);
            EXPECT_FALSE(set.TransformText(fast, 100, id, c.limit));
            const int next = jest::rand();
            jest::srand(4);
            oracle::TransformText(set, slow, 100, id, c.limit);
            EXPECT_EQ(fast, CByteString(49, 'a') + c.tail);
            EXPECT_EQ(slow, fast);
            EXPECT_EQ(next, jest::rand());
        }
    }
}

TEST(Pass, LimitCountsTheGroupsLookedUp)
{
    // Three keys stand at most places of the text and each firing looks them
    // up again: 16 groups looked up and 6 draws per place, fewer near the end
    // (142 in all). A limit stops the pass past 8 lookups per byte of it.
    const CRuleSet set = MakeRules({{1, "a", ""}, {1, "aa", ""}, {1, "aaa", ""}});
    const struct {
        std::int64_t limit;
        bool whole;
        int draws;
    } cases[] = {{12, false, 42}, {20, true, 54}, {-1, true, 54}};
    for (const auto& c : cases) {
        CByteString text = "aaaaaaaaaa";
        jest::srand(2);
        EXPECT_EQ(set.TransformText(text, 100, EncodingId::Cp932, c.limit), c.whole) << "limit " << c.limit;
        const int next = jest::rand();
        EXPECT_EQ(text, "aaaaaaaaaa");
        EXPECT_EQ(next, DrawAfter(2, c.draws)) << "limit " << c.limit;
    }
}

TEST(Pass, StandingChainStopsAtPositionBound)
{
    // y inserts x before it and x deletes it again: the text never grows and
    // the scan never advances, so only the bound on positions tried ends it.
    // Positions before the loop count as tried although nothing matches there.
    const CRuleSet set = MakeRules({{1, "y", "x"}, {3, "x", ""}});
    const struct {
        const char* text;
        std::int64_t quietPositions;
    } cases[] = {{"y", 0}, {"yaaaa", 0}, {"aaaay", 4}, {"abababababy", 10}};
    for (const auto& [name, pass] : kPasses) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.text);
            CByteString text = c.text;
            const std::int64_t bound = PassBound(static_cast<std::int64_t>(text.size()));
            jest::srand(9);
            pass(set, text, LevelToThreshold(4));
            EXPECT_EQ(text, c.text);
            // Every position tried at the loop fires both groups: four draws.
            const int next = jest::rand();
            EXPECT_EQ(next, DrawAfter(9, static_cast<int>(4 * (bound - c.quietPositions))));
        }
    }
}

TEST(Pass, OrdinaryProseNeverMeetsTheBound)
{
    // Only full stops: the text that grows most with the built-in rules.
    CByteString text;
    for (int i = 0; i < 2000; ++i) text += Sjis("。");
    const CRuleSet builtin;
    for (int level = 0; level <= 4; ++level) {
        CByteString fast = text;
        CByteString slow = text;
        jest::srand(static_cast<std::uint32_t>(level) + 11);
        builtin.TransformText(fast, LevelToThreshold(level));
        jest::srand(static_cast<std::uint32_t>(level) + 11);
        oracle::TransformText(builtin, slow, LevelToThreshold(level));
        EXPECT_EQ(fast, slow) << "level " << level;
        EXPECT_LT(static_cast<std::int64_t>(fast.size()), 16 * static_cast<std::int64_t>(text.size()))
            << "level " << level;
    }
}

}  // namespace

namespace {

// Keys over four bytes; `stems` of them start with one of two eight-byte
// stems, so that long runs of keys agree on their first eight bytes.
std::vector<std::string> SharingKeys(std::mt19937& gen, std::size_t count, bool stems)
{
    const char alphabet[] = {'a', '\x82', '\xA0', '\xFF'};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        std::string key(stems ? gen() % 9 : 1 + gen() % 12, 'a');
        for (char& c : key) c = alphabet[gen() % 4];
        out.push_back(stems ? std::string(gen() % 2 ? "\x82\xA0\x82\xA0" "aaaa" : "\x82\xA0\x82\xA0" "aaa\xFF") + key : key);
    }
    return out;
}

// Keys written one after another in one block, and the group of each as a
// map numbers them by first appearance.
struct WrittenKeys {
    std::string bytes;
    std::vector<CKeySpan> keys;
    std::map<std::string, std::uint32_t> first;  // key to its group
    std::vector<std::uint32_t> groupOf;
};

WrittenKeys Write(const std::vector<std::string>& written)
{
    WrittenKeys out;
    for (const std::string& key : written) {
        out.keys.push_back({static_cast<std::uint32_t>(out.bytes.size()), static_cast<std::uint32_t>(key.size())});
        out.bytes += key;
        out.groupOf.push_back(out.first.emplace(key, static_cast<std::uint32_t>(out.first.size())).first->second);
    }
    return out;
}

// Thousands of distinct keys sharing their first bytes at every depth, and
// past the first eight, as few as sort in place and as many as sort through
// scratch: the index must find exactly the keys that a plain lookup of every
// piece of the text finds, in ascending group order.
TEST(KeyIndex, ManyKeysSharingBeginningsMatchAsPlainComparison)
{
    for (const auto& [stems, count] : {std::pair(false, 6000), std::pair(true, 6000), std::pair(true, 20000)}) {
        std::mt19937 gen(4242);
        auto bytes = std::make_shared<std::string>();
        std::vector<CKeySpan> keys;
        std::map<std::string, int> groupOf;
        for (const std::string& key : SharingKeys(gen, 4 * count, stems)) {
            if (keys.size() == static_cast<std::size_t>(count) || !groupOf.emplace(key, keys.size()).second) continue;
            keys.push_back({static_cast<std::uint32_t>(bytes->size()), static_cast<std::uint32_t>(key.size())});
            *bytes += key;
        }
        ASSERT_EQ(keys.size(), static_cast<std::size_t>(count));
        const CKeyIndex index(bytes, keys);
        std::string text;
        while (text.size() < 4000) text += stems && gen() % 3 == 0 ? std::string("\x82\xA0\x82\xA0" "aaaa") : std::string(1, "a\x82\xA0\xFF"[gen() % 4]);
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        for (std::size_t pos = 0; pos < text.size(); ++pos) {
            std::vector<int> expected, got;
            for (std::size_t n = 0; n <= 16 && pos + n <= text.size(); ++n) {
                if (const auto it = groupOf.find(text.substr(pos, n)); it != groupOf.end()) expected.push_back(it->second);
            }
            std::sort(expected.begin(), expected.end());
            index.Matches(p + pos, static_cast<std::int64_t>(text.size() - pos), got);
            ASSERT_EQ(got, expected) << "at " << pos << (stems ? " with stems" : "");
        }
    }
}

// Keys drawn again and again from a few thousand, sharing long beginnings:
// equal keys share a group, numbered by first appearance, and the groups
// come in the order of their keys. Also drawn in order but for two keys
// that differ only past their first eight bytes.
TEST(KeyIndex, GroupKeysAsAMapWould)
{
    for (const bool nearlyInOrder : {false, true}) {
        std::mt19937 gen(77);
        const std::vector<std::string> pool = SharingKeys(gen, 3000, true);
        std::vector<std::string> drawn;
        for (int i = 0; i < 20000; ++i) drawn.push_back(pool[gen() % pool.size()]);
        if (nearlyInOrder) {
            std::sort(drawn.begin(), drawn.end());
            const auto pair = std::adjacent_find(drawn.begin(), drawn.end(), [](const auto& a, const auto& b) { return a != b; });
            std::iter_swap(pair, pair + 1);
        }
        const WrittenKeys keys = Write(drawn);
        const CKeyGroups groups = GroupKeys(keys.bytes, keys.keys);
        EXPECT_EQ(groups.m_arrGroupOf, keys.groupOf);
        std::vector<std::uint32_t> sorted, got;
        for (const auto& [key, group] : keys.first)
            sorted.push_back(group);
        for (const CSortedKey& g : groups.m_sorted) got.push_back(g.m_nKey);
        EXPECT_EQ(got, sorted) << (nearlyInOrder ? "nearly in order" : "drawn at random");
    }
}

// Many distinct keys, shuffled, in shapes whose first eight bytes differ in
// few bits (digits, kana) or in many, beside lengths alike or spread: the
// sort gives each key's number, length and first eight bytes in the order
// std::sort gives the keys.
TEST(KeyIndex, SortKeysAsStdSortWouldInEveryShape)
{
    const std::string digits = "0123456789", sixteen = "0123456789:;<=>?", any("a\0\x82\xFF", 4);
    std::string trail;  // of the hiragana in Shift-JIS
    for (int c = 0x9F; c <= 0xF1; ++c)
        trail += static_cast<char>(c);
    struct Shape {
        const char* name;
        std::vector<std::string> alphabets;  // a key's c-th byte drawn from the c-th
        int spread;                          // then 'x' and up to spread more
    };
    const std::vector<std::string> seven(7, sixteen);
    const Shape shapes[] = {
        {"digits", std::vector<std::string>(6, digits), 0},
        {"sixteen values, 28 bits and 4 of length", seven, 15},
        {"sixteen values, 28 bits and 5 of length", seven, 31},
        {"sixteen values, then thirty-two: 33 bits",
         {sixteen, sixteen, sixteen, sixteen, sixteen, sixteen, sixteen, "@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"},
         0},
        {"kana", {"\x82", trail, "\x82", trail, "\x82", trail, "\x82", trail}, 0},
        {"any byte", std::vector<std::string>(9, any), 3}};
    for (const Shape& shape : shapes) {
        std::mt19937 gen(5);
        std::set<std::string> unique;
        while (unique.size() < 20000) {
            std::string key;
            for (const std::string& alphabet : shape.alphabets)
                key += alphabet[gen() % alphabet.size()];
            unique.insert(key + std::string(shape.spread > 0 ? 1 + gen() % (shape.spread + 1) : 0, 'x'));
        }
        std::vector<std::string> drawn(unique.begin(), unique.end());
        std::shuffle(drawn.begin(), drawn.end(), gen);
        const WrittenKeys keys = Write(drawn);
        std::vector<std::tuple<std::uint64_t, std::uint32_t, std::uint32_t>> expected, got;
        for (const auto& [key, group] : keys.first) {
            std::uint64_t prefix = 0;  // the first eight bytes, zero-padded, as a number
            for (std::size_t i = 0; i < 8; ++i)
                prefix = prefix << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
            expected.emplace_back(prefix, static_cast<std::uint32_t>(key.size()), group);
        }
        // Packed by the processor where it can, and through tables.
        for (const bool quick : {true, false}) {
            AllowQuickBitExtract(quick);
            got.clear();
            for (const CSortedKey& k : SortKeys(keys.bytes, keys.keys))
                got.emplace_back(k.m_nPrefix, k.m_nLength, k.m_nKey);
            EXPECT_EQ(got, expected) << shape.name << (quick ? "" : ", through tables");
        }
        AllowQuickBitExtract(true);
    }
}

// Distinct keys, and the same with one key written twice: long and short
// keys, in order or not, as many as sort by std::sort, in place and through
// scratch. Only the twice-written key may share a group.
TEST(KeyIndex, GroupKeysFindsTheOneKeyWrittenTwice)
{
    for (const bool stems : {false, true}) {
        for (const std::size_t count : {40, 3000, 20000}) {
            for (const bool inOrder : {false, true}) {
                std::mt19937 gen(static_cast<unsigned>(count));
                std::set<std::string> unique;
                for (const std::string& key : SharingKeys(gen, 4 * count, stems)) {
                    if (unique.size() < count)
                        unique.insert(key);
                }
                std::vector<std::string> drawn(unique.begin(), unique.end());
                if (!inOrder)
                    std::shuffle(drawn.begin(), drawn.end(), gen);
                for (const bool twice : {false, true}) {
                    std::vector<std::string> written = drawn;
                    const std::size_t again = gen() % count;
                    if (twice)
                        written.insert(written.begin() +
                                           static_cast<std::ptrdiff_t>(inOrder ? again + 1 : gen() % count),
                                       drawn[again]);
                    WrittenKeys keys = Write(written);
                    if (!twice)
                        keys.groupOf.clear();  // all distinct: no groups to tell
                    EXPECT_EQ(GroupKeys(keys.bytes, keys.keys).m_arrGroupOf, keys.groupOf)
                        << count << (stems ? " long" : " short") << (inOrder ? " in order" : " shuffled")
                        << (twice ? ", one twice" : "");
                }
            }
        }
    }
}

}  // namespace
