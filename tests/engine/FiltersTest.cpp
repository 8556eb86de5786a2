// The markup filters on the documented edge cases, line comments with both
// kinds of line break.
#include "MarkupFilters.h"

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
