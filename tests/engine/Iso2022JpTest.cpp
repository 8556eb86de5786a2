// The ISO-2022-JP family read as written, and given back byte for byte where
// the pass changed nothing.
#include "Rewrite.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

using E = EncodingId;
constexpr CEncoding kJis{E::Iso2022Jp, false};

TEST(Iso2022Jp, ReadsEverySetAndGivesTheBytesBack)
{
    const std::tuple<std::string, E, const char*> cases[] = {
        {"\x1B$A\x30\x21\x1B(B\n", E::Utf8, "啊\n"},                 // GB2312
        {"\x1B$(C\x30\x21\x1B(Ba", E::Utf8, "가a"},                  // KS C 5601
        {"\x1B$(D\x30\x21\x1B(B", E::EucJp, "丂"},                   // JIS X 0212
        {"a\x1B.A\x1BNi b\x1B.F\x1BNa", E::Utf8, "aé bα"},            // ISO 8859 high halves
        {"\x1B$(Q\x2E\x21\x1B(B\x1B$(P\x21\x21", E::Utf8, "俱𠂉"},     // JIS X 0213
        {"\x1B$@\x24\x22\x1B(B", E::EucJp, "あ"},
        {"\x1B$B\x24\x22\r\nabc\x1B$B\x21\x41", E::EucJp, "あ\r\nabc〜"},  // no return to ASCII
        {"\x1B(B\x1B$B\x1B$B\x24\x22\x1B(B\x1B(Bx\x1B(B", E::EucJp, "あx"},  // redundant escapes
        {"a\x0E\x31\x0F\x1B(I\x32\x1B(B", E::EucJp, "aｱｲ"},          // SO/SI and ESC ( I
        {"\x1B(J\\~\x1B(B\\", E::Utf8, "¥‾\\"},
    };
    for (const auto& [bytes, pass, utf8] : cases) {
        CByteString text, back;
        CTextEncoding jis{.m_forced = kJis.m_id};
        CPassOrigin origin;
        ASSERT_TRUE(ToPassText(bytes, jis, text, nullptr, &origin)) << utf8;
        const EncodingId id = jis.m_pass;
        EXPECT_EQ(id, pass) << utf8;
        EXPECT_EQ(Convert(text, {id, false}, {E::Utf8, false}), utf8);
        const CRewriteReport none;
        ASSERT_TRUE(FromPassText(text, id, kJis, back, nullptr, &origin, &none));
        EXPECT_EQ(back, bytes) << utf8;
    }
    const std::pair<std::string, const char*> refused[] = {
        {"ab\x1B$(Z", "invalid line 1 byte 2"},
        {"\n\x1B$B\x24\xA2", "invalid line 2 byte 4"},
        {"\x1B$B\x24", "incomplete line 1 byte 3"},
    };
    for (const auto& [bytes, message] : refused) {
        CByteString text;
        CTextEncoding jis{.m_forced = kJis.m_id};
        CConvertError error;
        EXPECT_FALSE(ToPassText(bytes, jis, text, &error));
        EXPECT_EQ(Facts(error), message);
    }
}

TEST(Iso2022Jp, WritesOnlyWhatThePassChanged)
{
    struct Case {
        std::string file;
        CEdit edit;
        std::string inserted;  // UTF-8
        std::string expected;  // bytes, or the message
    };
    const Case cases[] = {
        {"\x1B$B\x24\x22\x24\x24\x1B(B", {2, 0, 0}, "（笑）", "\x1B$B\x24\x22\x21\x4A\x3E\x50\x21\x4B\x24\x24\x1B(B"},
        {"\x1B$B\x24\x22\x24\x24\x1B(B", {2, 0, 0}, "!", "\x1B$B\x24\x22\x1B(B!\x1B$B\x24\x24\x1B(B"},
        {"\x1B$@\x24\x22\nabc", {3, 0, 0}, "あ", "\x1B$@\x24\x22\n\x1B$B\x24\x22\x1B(Babc"},
        {"\x1B$A\x30\x21\x1B(B ok", {4, 0, 2}, "ng", "\x1B$A\x30\x21\x1B(B ng"},
        {"\x1B$A\x30\x21\x1B(B ok", {4, 0, 2}, "啊", "\x1B$A\x30\x21\x1B(B \x1B$A\x30\x21\x1B(B"},
        {"x\x0E\x31\x32\x0Fy", {3, 0, 2}, "ｳ", "x\x0E\x31\x33\x0Fy"},
        {"a\nb", {2, 0, 0}, "①", "U+2460 line 2"},
        {"\x1B$A\x30\x21\x1B(B\nok", {4, 0, 0}, "가", "U+AC00 line 2"},
    };
    for (const Case& c : cases) {
        CByteString text, out;
        CTextEncoding jis{.m_forced = kJis.m_id};
        CPassOrigin origin;
        ASSERT_TRUE(ToPassText(c.file, jis, text, nullptr, &origin));
        const EncodingId id = jis.m_pass;
        const std::string inserted = Convert(c.inserted, {E::Utf8, false}, {id, false});
        CRewriteReport report;
        report.m_arrEdits.push_back({c.edit.m_nPos, static_cast<std::int64_t>(inserted.size()), c.edit.m_nSourceLength});
        text.replace(static_cast<std::size_t>(c.edit.m_nPos), static_cast<std::size_t>(c.edit.m_nSourceLength), inserted);
        CConvertError error;
        if (FromPassText(text, id, kJis, out, &error, &origin, &report)) EXPECT_EQ(out, c.expected) << c.inserted;
        else EXPECT_EQ(Facts(error), c.expected) << c.inserted;
    }
}

}  // namespace
