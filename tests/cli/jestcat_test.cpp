// jestcat run as a process: exit codes, messages on standard error and the
// bytes on standard output. Expected rewrites come from the engine itself.

#include "Encoding.h"
#include "MarkupFilters.h"
#include "ProseGenerator.h"
#include "Rewrite.h"
#include "RuleSet.h"
#include "Sanitized.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {


namespace fs = std::filesystem;

// UTF-8 literal to CP932 bytes.
std::string Sjis(std::string_view utf8)
{
    return prose::ToCp932(utf8);
}

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs jestcat with the arguments, feeding input on standard input. When
// stdoutPath is given, standard output goes to that file instead of a pipe.
// With a limit, jestcat runs under that much address space (through the
// shell's ulimit).
Result RunJestcat(const std::vector<std::string>& args, const std::string& input = {},
                  const std::optional<std::string>& stdoutPath = std::nullopt, long limitKiB = 0)
{
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 ||
        pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");

    // A child that exits without reading its input must not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    if (stdoutPath)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath->c_str(), O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    std::vector<std::string> argvStrings{JESTCAT_PATH};
    if (limitKiB > 0)
        argvStrings = {"/bin/sh", "-c", "ulimit -v " + std::to_string(limitKiB) + " && exec \"$0\" \"$@\"",
                       JESTCAT_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvStrings.size() + 1);
    for (auto& s : argvStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, argvStrings[0].c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0)
        throw std::runtime_error("posix_spawn");

    // Feed standard input and drain both outputs together, so no pipe fills up.
    Result result;
    std::size_t written = 0;
    int inFd = inPipe[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    } else {
        fcntl(inFd, F_SETFL, O_NONBLOCK);
    }
    int outFd = outPipe[0], errFd = errPipe[0];
    while (inFd >= 0 || outFd >= 0 || errFd >= 0) {
        pollfd fds[3] = {{inFd, POLLOUT, 0}, {outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll");
        }
        if (inFd >= 0 && fds[0].revents != 0) {
            ssize_t n = write(inFd, input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN) || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        int* readFds[2] = {&outFd, &errFd};
        std::string* sinks[2] = {&result.out, &result.err};
        for (int i = 0; i < 2; ++i) {
            if (*readFds[i] >= 0 && fds[i + 1].revents != 0) {
                char buffer[4096];
                ssize_t n = read(*readFds[i], buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    close(*readFds[i]);
                    *readFds[i] = -1;
                }
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// What the window's open pipeline makes of a text.
std::string Expected(const std::string& input, std::uint32_t seed, int level,
                     const std::string& ruleFile = {}, bool html = false, bool comments = false)
{
    CRuleSet rules;
    if (!ruleFile.empty() && !rules.LoadRuleFile(ruleFile))
        throw std::runtime_error("rule file did not load in-process");
    std::string text = input;
    RewriteText(rules, text, seed, CRewriteOptions{.m_nLevel = level, .m_bHtmlFilter = html, .m_bCommentFilter = comments});
    return text;
}

const std::string kTryHelp = "Try 'jestcat --help' for more information.\n";

class JestcatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "jestcat-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp");
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string WriteFile(const std::string& name, const std::string& bytes)
    {
        fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

// The two worked examples of the pass, through every way of passing input.
TEST_F(JestcatTest, WorkedExamplesComeOutExactly)
{
    struct Case {
        std::vector<std::string> options;
        std::string input, output;
    };
    const Case cases[] = {
        {{"--seed=1", "--level=2"}, "雨です。", "雨ではありません（笑）。"},
        {{"-s", "1"}, "雨です。", "雨ではありません（笑）。"},  // level 2 is the default
        {{"-s4", "-l4"}, "ね。", "ね、なんとやっほー（笑）。"},
        {{"--seed", "4", "--level", "4", "--encoding=cp932"}, "ね。", "ね、なんとやっほー（笑）。"},
        {{"-s4", "-l4", "-e", "CP932"}, "ね。", "ね、なんとやっほー（笑）。"},  // names ignore case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + " " + c.options[0]);
        std::string input = Sjis(c.input), output = Sjis(c.output);

        Result viaStdin = RunJestcat(c.options, input);
        EXPECT_EQ(viaStdin.exitCode, 0);
        EXPECT_EQ(viaStdin.out, output);
        EXPECT_EQ(viaStdin.err, "");

        std::vector<std::string> args = c.options;
        args.push_back(WriteFile("in.txt", input));
        Result viaFile = RunJestcat(args);
        EXPECT_EQ(viaFile.exitCode, 0);
        EXPECT_EQ(viaFile.out, output);

        args.back() = "-";
        Result viaDash = RunJestcat(args, input);
        EXPECT_EQ(viaDash.exitCode, 0);
        EXPECT_EQ(viaDash.out, output);
    }
}

// Every input is one open: the generator starts again from the seed for each.
TEST_F(JestcatTest, EachInputIsSeededAfresh)
{
    std::string a = Sjis("今日は雨です。明日は晴れます。なので、傘を持ちます。だから、安心です。");
    std::string b = Sjis("はい、そうです。ね。");
    std::string pa = WriteFile("a.txt", a), pb = WriteFile("b.txt", b);

    struct Case {
        std::vector<std::string> args;
        std::string stdinBytes, expected;
    };
    const Case cases[] = {
        {{"-s", "7", "-l", "3", pa, pa}, "", Expected(a, 7, 3) + Expected(a, 7, 3)},
        {{"-s", "7", "-l", "3", pa, pb, pa}, "", Expected(a, 7, 3) + Expected(b, 7, 3) + Expected(a, 7, 3)},
        {{"-s", "99", pb, "-", pa}, a, Expected(b, 99, 2) + Expected(a, 99, 2) + Expected(a, 99, 2)},
        {{"-s", "4294967295", "-l", "4", pa}, "", Expected(a, 4294967295u, 4)},
        {{"-s", "0", "-l", "0", pa}, "", Expected(a, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        Result r = RunJestcat(c.args, c.stdinBytes);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.expected);
    }
    // Different seeds really do differ on this text, so the checks above bite.
    EXPECT_NE(Expected(a, 7, 3), Expected(a, 8, 3));
}

// Each FILE is seeded from the clock when its turn comes: one read from a
// pipe that is written a second later gets a later seed than the one before.
TEST_F(JestcatTest, EachFileIsSeededWhenItIsRead)
{
    const std::string text = Sjis("雨です。ね、本当です。なので、帰ります。だから、また明日。");
    const std::string first = WriteFile("first.txt", text), pipe = Path("slow");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::time_t before = std::time(nullptr);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::ofstream(pipe, std::ios::binary) << text;
    });
    Result r = RunJestcat({"-l", "3", first, pipe});
    writer.join();
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    bool matched = false;
    for (std::time_t t1 = before; t1 <= after; ++t1) {
        for (std::time_t t2 = t1 + 1; t2 <= after; ++t2)
            matched = matched || r.out == Expected(text, static_cast<std::uint32_t>(t1), 3) +
                                              Expected(text, static_cast<std::uint32_t>(t2), 3);
    }
    EXPECT_TRUE(matched) << "each FILE's seed is the clock when it is read";
}

// Without --seed the clock in whole seconds seeds each input.
TEST_F(JestcatTest, DefaultSeedIsTheClock)
{
    std::string text = Sjis("雨です。ね、本当です。なので、帰ります。だから、また明日。");
    std::time_t before = std::time(nullptr);
    Result r = RunJestcat({"-l", "3"}, text);
    std::time_t after = std::time(nullptr);
    ASSERT_EQ(r.exitCode, 0);
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t)
        matched = matched || r.out == Expected(text, static_cast<std::uint32_t>(t), 3);
    EXPECT_TRUE(matched);
}

TEST_F(JestcatTest, UnreadableFileIsReportedAndOthersStillPrinted)
{
    std::string a = Sjis("です。"), b = Sjis("ます。");
    std::string pa = WriteFile("a.txt", a), pb = WriteFile("b.txt", b);
    fs::create_directory(m_dir / "sub");

    struct Case {
        std::string bad, message;
    };
    const Case cases[] = {
        {Path("missing.txt"), "jestcat: " + Path("missing.txt") + ": No such file or directory\n"},
        {Path("sub"), "jestcat: " + Path("sub") + ": Is a directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        Result r = RunJestcat({"-s", "3", "-l", "4", pa, c.bad, pb});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, Expected(a, 3, 4) + Expected(b, 3, 4));
    }
}

// Usage errors: one complaint, the GNU hint, exit 2 and nothing on stdout,
// even when a good file was named too.
TEST_F(JestcatTest, BadUsageWritesNothing)
{
    std::string good = WriteFile("good.txt", Sjis("です。"));
    struct Case {
        std::vector<std::string> args;
        std::string complaint;  // the whole first line on stderr
    };
    const std::string level = "' (expected 0..4)\n", seed = "' (expected 0..4294967295)\n";
    const Case cases[] = {
        {{"-l", "5"}, "jestcat: invalid level '5" + level},
        {{"--level=-1"}, "jestcat: invalid level '-1" + level},
        {{"-l", "x"}, "jestcat: invalid level 'x" + level},
        {{"-l", ""}, "jestcat: invalid level '" + level},
        {{"-l", "2x"}, "jestcat: invalid level '2x" + level},
        {{"-l", " 2"}, "jestcat: invalid level ' 2" + level},
        {{"-s", "4294967296"}, "jestcat: invalid seed '4294967296" + seed},
        {{"-s", "-1"}, "jestcat: invalid seed '-1" + seed},
        {{"--seed=abc"}, "jestcat: invalid seed 'abc" + seed},
        {{"--seed=99999999999999999999999"}, "jestcat: invalid seed '99999999999999999999999" + seed},
        {{"-e", "utf-9"}, "jestcat: unknown encoding 'utf-9' (expected auto, cp932, utf-8, euc-jp, iso-2022-jp, "
                          "utf-16le or utf-16be)\n"},
        {{"--to=auto"}, "jestcat: unknown encoding 'auto' (expected cp932, utf-8, euc-jp, iso-2022-jp, utf-16le or "
                        "utf-16be)\n"},
        {{"--nope"}, "jestcat: unrecognized option '--nope'\n"},
        {{"-z"}, "jestcat: invalid option -- 'z'\n"},
        {{"--html=1"}, "jestcat: option '--html' doesn't allow an argument\n"},
        {{"-l"}, "jestcat: option requires an argument -- 'l'\n"},
        {{"--rules"}, "jestcat: option '--rules' requires an argument\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{good};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(args.back());
        Result r = RunJestcat(args, Sjis("です。"));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.complaint + kTryHelp);
    }
}

TEST_F(JestcatTest, RuleFileThatFailsWritesNothing)
{
    // Lines 1 and 2 good, line 3 with an upper-case letter.
    std::string badLine3 = WriteFile("bad.rules", Sjis("r です。 でした。\r\nc note\r\nR x y\r\n"));
    std::string badLine3Lf = WriteFile("badlf.rules", Sjis("\nb 。 !\nX\n"));
    std::string badJis = WriteFile("bad.jis", "c\nb \x1B$B\x24\x22\x1B(B x\nb \x1B$B\x7F\x21\x1B(B y\n");
    fs::create_directory(m_dir / "dir.rules");
    // Two million distinct keys do not fit in 64 MiB.
    std::string many;
    for (int i = 0; i < 2000000; ++i)
        many += "b " + std::to_string(10000000 + i) + " x\n";
    std::string large = WriteFile("large.rules", many);

    struct Case {
        std::string rules, err;
        long limitKiB = 0;
    };
    const Case cases[] = {
        {Path("missing.rules"), "jestcat: " + Path("missing.rules") + ": no such rule file\n"},
        {Path("dir.rules"), "jestcat: " + Path("dir.rules") + ": the rule file is not a regular file\n"},
        {"", "jestcat: '': no such rule file\n"},
        {badLine3, "jestcat: " + badLine3 + ": line 3 of the rule file is not a rule\n"},
        {badLine3Lf, "jestcat: " + badLine3Lf + ": line 3 of the rule file is not a rule\n"},
        {badJis, "jestcat: " + badJis + ": line 3 of the rule file is not a rule\n"},
        {large, "jestcat: " + large + ": not enough memory for the rules\n", 64 << 10},
    };
    std::string input = WriteFile("in.txt", Sjis("雨です。"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rules);
        if (kSanitized && c.limitKiB > 0)
            continue;
        Result r = RunJestcat({"-s", "1", "-r", c.rules, input}, {}, std::nullopt, c.limitKiB);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    // The same limit leaves room for a small rule file: it was the rules.
    const std::string small = WriteFile("small.rules", "b x y\n");
    if (!kSanitized) {
        EXPECT_EQ(RunJestcat({"-s", "1", "-r", small, input}, {}, std::nullopt, 64 << 10).exitCode, 0);
    }
}

// A rule file whose lines end in CR alone loads no rule, and says so.
TEST_F(JestcatTest, RuleFileOfCrLinesSaysWhy)
{
    const std::string rules = WriteFile("cr.rules", Sjis("r です。 でした。\rb 。 !\r"));
    const std::string text = Sjis("雨です。");
    Result r = RunJestcat({"-s", "1", "-l", "4", "-r", rules}, text);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, text);
    EXPECT_EQ(r.err, "jestcat: " + rules + ": the rule file has no LF line breaks (CR only?), so no rule was read\n");
}

TEST_F(JestcatTest, RulesFromAFileReplaceTheBuiltInOnes)
{
    std::string text = Sjis("雨です。xyz、ね。");
    struct Case {
        std::string name, rules;
        std::string mustContain, mustLack;  // UTF-8, checked after the rewrite
    };
    const Case cases[] = {
        {"crlf.rules", "c 例\r\nr xyz ABC\r\nd です。 \r\n", "ABC", "です"},
        {"lf.rules", "r xyz ABC\nb 。 【】\n", "【】。", "xyz"},
        {"none.rules", "", "雨です。xyz、ね。", "（"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = WriteFile(c.name, Sjis(c.rules));
        Result r = RunJestcat({"-r", path, "-s", "5", "-l", "4"}, text);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, Expected(text, 5, 4, path));
        EXPECT_NE(r.out.find(Sjis(c.mustContain)), std::string::npos);
        EXPECT_EQ(r.out.find(Sjis(c.mustLack)), std::string::npos);
        // Named FILEs (the first read before the rules), the rules in CP932 or UTF-8.
        const std::string other = Sjis("です。ます。"), a = WriteFile("a.txt", text), b = WriteFile("b.txt", other);
        for (const std::string& rules : {path, WriteFile(c.name + ".u8", c.rules)}) {
            r = RunJestcat({"-r", rules, "-s", "5", "-l", "4", a, b});
            EXPECT_EQ(r.out, Expected(text, 5, 4, rules) + Expected(other, 5, 4, rules)) << r.err;
        }
    }
}

// Tags go first, then comments; the order changes the result here.
TEST_F(JestcatTest, FiltersRunAfterThePassTagsFirst)
{
    std::string text = Sjis("a/<b>/ note\nです。<p>x/* c */y\n");
    struct Case {
        std::vector<std::string> options;
        bool html, comments;
    };
    const Case cases[] = {
        {{"--html"}, true, false},
        {{"--comments"}, false, true},
        {{"--html", "--comments"}, true, true},
        {{"--comments", "--html"}, true, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"-s", "2", "-l", "4"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(args.back());
        Result r = RunJestcat(args, text);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, Expected(text, 2, 4, {}, c.html, c.comments));
    }
    // Comments stripped before tags would leave the "//" that the tag hid.
    std::string tagsFirst = Expected(text, 2, 4, {}, true, true);
    std::string commentsFirst = Expected(text, 2, 4);
    StripComments(commentsFirst);
    StripHtmlTags(commentsFirst);
    EXPECT_NE(tagsFirst, commentsFirst);
    EXPECT_EQ(tagsFirst.find("note"), std::string::npos);
}

TEST_F(JestcatTest, BytesPassThroughUnchanged)
{
    using namespace std::string_literals;
    const std::string cases[] = {
        "a\0b\0\0c"s,             // NUL bytes
        "abc\x82"s,               // lone lead byte at the end
        "\xFF\xFE\x80\x82\n\r"s,  // bytes that are no CP932 at all
        ""s,                      // empty input, empty output
        "no newline"s,            // nothing added at the end
    };
    for (const std::string& input : cases) {
        SCOPED_TRACE(input.size());
        Result r = RunJestcat({"-l", "4", "--html", "--comments"}, input);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, input);
    }
    // Binary bytes around text that the rules do rewrite.
    std::string mixed = "\0"s + Sjis("です。") + "\x82\0\x81"s;
    Result r = RunJestcat({"-s", "1", "-l", "4"}, mixed);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Expected(mixed, 1, 4));
    EXPECT_NE(r.out, mixed);
}

// Text in `id` (with a mark when `bom`) from UTF-8.
std::string Encode(std::string_view utf8, EncodingId id, bool bom = false)
{
    std::string out;
    if (!ConvertText(utf8, {EncodingId::Utf8, false}, {id, bom}, out))
        throw std::runtime_error("test text does not convert");
    return out;
}

// Every encoding, detected, comes back byte for byte when no rule fires,
// and --detect names it.
TEST_F(JestcatTest, EveryEncodingRoundTripsAndIsDetected)
{
    using E = EncodingId;
    std::string utf8;
    ConvertText(prose::Generate(3000, 5), {E::Cp932, false}, {E::Utf8, false}, utf8);
    utf8 += "\r\nｱｲｳ ～∥ ABC\\~\n";
    const struct {
        std::string bytes;
        const char* detected;
    } cases[] = {
        {Encode(utf8, E::Cp932), "cp932"},
        {Encode(utf8 + "①㈱", E::Cp932), "cp932"},
        {Encode(utf8 + "😀", E::Utf8), "utf-8"},
        {Encode(utf8, E::Utf8, true), "utf-8 bom"},
        {Encode(utf8 + "①", E::EucJp), "euc-jp"},
        {Encode(utf8, E::Iso2022Jp), "iso-2022-jp"},
        {Encode(utf8, E::Iso2022Jp) + "\x1B(J\\\x1B(B", "iso-2022-jp"},  // ¥, which EUC-JP cannot hold
        {Encode(utf8, E::Utf16Le, true), "utf-16le bom"},
        {Encode(utf8 + "😀", E::Utf16Be, true), "utf-16be bom"},
    };
    const std::string rules = WriteFile("empty.rules", "");
    std::vector<std::string> detect{"--detect"};
    std::string detected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = WriteFile("t" + std::to_string(i), cases[i].bytes);
        detect.push_back(name);
        detected += name + ": " + cases[i].detected + "\n";
        SCOPED_TRACE(cases[i].detected);
        Result r = RunJestcat({"-r", rules, "-l", "4", name});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == cases[i].bytes);
    }
    Result r = RunJestcat(detect);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, detected);
}

// -t converts; a file that the target cannot hold is named and left out
// whole, the others still written.
TEST_F(JestcatTest, ConvertsOutputOrLeavesTheFileOut)
{
    using E = EncodingId;
    const std::string good = WriteFile("good.txt", Encode("雨です。\n", E::EucJp));
    const std::string bad = WriteFile("bad.txt", Encode("晴れ\n①です。\n", E::Utf8));
    Result r = RunJestcat({"-s", "1", "-l", "2", "-t", "iso-2022-jp", good, bad, good});
    EXPECT_EQ(r.exitCode, 1);
    const std::string once = Encode("雨ではありません（笑）。\n", E::Iso2022Jp);
    EXPECT_EQ(r.out, once + once);
    EXPECT_EQ(r.err, "jestcat: " + bad + ": line 2: U+2460 cannot be written in ISO-2022-JP\n");
    // UTF-16 gets a mark, FF FE or FE FF; -e names the input's encoding.
    for (const auto& [to, id] : {std::pair{"--to=UTF-16LE", E::Utf16Le}, std::pair{"-tutf-16be", E::Utf16Be}}) {
        r = RunJestcat({"-s", "1", "-e", "EUC-JP", to, good});
        EXPECT_EQ(r.out, Encode("雨ではありません（笑）。\n", id, true)) << to;
    }
    // The rule file's encoding given rather than detected.
    const std::string rules = WriteFile("u.rules", "b \xE3\x80\x82 !\n");  // "。" in UTF-8
    r = RunJestcat({"-l", "4", "-r", rules, "--rules-encoding=utf-8", good});
    EXPECT_EQ(r.out, Encode("雨です!。\n", E::EucJp));
    r = RunJestcat({"-l", "4", "-r", rules, "--rules-encoding=cp932", good});
    EXPECT_EQ(r.out, Encode("雨です。\n", E::EucJp));
    EXPECT_EQ(r.err, "jestcat: " + rules + ": rules left out, as EUC-JP cannot hold them: line 1 (invalid bytes)\n");
}

// An input that is not valid in its encoding is named with the line, the
// offset and the bytes, and nothing of it is written.
TEST_F(JestcatTest, UndecodableInputIsNamed)
{
    struct Case {
        const char* encoding;
        std::string bytes, message;
    };
    const Case cases[] = {
        {"utf-16le", std::string("\xFF\xFE\n\0\x00\xD8", 6), "line 2: UTF-16LE text ends inside a character at byte 4"},
        {"iso-2022-jp", "a\n\x1B$B\x21", "line 2: ISO-2022-JP text ends inside a character at byte 5"},
        {"iso-2022-jp", "ab\x80\x63\x64", "line 1: invalid ISO-2022-JP bytes at byte 2 (80 63 64)"},
        {"iso-2022-jp", std::string("\xFF\xFE\n\0\x00\xD8", 6), "line 1: invalid ISO-2022-JP bytes at byte 0 (FF FE 0A 00)"},
    };
    for (const Case& c : cases) {
        const std::string file = WriteFile("bad.txt", c.bytes);
        Result r = RunJestcat({"-s", "1", "-e", c.encoding, file});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "jestcat: " + file + ": " + c.message + "\n");
    }
}

TEST_F(JestcatTest, LargeInputThroughPipes)
{
    std::string unit = Sjis("今日は雨です。明日は、晴れます。\r\n");
    std::string text;
    while (text.size() < std::size_t{2} * 1024 * 1024)
        text += unit;
    Result r = RunJestcat({"-s", "11", "-l", "1"}, text);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Expected(text, 11, 1));
}

TEST_F(JestcatTest, HelpAndVersion)
{
    Result version = RunJestcat({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "jestcat (Jestpad) 3.0");
    EXPECT_EQ(RunJestcat({"-V"}).out, version.out);

    Result help = RunJestcat({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: jestcat [OPTION]... [FILE]...\n", 0), 0u);
    for (const char* option : {"--level=N", "--rules=FILE", "--seed=N", "--html", "--comments",
                               "--encoding=ENC", "--help", "--version", "Exit status:", "いつも"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    for (const CEncodingInfo& row : kEncodings)
        EXPECT_NE(help.out.find(row.m_option), std::string::npos) << row.m_option;
    EXPECT_EQ(RunJestcat({"-h"}).out, help.out);
}

// A failed write to standard output is an error, not success, and ends the
// run: one message, however many FILEs are left.
TEST_F(JestcatTest, WriteErrorIsReported)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const std::string file = WriteFile("in.txt", Sjis("雨です。"));
    struct Case {
        std::vector<std::string> args;
        std::string input;
    };
    const Case cases[] = {
        {{"-s", "1"}, Sjis("雨です。")},
        {{"-s", "1", file, file}, ""},
        {{"--help"}, ""},
        {{"--version"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size());
        Result r = RunJestcat(c.args, c.input, "/dev/full");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "jestcat: write error: No space left on device\n");
    }
}

}  // namespace

namespace {

// --stats after each FILE, and the note when a pass stops at its bound; the
// exit status stays 0 and the output is the text as far as the pass got.
TEST_F(JestcatTest, StatsAndTheBoundNoteOnStandardError)
{
    const std::string rules = WriteFile("s.rules", "b x y\nb y x\nr \001q Q\nr z Z\nr never N\n");
    const std::string quiet = WriteFile("quiet.txt", "zz\001q");
    const std::string chain = WriteFile("chain.txt", "x");
    const std::string none = WriteFile("none.txt", "abc");
    const std::string sjis = Sjis("です。雨です。、");
    const struct {
        std::vector<std::string> args;
        std::string input;
        std::string err;
    } cases[] = {
        {{"--stats"}, sjis, "-:\n  「です。」 2\n  「。」 2\n  「、」 1\n  total 5\n"},
        {{"-r", rules, "--stats", quiet, none}, "",
         quiet + ":\n  「\\x01q」 1\n  「z」 2\n  total 3\n" + none + ":\n  total 0\n"},
        {{"-r", rules, "--stats", chain}, "",
         "jestcat: " + chain + ": rewriting stopped at its bound; the rest is written as it was\n" + chain +
             ":\n  「x」 2064\n  「y」 2063\n  total 4127\n"},
        {{"-r", rules, chain}, "", "jestcat: " + chain + ": rewriting stopped at its bound; the rest is written as it was\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-s", "3", "-l", "4"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(args.back());
        const Result r = RunJestcat(args, c.input);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, c.err);
        if (c.args.back() == chain) {
            EXPECT_EQ(r.out, Expected("x", 3, 4, rules));
        }
    }
}

}  // namespace

// Text as it really is: damaged UTF-8, ISO-2022-JP written another way, and
// EUC-JP read as Unix tools read it.
TEST_F(JestcatTest, RealTextComesBackAsItWas)
{
    using namespace std::string_literals;
    // あ。 with ESC $ @ and a redundant return to ASCII: the rules fire, the
    // untouched stretches are the file's own bytes.
    const std::string jis = "\x1B$@\x24\x22\x21\x23\x1B(B\x1B(B\n"s;
    Result r = RunJestcat({"-s", "2", "-l", "4"}, jis);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out, jis);
    EXPECT_TRUE(r.out.starts_with("\x1B$@\x24\x22")) << r.out;
    EXPECT_TRUE(r.out.ends_with("\x21\x23\x1B(B\x1B(B\n")) << r.out;
    // 「か、ASCII」 with a cut character: UTF-8, back as it was, the bad bytes kept.
    const std::string damaged = "\xE3\x81\x8B\xE3\x80\x81\xE3\x81" "ASCII\n"s;
    const std::string none = WriteFile("none.rules", "");
    r = RunJestcat({"-r", none}, damaged);
    EXPECT_EQ(r.out, damaged);
    r = RunJestcat({"-s", "1", "-l", "4"}, damaged);
    EXPECT_TRUE(r.out.ends_with("\xE3\x81" "ASCII\n")) << r.out;
    r = RunJestcat({"--detect"}, damaged);
    EXPECT_EQ(r.out, "-: utf-8\n");
    // EUC-JP 〜 (A1C1) converts to U+301C.
    r = RunJestcat({"-r", none, "-t", "utf-8"}, "\xC6\xFC\xA1\xC1\n"s);
    EXPECT_EQ(r.out, "日〜\n");
}
