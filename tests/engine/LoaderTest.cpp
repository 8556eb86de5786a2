// The rule-file loader: line breaks, the Shift-JIS-aware searches, NUL, line
// numbers, and a failed load leaving the set as it was.
#include "RuleSet.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Entry {
    int mode;
    CByteString text;
    bool operator==(const Entry&) const = default;
};

struct Group {
    CByteString key;
    std::vector<Entry> entries;
    bool operator==(const Group&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Group& g)
{
    os << "[key \"" << g.key << "\":";
    for (const auto& e : g.entries) os << " (" << e.mode << ", \"" << e.text << "\")";
    return os << "]";
}

std::vector<Group> Groups(const CRuleSet& set)
{
    std::vector<Group> out;
    for (int i = 0; i < set.GetGroupCount(); ++i) {
        const CRuleGroup g = set.GetGroup(i);
        Group group{g.GetKey(), {}};
        for (std::size_t e = 0; e < g.GetModes().size(); ++e) group.entries.push_back({g.GetModes()[e], g.GetTexts()[e]});
        out.push_back(group);
    }
    return out;
}

std::string LineMessage(int n)
{
    return "第" + std::to_string(n) + "行で読み込みエラーが起きました。";
}

struct LoadCase {
    const char* what;
    CByteString contents;
    int badLine;  // 0: the load succeeds
    std::vector<Group> groups;  // what a successful load holds
};

std::vector<LoadCase> LoadCases()
{
    const CByteString maru = Sjis("。");
    const CByteString desu = Sjis("です");
    const CByteString warai = Sjis("（笑）");
    return {
        {"empty file", "", 0, {}},
        {"no line break at all", "r a b", 0, {}},
        {"CR LF lines share groups by key",
         "a " + maru + " " + warai + "\r\n" + "b " + maru + " ......\r\n" + "c anything\r\n" +
             "r " + Sjis("です。") + " " + Sjis("ではありません。") + "\r\n\r\n",
         0,
         {{maru, {{2, warai}, {1, "......"}}}, {Sjis("です。"), {{0, Sjis("ではありません。")}}}}},
        {"bare LF keeps the last byte of each line", "a " + maru + " " + warai + "\n" + "d x \n", 0,
         {{maru, {{2, warai}}}, {"x", {{3, ""}}}}},
        {"one-byte line before a bare LF is a rule", "r\n", 0, {{"", {{0, ""}}}}},
        {"unterminated last line is ignored, even a bad one", "r x y\r\nR bad", 0, {{"x", {{0, "y"}}}}},
        {"NUL ends the contents; its line is unterminated", "r x y\r\nr z w" + CByteString(1, '\0') + "\r\nr q r\r\n", 0,
         {{"x", {{0, "y"}}}}},
        {"delete without a trailing space has an empty key", "d " + desu + "\r\n", 0, {{"", {{3, desu}}}}},
        {"delete with a trailing space has the key", "d " + desu + " \r\n", 0, {{desu, {{3, ""}}}}},
        {"text keeps spaces, key keeps tabs", "b k\t a b \r\nb k a\r\nb K a\r\n", 0,
         {{"k\t", {{1, "a b "}}}, {"k", {{1, "a"}}}, {"K", {{1, "a"}}}}},
        {"lone letters", "r\r\nc\r\nb\r\n", 0, {{"", {{0, ""}, {1, ""}}}}},
        {"any byte at offset 1 is skipped", "rXkey text\r\n", 0, {{"key", {{0, "text"}}}}},
        {"second byte of a character at offset 1 starts the key", "r\x82\xA0k t\r\n", 0, {{"\xA0k", {{0, "t"}}}}},
        {"0x20 after a lead byte is no space", "r \x81 x y\r\n", 0, {{"\x81 x", {{0, "y"}}}}},
        {"0x9F and 0xFC are the last lead bytes of their ranges", "r \x9F x y\r\nr \xFC a b\r\n", 0,
         {{"\x9F x", {{0, "y"}}}, {"\xFC a", {{0, "b"}}}}},
        {"LF after a lead byte does not end the line", "r k \x81\nr j t\r\n", 0, {{"k", {{0, "\x81\nr j t"}}}}},
        {"full-width space belongs to the key", "r a\x81\x40 b\r\n", 0, {{"a\x81\x40", {{0, "b"}}}}},
        {"bad letter on line 4, empty and comment lines counted", "r a b\r\n\r\nc x\r\nX y z\r\nr c d\r\n", 4, {}},
        {"bad letter with bare LF", "r a b\nR a b\n", 2, {}},
        {"lead byte as letter is bad", Sjis("あ") + " x\r\n", 1, {}},
        {"space as letter is bad", " r x\r\n", 1, {}},
    };
}

class LoaderTest : public ::testing::Test {
protected:
    TempDir dir;
    RecordingSink sink;
};

TEST_F(LoaderTest, LinesAndOutcomes)
{
    int n = 0;
    for (const auto& c : LoadCases()) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Write("rules" + std::to_string(n++) + ".txt", c.contents);
        CRuleSet set;
        set.SetFileName("previous.txt");
        const auto before = Groups(set);
        sink.messages.clear();
        set.SetMessageSink(&sink);
        const bool ok = set.LoadRuleFile(path);
        if (c.badLine == 0) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(Groups(set), c.groups);
            EXPECT_EQ(set.GetFileName(), path);
            EXPECT_TRUE(sink.messages.empty());
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(Groups(set), before);
            EXPECT_EQ(set.GetFileName(), "previous.txt");
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0], LineMessage(c.badLine));
        }
    }
}

TEST_F(LoaderTest, FailedLoadKeepsEarlierFileRules)
{
    const std::string good = dir.Write("good.txt", "r a b\r\n");
    const std::string bad = dir.Write("bad.txt", "r c d\r\nr e f\r\nQ\r\n");
    CRuleSet set;
    set.SetMessageSink(&sink);
    ASSERT_TRUE(set.LoadRuleFile(good));
    const auto loaded = Groups(set);
    EXPECT_FALSE(set.LoadRuleFile(bad));
    EXPECT_EQ(Groups(set), loaded);
    EXPECT_EQ(set.GetFileName(), good);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], LineMessage(3));

    // Without a sink the failure is the same, only silent.
    CRuleSet silent;
    EXPECT_FALSE(silent.LoadRuleFile(bad));
    EXPECT_EQ(silent.GetGroupCount(), 6);
}

TEST_F(LoaderTest, UnopenableNamesChangeNothing)
{
    const std::string good = dir.Write("good.txt", "r a b\r\n");
    const std::string locked = dir.Write("locked.txt", "r c d\r\n");
    ::chmod(locked.c_str(), 0);
    const std::string fifo = (dir.Path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::pair<const char*, std::string>> names = {
        {"empty name", ""},
        {"missing file", (dir.Path() / "missing.txt").string()},
        {"directory", dir.Path().string()},
        {"name with a NUL", CByteString(good + CByteString(1, '\0'))},
        {"FIFO with no writer (must not hang)", fifo},
    };
    if (::geteuid() != 0) names.push_back({"unreadable file", locked});  // root reads anything
    for (const auto& [what, name] : names) {
        SCOPED_TRACE(what);
        CRuleSet set;
        set.SetMessageSink(&sink);
        ASSERT_TRUE(set.LoadRuleFile(good));
        const auto before = Groups(set);
        EXPECT_FALSE(set.LoadRuleFile(name));
        EXPECT_EQ(Groups(set), before);
        EXPECT_EQ(set.GetFileName(), good);
    }
    EXPECT_TRUE(sink.messages.empty());
}

// Rules up to the ceiling load; one byte more is refused with a message and
// changes nothing, but bytes past a NUL do not count.
TEST_F(LoaderTest, CeilingOnRuleBytes)
{
    const std::size_t max = CRuleSet::kMaxRuleBytes;
    const std::string tooLarge = "設定ファイルが大きすぎます（64 MiBまで）。";
    const CByteString rule = "r k v\r\n";
    const CByteString atMax = rule + CByteString(max - rule.size(), 'x');  // then an unterminated line
    const CByteString overMax = atMax + "x";
    const CByteString nulFirst = rule + CByteString(1, '\0') + overMax;
    const struct {
        const char* what;
        const CByteString* contents;
        bool fromFile;
        bool loads;
    } cases[] = {
        {"exactly the ceiling", &atMax, false, true},
        {"one byte over", &overMax, false, false},
        {"one byte over, file", &overMax, true, false},
        {"over, but a NUL first", &nulFirst, false, true},
        {"over, but a NUL first, file", &nulFirst, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CRuleSet set;
        set.SetMessageSink(&sink);
        sink.messages.clear();
        const std::string path = c.fromFile ? dir.Write("big.rules", *c.contents) : "big.rules";
        const bool ok = c.fromFile ? set.LoadRuleFile(path) : set.LoadRuleBytes(*c.contents, path);
        EXPECT_EQ(ok, c.loads);
        const std::vector<Group> expected = c.loads ? std::vector<Group>{{"k", {{0, "v"}}}} : Groups(CRuleSet());
        EXPECT_EQ(Groups(set), expected);
        EXPECT_EQ(set.GetFileName(), c.loads ? path : "");
        EXPECT_EQ(sink.messages, c.loads ? std::vector<std::string>{} : std::vector<std::string>{tooLarge});
    }
}

TEST_F(LoaderTest, ParseRuleLineDirect)
{
    CRuleSet set;
    set.RemoveAllGroups();
    EXPECT_TRUE(set.ParseRuleLine(""));
    EXPECT_TRUE(set.ParseRuleLine("c"));
    EXPECT_FALSE(set.ParseRuleLine("x a b"));
    EXPECT_EQ(set.GetGroupCount(), 0);
    EXPECT_TRUE(set.ParseRuleLine("a"));
    EXPECT_TRUE(set.ParseRuleLine("d  "));  // key empty, text empty after the space
    EXPECT_EQ(Groups(set), (std::vector<Group>{{"", {{2, ""}, {3, ""}}}}));
}

}  // namespace
