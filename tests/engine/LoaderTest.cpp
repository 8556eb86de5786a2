// The rule-file loader: line breaks, the Shift-JIS-aware searches, NUL, line
// numbers, and a failed load leaving the set as it was.
#include "RuleSet.h"
#include "TestUtil.h"
#include "Sanitized.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <unordered_map>

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
        const CRuleLoadResult result = set.LoadRuleFile(path);
        if (c.badLine == 0) {
            EXPECT_EQ(result, CRuleLoadResult());
            EXPECT_EQ(Groups(set), c.groups);
            EXPECT_EQ(set.GetFileName(), path);
        } else {
            EXPECT_EQ(result, CRuleLoadResult::Failed(RuleLoadFailure::kBadLine, c.badLine));
            EXPECT_EQ(Groups(set), before);
            EXPECT_EQ(set.GetFileName(), "previous.txt");
        }
    }
}

TEST_F(LoaderTest, FailedLoadKeepsEarlierFileRules)
{
    const std::string good = dir.Write("good.txt", "r a b\r\n");
    const std::string bad = dir.Write("bad.txt", "r c d\r\nr e f\r\nQ\r\n");
    CRuleSet set;
    ASSERT_TRUE(set.LoadRuleFile(good));
    const auto loaded = Groups(set);
    EXPECT_EQ(set.LoadRuleFile(bad), CRuleLoadResult::Failed(RuleLoadFailure::kBadLine, 3));
    EXPECT_EQ(Groups(set), loaded);
    EXPECT_EQ(set.GetFileName(), good);

    CRuleSet builtin;
    EXPECT_FALSE(builtin.LoadRuleFile(bad));
    EXPECT_EQ(Groups(builtin), Groups(CRuleSet()));
}

TEST_F(LoaderTest, UnopenableNamesChangeNothing)
{
    const std::string good = dir.Write("good.txt", "r a b\r\n");
    const std::string locked = dir.Write("locked.txt", "r c d\r\n");
    ::chmod(locked.c_str(), 0);
    const std::string fifo = (dir.Path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    using F = RuleLoadFailure;
    const struct {
        const char* what;
        std::string name;
        CRuleLoadResult why;
    } cases[] = {
        {"empty name", "", CRuleLoadResult::Failed(F::kMissing)},
        {"missing file", (dir.Path() / "missing.txt").string(), CRuleLoadResult::Failed(F::kMissing)},
        {"missing folder", (dir.Path() / "no" / "x.txt").string(), CRuleLoadResult::Failed(F::kMissing)},
        {"file as a folder", good + "/x.txt", CRuleLoadResult::Failed(F::kMissing)},
        {"directory", dir.Path().string(), CRuleLoadResult::Failed(F::kNotRegular)},
        {"name with a NUL", CByteString(good + CByteString(1, '\0')), CRuleLoadResult::Failed(F::kMissing)},
        {"FIFO with no writer (must not hang)", fifo, CRuleLoadResult::Failed(F::kNotRegular)},
        {"unreadable file", locked, CRuleLoadResult::Failed(F::kUnreadable, 0, EACCES)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.name == locked && ::geteuid() == 0) continue;  // root reads anything
        CRuleSet set;
        ASSERT_TRUE(set.LoadRuleFile(good));
        const auto before = Groups(set);
        EXPECT_EQ(set.LoadRuleFile(c.name), c.why);
        EXPECT_EQ(Groups(set), before);
        EXPECT_EQ(set.GetFileName(), good);
    }
}

// Rules up to the ceiling load; one byte more is refused with a message and
// changes nothing, but bytes past a NUL do not count.
TEST_F(LoaderTest, CeilingOnRuleBytes)
{
    const std::size_t max = CRuleSet::kMaxRuleBytes;
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
        const std::string path = c.fromFile ? dir.Write("big.rules", *c.contents) : "big.rules";
        const CRuleLoadResult result = c.fromFile ? set.LoadRuleFile(path) : set.LoadRuleBytes(*c.contents, path);
        EXPECT_EQ(result, c.loads ? CRuleLoadResult() : CRuleLoadResult::Failed(RuleLoadFailure::kTooLarge));
        const std::vector<Group> expected = c.loads ? std::vector<Group>{{"k", {{0, "v"}}}} : Groups(CRuleSet());
        EXPECT_EQ(Groups(set), expected);
        EXPECT_EQ(set.GetFileName(), c.loads ? path : "");
    }
}

// Lines broken by CR alone are no lines: nothing loads, and the result says
// why; other files without an LF say nothing.
TEST_F(LoaderTest, CrOnlyLineBreaksAreNamed)
{
    const struct {
        CByteString contents;
        bool crOnly;
    } cases[] = {
        {"r a b\rr c d\r", true}, {"\r", true}, {"r a b", false}, {"", false}, {"r a\rb\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents);
        CRuleSet set;
        const CRuleLoadResult result = set.LoadRuleBytes(c.contents, "cr.rules");
        EXPECT_TRUE(result);
        EXPECT_EQ(result.m_bCrOnly, c.crOnly);
    }
}

// Found at run time, so that they collide with whatever hash the library has.
TEST_F(LoaderTest, KeysWhoseHashesCollideKeepTheirOwnGroups)
{
    std::unordered_map<std::uint32_t, std::string> seen;
    std::string a, b;
    for (int i = 0; a.empty(); ++i) {
        const std::string key = "k" + std::to_string(i);
        const auto [it, fresh] = seen.emplace(CKeyTable::Hash(key), key);
        if (!fresh) {
            a = it->second;
            b = key;
        }
    }
    CRuleSet set;
    ASSERT_TRUE(set.LoadRuleBytes("r " + a + " A\nr " + b + " B\nb " + a + " C\n", "collide.rules"));
    EXPECT_EQ(Groups(set), (std::vector<Group>{{a, {{0, "A"}, {1, "C"}}}, {b, {{0, "B"}}}}));
    set.AddRule(kModeInsertAfter, b, "D");
    EXPECT_EQ(Groups(set), (std::vector<Group>{{a, {{0, "A"}, {1, "C"}}}, {b, {{0, "B"}, {2, "D"}}}}));
}

// Rules made ready only as each pass comes pass as rules made ready at once
// do, in their own encoding and another, also after a rule is added (which
// the keys kept in order from the load no longer describe).
TEST_F(LoaderTest, ReadyOnPreparePassesAsReadyAtOnce)
{
    std::string file, text;
    for (int i = 0; i < 300; ++i) file += "r k" + std::to_string(i * 37 % 300) + "\xE3\x80\x82 " + std::to_string(i) + "\n";
    for (int i = 0; i < 300; i += 7) text += "k" + std::to_string(i) + "\xE3\x80\x82" "a\xE3\x80\x82";
    for (const EncodingId encoding : {EncodingId::Utf8, EncodingId::Cp932}) {
        for (const bool added : {false, true}) {
            CRuleSet now, later;
            ASSERT_TRUE(now.LoadRuleBytes(file, "r"));
            ASSERT_TRUE(later.LoadRuleBytes(file, "r", std::nullopt, std::nullopt, CRuleSet::Ready::kOnPrepare));
            CByteString got[2];
            for (CRuleSet* set : {&now, &later}) {
                if (added) set->AddRule(kModeReplace, "a\xE3\x80\x82", "A");
                ASSERT_TRUE(set->PreparePass(encoding));
                CByteString& out = got[set == &later];
                out = encoding == EncodingId::Utf8 ? text : Sjis(text);
                set->TransformText(out, 100, encoding);
            }
            EXPECT_EQ(got[1], got[0]) << OptionName(encoding) << (added ? ", a rule added" : "");
            EXPECT_NE(got[1], encoding == EncodingId::Utf8 ? text : Sjis(text));
        }
    }
}

// Under an address-space limit little above what the process holds, a load
// and a conversion of a million keys fail and change nothing. In a child
// process, as the limit holds for the whole process.
TEST_F(LoaderTest, NoMemoryFailsAndChangesNothing)
{
    if (kSanitized) GTEST_SKIP() << "no memory limits under a sanitizer";
    std::string many;
    for (int i = 0; i < 1000000; ++i) many += "b " + std::to_string(i) + "\xE3\x80\x82 x\n";  // "。"
    const std::string path = dir.Write("many.rules", many);
    CRuleSet loaded;
    ASSERT_TRUE(loaded.LoadRuleFile(path));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::ifstream statm("/proc/self/statm");
        long pages = 0;
        statm >> pages;
        const auto held = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
        const rlimit limit{held + (rlim_t{40} << 20), held + (rlim_t{40} << 20)};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(10);
        CRuleSet set;
        const bool loadFailed = set.LoadRuleFile(path) == CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory);
        const bool setKept = set.GetGroupCount() == 6 && set.GetFileName().empty();
        const bool convertFailed = !loaded.PreparePass(EncodingId::Cp932);
        CByteString text = "12\xE3\x80\x82";
        loaded.TransformText(text, 100, EncodingId::Utf8);
        const bool loadedKept = loaded.GetGroupCount() == 1000000 && text == "x1x2\xE3\x80\x82";
        ::_exit((loadFailed ? 0 : 1) | (setKept ? 0 : 2) | (convertFailed ? 0 : 4) | (loadedKept ? 0 : 8));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
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
