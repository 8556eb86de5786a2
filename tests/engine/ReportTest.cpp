// The pass's edit report: small cases edit by edit, then random rules with the
// filters and the built-in rules on prose, where the report must lead from
// the input to the output and change no byte and no draw.
#include "EditReport.h"
#include "Oracle.h"
#include "Random.h"
#include "Rewrite.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using K = CEdit::Kind;

TEST(Report, SmallCases)
{
    // Level 4: every key that stands fires, with its only entry.
    const struct {
        const char* what;
        std::vector<Rule> rules;
        CByteString input;
        bool html;
        CByteString output;
        std::vector<CEdit> edits;
        std::vector<std::int64_t> byGroup;
        std::int64_t limit = -1;
    } cases[] = {
        {"insert", {{1, "b", "XY"}}, "abc", false, "aXYbc", {{1, 2, 0, K::Inserted}}, {1}},
        {"insert after", {{2, "b", "XY"}}, "abc", false, "abXYc", {{2, 2, 0, K::Inserted}}, {1}},
        {"replace", {{0, "b", "XY"}}, "abc", false, "aXYc", {{1, 2, 1, K::Replaced}}, {1}},
        {"delete", {{3, "b", ""}}, "abc", false, "ac", {{1, 0, 1, K::Deleted}}, {1}},
        {"two apart", {{3, "b", ""}}, "abab", false, "aa", {{1, 0, 1, K::Deleted}, {2, 0, 1, K::Deleted}}, {2}},
        // The deletion moves the scan back into "xyz", where z is replaced;
        // then a's insert meets the first.
        {"into an insert", {{1, "a", "xyz"}, {3, "bcd", ""}, {0, "z", "Q"}}, "abcd", false, "xyQxyza",
         {{0, 6, 0, K::Inserted}, {7, 0, 3, K::Deleted}}, {2, 1, 1}},
        // The scan resumes inside "cccd", where d is replaced.
        {"inside a replacement", {{0, "ab", "cccd"}, {0, "d", "ZZ"}}, "ab!", false, "cccZZ!",
         {{0, 5, 2, K::Replaced}}, {1, 1}},
        // Each deletion moves back onto the next "ab".
        {"deletion moves back", {{3, "ab", ""}}, "aabb", false, "", {{0, 0, 4, K::Deleted}}, {2}},
        // After the deletion the scan goes back before it and inserts there.
        {"back before an edit", {{3, "bcd", ""}, {1, "a", "Q"}}, "abcd", false, "QQa",
         {{0, 2, 0, K::Inserted}, {3, 0, 3, K::Deleted}}, {1, 2}},
        {"no key", {{1, "q", "Q"}}, "abc", false, "abc", {}, {0}},
        // The filter removes the middle, an end, or the whole of an insert.
        {"tag inside an insert", {{1, "a", "x<>y"}}, "a", true, "xya", {{0, 2, 0, K::Inserted}}, {1}},
        {"tag from an insert on", {{1, "a", "x<"}}, "a>z", true, "xz", {{0, 1, 2, K::Replaced}}, {1}},
        {"tag over an insert", {{1, "a", "<b"}}, "a>z", true, "z", {{0, 0, 2, K::Filtered}}, {1}},
        {"tag beside a deletion", {{3, "a", ""}}, "<b>az", true, "z", {{0, 0, 4, K::Deleted}}, {1}},
        {"tag beside an insert", {{2, "a", "Q"}}, "a<b>c", true, "aQc", {{1, 1, 3, K::Replaced}}, {1}},
        {"tags alone", {}, "<p>a<b><i>c", true, "ac", {{0, 0, 3, K::Filtered}, {1, 0, 6, K::Filtered}}, {}},
        // The x/y chain up to a limit of 8 bytes: the last x is the input's.
        {"at the bound", {{1, "x", "y"}, {1, "y", "x"}}, "x", false, "xyxyxyyx", {{0, 7, 0, K::Inserted}}, {4, 3}, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CRuleSet set = MakeRules(c.rules);
        CByteString text = c.input;
        CRewriteReport report;
        const bool whole = RewriteText(
            set, text, 1, CRewriteOptions{.m_nLevel = 4, .m_bHtmlFilter = c.html, .m_nPassLimit = c.limit}, &report);
        EXPECT_EQ(text, c.output);
        EXPECT_EQ(report.m_arrEdits, c.edits);
        EXPECT_EQ(report.m_arrGroupFirings, c.byGroup);
        EXPECT_EQ(CheckEdits(c.input, text, report), "");
        EXPECT_EQ(report.m_bCutShort, !whole);
        EXPECT_EQ(whole, c.limit < 0);
    }
}

// Random rules over markers and a few letters, random filters: the reported
// rewrite gives the oracle's bytes and draws, and its edits walk.
TEST(Report, RandomRulesAndFilters)
{
    const char alphabet[] = {'a', 'b', '<', '>', '/', '*', '\n', '\x82'};
    std::mt19937 gen(31);
    const auto bytes = [&](int most) {
        CByteString s;
        const int n = static_cast<int>(gen() % static_cast<unsigned>(most + 1));
        for (int i = 0; i < n; ++i) s.push_back(alphabet[gen() % sizeof alphabet]);
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        CRuleSet set;
        set.RemoveAllGroups();
        const int rules = static_cast<int>(gen() % 8);
        for (int i = 0; i < rules; ++i) set.AddRule(static_cast<int>(gen() % 4), bytes(3), bytes(4));
        const CByteString input = bytes(80);
        const CRewriteOptions options{.m_nLevel = static_cast<int>(gen() % 5),
                                      .m_bHtmlFilter = gen() % 2 == 0,
                                      .m_bCommentFilter = gen() % 2 == 0};
        const auto seed = static_cast<std::uint32_t>(gen());
        const auto slow = oracle::RewriteText(set, input, seed, options);
        CByteString text = input;
        CRewriteReport report;
        RewriteText(set, text, seed, options, &report);
        ASSERT_EQ(text, slow.text) << "round " << round;
        ASSERT_EQ(jest::rand(), slow.nextDraw) << "round " << round;
        ASSERT_EQ(CheckEdits(input, text, report), "") << "round " << round;
    }
}

// The built-in rules at level 4 on prose and on prose with markup, in each
// pass encoding, with and without the filters.
TEST(Report, BuiltinRulesOnProse)
{
    const CRuleSet builtin;
    const CByteString sources[] = {prose::Generate(40000, 3), prose::GenerateMarkup(40000, 400, 400, 4)};
    for (const EncodingId id : {EncodingId::Cp932, EncodingId::Utf8, EncodingId::EucJp}) {
        for (const CByteString& source : sources) {
            const CByteString input = Convert(source, {EncodingId::Cp932}, {id});
            for (const bool filters : {false, true}) {
                SCOPED_TRACE(std::string(OptionName(id)) + (filters ? " filtered" : ""));
                const CRewriteOptions options{
                    .m_nLevel = 4, .m_bHtmlFilter = filters, .m_bCommentFilter = filters, .m_encoding = id};
                CByteString plain = input;
                RewriteText(builtin, plain, 7, options);
                const int next = jest::rand();
                CByteString text = input;
                CRewriteReport report;
                RewriteText(builtin, text, 7, options, &report);
                EXPECT_EQ(text, plain);
                EXPECT_EQ(jest::rand(), next);
                EXPECT_EQ(CheckEdits(input, text, report), "");
                EXPECT_GT(report.m_arrEdits.size(), 500u);
                EXPECT_EQ(report.m_arrGroupFirings.size(), builtin.GetPassGroups(id).size());
            }
        }
    }
}

}  // namespace
