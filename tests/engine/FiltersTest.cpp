// The markup filters on the documented edge cases, line comments with both
// kinds of line break.
#include "MarkupFilters.h"
#include "Rewrite.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

struct FilterCase {
    CByteString input;
    CByteString expected;
};

TEST(Filters, HtmlTags)
{
    const FilterCase cases[] = {
        {"a<b>c", "ac"},
        {"<>", ""},
        {"", ""},
        {"<a><b>x", "x"},
        {"<a<b>c>", "c>"},
        {"<<>>", ">"},
        {"1 < 2 and 3 > 2", "1  2"},
        {"x<y", "x<y"},
        {"a>b", "a>b"},
        {"a<b\r\nc>d", "ad"},
        {"<!-- a > b -->x", " b -->x"},
        {"p<b>q<r", "pq<r"},
        {"<\x82\x3C>\x82\xA0", "\x82\xA0"},  // bytes, not characters
    };
    for (const auto& c : cases) {
        CByteString text = c.input;
        StripHtmlTags(text);
        EXPECT_EQ(text, c.expected) << "input: " << c.input;
    }
}

TEST(Filters, Comments)
{
    const FilterCase cases[] = {
        {"a/* x */b", "ab"},
        {"/**/", ""},
        {"/*/ x", "/*/ x"},
        {"a /* x", "a /* x"},
        {"/* a *//* b */c", "c"},
        {"/* a /* b */ c */", " c */"},
        {"x = 1; // note\r\ny", "x = 1; \r\ny"},
        {"//\r\n", "\r\n"},
        {"a // b", "a // b"},
        // Bare LF: the whole comment goes, the line break stays.
        {"a // bc\nd", "a \nd"},
        {"//\n", "\n"},
        {"s = 'a//b';\r\n", "s = 'a\r\n"},
        {"/* a // b */c", "c"},
        {"// a /* b\r\nc */d", "\r\nc */d"},
        {"/* a // b\r\n", "/* a \r\n"},
        {"/* x */// y\r\nz", "\r\nz"},
        {"//* x\n", "\n"},
        {"a/", "a/"},
        {"/* a */ b // c\n/* d // e\nf", " b \n/* d \nf"},
    };
    for (const auto& c : cases) {
        CByteString text = c.input;
        StripComments(text);
        EXPECT_EQ(text, c.expected) << "input: " << c.input;
    }
}

}  // namespace

// One open's rewriting: the seed decides the draws, and the tag filter runs
// before the comment filter (the two orders differ on this text).
TEST(Rewrite, SeedsThenPassThenTagsThenComments)
{
    const struct {
        bool html, comments;
        const char* text;
        const char* expected;
    } cases[] = {
        {false, false, "雨です。", "雨ではありません（笑）。"},
        {true, false, "a<b/*>c*/d", "ac*/d"},
        {false, true, "a<b/*>c*/d", "a<bd"},
        {true, true, "a<b/*>c*/d", "ac*/d"},
        {true, true, "x/*<*/y>z", "x/*z"},
    };
    const CRuleSet builtin;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CByteString text = Sjis(c.text);
        RewriteText(builtin, text, 1, CRewriteOptions{.m_nLevel = 2, .m_bHtmlFilter = c.html, .m_bCommentFilter = c.comments});
        EXPECT_EQ(text, Sjis(c.expected));
    }
}
