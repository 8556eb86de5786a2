// Random texts, rule sets and levels: the fast pass must give the oracle's
// text byte for byte and leave the generator where the oracle leaves it.
#include "EditReport.h"
#include "Encoding.h"
#include "MarkupFilters.h"
#include "Oracle.h"
#include "Random.h"
#include "RuleSet.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The same pass asking for its report: the same bytes and the same next
// draw, and edits that lead from the input to the output.
void ExpectReportAgrees(const CRuleSet& set, const CByteString& original, std::uint32_t seed, int threshold,
                        EncodingId id, const oracle::PassOutcome& fast)
{
    CByteString text = original;
    CRewriteReport report;
    jest::srand(seed);
    set.TransformText(text, threshold, id, -1, &report);
    ASSERT_EQ(text, fast.text);
    ASSERT_EQ(jest::rand(), fast.nextDraw);
    ASSERT_EQ(CheckEdits(original, text, report), "");
}

// Few distinct bytes, so that keys match often; lead bytes and the bytes of
// "。" and "、" among them, and both ends of the byte range.
const char kAlphabet[] = {'a', 'b', 'x', '\x81', '\x42', '\x41', '\x82', '\0', '\xFF'};

CByteString RandomBytes(std::mt19937& gen, int maxLength)
{
    std::uniform_int_distribution<int> len(0, maxLength);
    std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 1);
    CByteString s;
    const int n = len(gen);
    for (int i = 0; i < n; ++i) s.push_back(kAlphabet[pick(gen)]);
    return s;
}

CRuleSet RandomRules(std::mt19937& gen)
{
    CRuleSet set;
    if (gen() % 8 == 0) return set;  // now and then the built-in rules
    set.RemoveAllGroups();
    // Now and then many keys, so that they share beginnings and branch.
    const int rules = static_cast<int>(gen() % 64 == 0 ? gen() % 200 : gen() % 10);
    for (int i = 0; i < rules; ++i) {
        const int mode = static_cast<int>(gen() % 6) - 1;  // -1 and 4 get clamped
        // Keys of 0 to 3 bytes; texts often shorter than the key.
        set.AddRule(mode, RandomBytes(gen, 3), RandomBytes(gen, 4));
    }
    return set;
}

TEST(Differential, FastPassMatchesOracle)
{
    std::mt19937 gen(20240601);
    for (int round = 0; round < 3000; ++round) {
        const CRuleSet set = RandomRules(gen);
        const CByteString original = RandomBytes(gen, 120);
        const int threshold = LevelToThreshold(static_cast<int>(gen() % 5));
        const auto seed = static_cast<std::uint32_t>(gen());

        const auto fast = oracle::RunFastPass(set, original, seed, threshold);
        const auto slow = oracle::RunOraclePass(set, original, seed, threshold);
        ASSERT_EQ(fast.text, slow.text) << "round " << round;
        ASSERT_EQ(fast.nextDraw, slow.nextDraw) << "round " << round;
        ASSERT_NO_FATAL_FAILURE(ExpectReportAgrees(set, original, seed, threshold, EncodingId::Cp932, fast))
            << "round " << round;
    }
}

TEST(Differential, ApplyAtMatchesOracle)
{
    std::mt19937 gen(77);
    for (int round = 0; round < 5000; ++round) {
        const CRuleSet set = RandomRules(gen);
        std::vector<CRuleGroup> groups;
        groups.reserve(static_cast<std::size_t>(set.GetGroupCount()));
        for (int i = 0; i < set.GetGroupCount(); ++i) groups.push_back(set.GetGroup(i));
        const CByteString original = RandomBytes(gen, 12);
        const auto length = static_cast<std::int64_t>(original.size());
        // Positions from a few bytes before the start to a few past the end.
        const std::int64_t position = static_cast<std::int64_t>(gen() % static_cast<unsigned>(length + 9)) - 4;
        const int threshold = LevelToThreshold(static_cast<int>(gen() % 5));
        const auto seed = static_cast<std::uint32_t>(gen());

        CByteString fast = original;
        jest::srand(seed);
        const std::int64_t fastResult = set.ApplyAt(fast, position, threshold);
        const int fastNext = jest::rand();

        CByteString slow = original;
        jest::srand(seed);
        const std::int64_t slowResult = oracle::ApplyAt(groups, slow, position, threshold);

        ASSERT_EQ(fast, slow) << "round " << round << " position " << position;
        ASSERT_EQ(fastResult, slowResult) << "round " << round;
        ASSERT_EQ(fastNext, jest::rand()) << "round " << round;
    }
}

// Pieces of text in an encoding: whole characters, "。" and "、" among them,
// and stray bytes that belong to no character.
struct EncodedPieces {
    EncodingId id;
    std::vector<std::string> pieces;
};
const EncodedPieces kPieces[] = {
    {EncodingId::Utf8, {"a", "\xE3\x80\x82", "\xE3\x80\x81", "\xE3\x81\x82", "\xC3\xA9", "\x80", "\xE3", std::string(1, '\0')}},
    {EncodingId::EucJp, {"a", "\xA1\xA3", "\xA1\xA2", "\xA4\xA2", "\x8E\xB1", "\xA1", "\x8F", std::string(1, '\0')}},
    {EncodingId::Cp932, {"a", "\x81\x42", "\x81\x41", "\x82\xA0", "\xB1", "\x82", "\xFF", std::string(1, '\0')}},
};

std::string RandomPieces(std::mt19937& gen, const EncodedPieces& from, int maxPieces)
{
    std::string s;
    const int n = static_cast<int>(gen() % static_cast<unsigned>(maxPieces + 1));
    for (int i = 0; i < n; ++i) s += from.pieces[gen() % from.pieces.size()];
    return s;
}

// Text in UTF-8 and EUC-JP, rules in the same or another encoding: the
// pass steps by characters exactly as the oracle does.
TEST(Differential, CharacterPassMatchesOracle)
{
    const std::pair<int, int> cases[] = {{0, 0}, {0, 2}, {1, 1}, {1, 0}, {2, 0}};  // text, rules
    std::mt19937 gen(8);
    for (const auto& [textSide, ruleSide] : cases) {
        const EncodedPieces& text = kPieces[textSide];
        const EncodedPieces& ruleText = kPieces[ruleSide];
        for (int round = 0; round < 1500; ++round) {
            CRuleSet set;
            if (gen() % 8 != 0) {
                set.RemoveAllGroups();
                set.SetEncoding(ruleText.id);
                const int rules = static_cast<int>(gen() % 8);
                for (int i = 0; i < rules; ++i)
                    set.AddRule(static_cast<int>(gen() % 4), RandomPieces(gen, ruleText, 2), RandomPieces(gen, ruleText, 3));
            }
            const std::string original = RandomPieces(gen, text, 40);
            const int threshold = LevelToThreshold(static_cast<int>(gen() % 5));
            const auto seed = static_cast<std::uint32_t>(gen());
            const auto fast = oracle::RunFastPass(set, original, seed, threshold, text.id);
            const auto slow = oracle::RunOraclePass(set, original, seed, threshold, text.id);
            ASSERT_EQ(fast.text, slow.text) << OptionName(text.id) << " round " << round;
            ASSERT_EQ(fast.nextDraw, slow.nextDraw) << OptionName(text.id) << " round " << round;
            ASSERT_NO_FATAL_FAILURE(ExpectReportAgrees(set, original, seed, threshold, text.id, fast))
                << OptionName(text.id) << " round " << round;
        }
    }
}

}  // namespace

namespace {

TEST(Differential, FiltersMatchOracle)
{
    // Markers and line breaks only, so that every kind of stretch occurs.
    const char bytes[] = {'<', '>', '/', '*', '\r', '\n', 'a', '\x82'};
    std::mt19937 gen(5);
    for (int round = 0; round < 20000; ++round) {
        CByteString text;
        const int n = static_cast<int>(gen() % 24);
        for (int i = 0; i < n; ++i) text.push_back(bytes[gen() % sizeof bytes]);
        CByteString fast = text;
        CByteString slow = text;
        StripHtmlTags(fast);
        oracle::StripHtmlTags(slow);
        ASSERT_EQ(fast, slow) << "tags: " << text;
        fast = text;
        slow = text;
        StripComments(fast);
        oracle::StripComments(slow);
        ASSERT_EQ(fast, slow) << "comments: " << text;
    }
}

}  // namespace
