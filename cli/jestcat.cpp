// jestcat: the Jest rewriting as a Unix filter. Each FILE (or standard input)
// is read whole, its encoding detected (or given), rewritten with a freshly
// seeded generator, filtered, and written to standard output in its own
// encoding (or the one of --to).

#include "Encoding.h"
#include "FileRead.h"
#include "Rewrite.h"
#include "RuleSet.h"
#include "Version.h"

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* kProgram = "jestcat";
constexpr int kExitOk = 0;
constexpr int kExitTrouble = 1;  // an input could not be read, or output failed
constexpr int kExitUsage = 2;    // bad option or rule file; nothing was written

// jestcat's messages about the text; those about the rule file are below.
constexpr const char* kUnrepresentable = "line %zu: U+%04X cannot be written in %s";
constexpr const char* kIncompleteInput = "line %zu: %s text ends inside a character at byte %zu";
constexpr const char* kInvalidInput = "line %zu: invalid %s bytes at byte %zu";
constexpr const char* kNoConverter = "no converter from %s to %s";
constexpr const char* kPassCutShort = "rewriting stopped at its bound; the rest is written as it was";
constexpr const char* kUtf32Text =
    "UTF-32 text (byte-order mark at byte 0) cannot be read; convert it to UTF-8 or UTF-16 first";

// Long-only options get values outside the range of characters.
enum : int { kOptHtml = 256, kOptComments, kOptDetect, kOptRulesEncoding, kOptStats };

struct Options {
    CRewriteOptions rewrite;
    std::optional<std::uint32_t> seed;
    std::optional<std::string> rules;
    std::optional<EncodingId> encoding;       // of the input; nullopt: detect
    std::optional<EncodingId> to;             // of the output; nullopt: the input's
    std::optional<EncodingId> rulesEncoding;  // of the rule file; nullopt: detect
    bool detect = false;
    bool stats = false;  // firings per rule group on standard error
    std::vector<std::string> files;
};

void PrintError(const std::string& message)
{
    std::string line = std::string(kProgram) + ": " + message + "\n";
    // Best effort: nothing more can be done if standard error fails too.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

[[noreturn]] void UsageError(const std::string& complaint)
{
    if (!complaint.empty())
        PrintError(complaint);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
    std::exit(kExitUsage);
}

// Prints to standard output and exits; a failed write is not success.
[[noreturn]] void PrintAndExit(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        PrintError(std::string("write error: ") + std::strerror(errno));
        std::exit(kExitTrouble);
    }
    std::exit(kExitOk);
}

// "cp932, utf-8, ... or utf-16be": every encoding's option name.
std::string EncodingList()
{
    std::string list;
    for (std::size_t i = 0; i < kEncodingCount; ++i) {
        if (i > 0)
            list += i + 1 == kEncodingCount ? " or " : ", ";
        list += kEncodings[i].m_option;
    }
    return list;
}

// The words of `text` after `first`, wrapped at 79 columns under `indent`.
std::string Wrapped(std::string first, const std::string& text, const std::string& indent)
{
    std::string out;
    std::string line = std::move(first);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (line.size() + 1 + word.size() > 79 && line.size() > indent.size()) {
            out += line + "\n";
            line = indent + word;
        } else {
            line += (line.empty() || line.back() == ' ' ? "" : " ") + word;
        }
    }
    return out + line + "\n";
}

std::string HelpText()
{
    return std::string("Usage: ") + kProgram + " [OPTION]... [FILE]...\n" +
           "  or:  " + kProgram + " --detect [FILE]...\n"
           "Rewrite each FILE with the Jest rules and write the result to standard output.\n"
           "\n"
           "With no FILE, or when FILE is -, read standard input. Each FILE is read\n"
           "whole and rewritten on its own: its encoding is detected (or taken from -e),\n"
           "the generator is seeded afresh for it, the rules are applied, then the\n"
           "enabled filters. The output is in the input's encoding, byte-order mark kept,\n"
           "and unchanged apart from the rewriting (or converted with -t).\n"
           "\n"
           "  -l, --level=N       frequency level 0..4 (0 ほとんどなし 5 %, 1 少なめ 25 %,\n"
           "                        2 普通 50 % (default), 3 多め 75 %, 4 いつも 100 %)\n"
           "  -r, --rules=FILE    rules from this rule file instead of the built-in rules\n"
           "  -s, --seed=N        seed of the generator, 0..4294967295\n"
           "                        (default: the clock, in whole seconds)\n"
           "      --html          strip HTML tags after the rewriting\n"
           "      --comments      strip C/C++ comments after the rewriting\n"
           "                        (after --html when both are given)\n" +
           Wrapped("  -e, --encoding=ENC  encoding of the input:", "auto (default: detect), " + EncodingList(),
                   std::string(24, ' ')) +
           "                        (iconv's names too: shift_jis, sjis, eucjp, ...)\n"
           "  -t, --to=ENC        write the output in ENC (a byte-order mark for UTF-16\n"
           "                        only); a character that ENC cannot hold is an error\n"
           "      --rules-encoding=ENC  encoding of the rule file (default: auto)\n"
           "      --detect        print 'FILE: ENC' (and ' bom') for each FILE, the\n"
           "                        encoding auto picks, and rewrite nothing\n"
           "      --stats         after each FILE, print on standard error how often\n"
           "                        each rule group fired (key, count) and the total\n"
           "  -h, --help          display this help and exit\n"
           "  -V, --version       output version information and exit\n"
           "\n"
           "Exit status:\n"
           " 0  if OK,\n"
           " 1  if a FILE could not be read, decoded or converted (nothing of it is\n"
           "    written), or the output could not be written,\n"
           " 2  if an option or the rule file is bad (nothing is written then), or the\n"
           "    rules do not fit in memory for a FILE (jestcat stops there).\n"
           "\n"
           "Examples:\n"
           "  " + kProgram + " -l 4 note.txt\n"
           "  " + kProgram + " -t utf-8 old-sjis.txt\n"
           "  " + kProgram + " --detect *.txt\n"
           "\n"
           "See jestcat(1) for the rule file format.\n";
}

// Decimal digits only, no sign, no spaces; nullopt when out of range.
std::optional<std::uint64_t> ParseUnsigned(const char* text, std::uint64_t max)
{
    if (text == nullptr || *text == '\0')
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > max)
            return std::nullopt;
    }
    return value;
}

// An -e, -t or --rules-encoding value; auto only where allowed (nullopt).
std::optional<EncodingId> ParseEncodingOption(const char* text, bool allowAuto)
{
    if (allowAuto && IsAutoEncodingName(text))
        return std::nullopt;
    if (auto id = ParseEncodingName(text))
        return id;
    UsageError(std::string("unknown encoding '") + text + "' (expected " + (allowAuto ? "auto, " : "") +
               EncodingList() + ")");
}

Options ParseOptions(int argc, char** argv)
{
    static const option kLongOptions[] = {
        {"level", required_argument, nullptr, 'l'},
        {"rules", required_argument, nullptr, 'r'},
        {"seed", required_argument, nullptr, 's'},
        {"html", no_argument, nullptr, kOptHtml},
        {"comments", no_argument, nullptr, kOptComments},
        {"encoding", required_argument, nullptr, 'e'},
        {"to", required_argument, nullptr, 't'},
        {"rules-encoding", required_argument, nullptr, kOptRulesEncoding},
        {"detect", no_argument, nullptr, kOptDetect},
        {"stats", no_argument, nullptr, kOptStats},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };

    // getopt's own complaints name argv[0]; make them name the program alone.
    if (argc > 0)
        argv[0] = const_cast<char*>(kProgram);

    Options opts;
    int c;
    while ((c = getopt_long(argc, argv, "l:r:s:e:t:hV", kLongOptions, nullptr)) != -1) {
        switch (c) {
        case 'l': {
            auto level = ParseUnsigned(optarg, 4);
            if (!level)
                UsageError(std::string("invalid level '") + optarg + "' (expected 0..4)");
            opts.rewrite.m_nLevel = static_cast<int>(*level);
            break;
        }
        case 's': {
            auto seed = ParseUnsigned(optarg, UINT32_MAX);
            if (!seed)
                UsageError(std::string("invalid seed '") + optarg + "' (expected 0..4294967295)");
            opts.seed = static_cast<std::uint32_t>(*seed);
            break;
        }
        case 'r':
            opts.rules = optarg;
            break;
        case 'e':
            opts.encoding = ParseEncodingOption(optarg, true);
            break;
        case 't':
            opts.to = ParseEncodingOption(optarg, false);
            break;
        case kOptRulesEncoding:
            opts.rulesEncoding = ParseEncodingOption(optarg, true);
            break;
        case kOptDetect:
            opts.detect = true;
            break;
        case kOptStats:
            opts.stats = true;
            break;
        case kOptHtml:
            opts.rewrite.m_bHtmlFilter = true;
            break;
        case kOptComments:
            opts.rewrite.m_bCommentFilter = true;
            break;
        case 'h':
            PrintAndExit(HelpText());
        case 'V':
            PrintAndExit(std::string(kProgram) + " (Jestpad) " JESTPAD_VERSION "\n");
        default:
            // getopt has already said what was wrong.
            UsageError("");
        }
    }
    for (int i = optind; i < argc; ++i)
        opts.files.emplace_back(argv[i]);
    if (opts.files.empty())
        opts.files.emplace_back("-");
    return opts;
}

// Why the rule file did not load, in words.
std::string RuleLoadMessage(std::string name, const CRuleLoadResult& result)
{
    if (name.empty())
        name = "''";
    switch (result.m_eFailure) {
    case RuleLoadFailure::kNone: break;
    case RuleLoadFailure::kMissing: return name + ": no such rule file";
    case RuleLoadFailure::kUnreadable: return name + ": cannot read the rule file: " + std::strerror(result.m_nError);
    case RuleLoadFailure::kNotRegular: return name + ": the rule file is not a regular file";
    case RuleLoadFailure::kTooLarge: return name + ": the rule file is too large (at most 64 MiB of rules)";
    case RuleLoadFailure::kBadLine:
        return name + ": line " + std::to_string(result.m_nLine) + " of the rule file is not a rule";
    case RuleLoadFailure::kOutOfMemory: return name + ": not enough memory for the rules";
    }
    return name + ": the rule file has no LF line breaks (CR only?), so no rule was read";
}

// The rules left out of a rewriting, in one line: "RULES: rules left out,
// as Shift_JIS cannot hold them: line 3 (U+1F600), line 4 (invalid bytes)".
std::string LeftOutMessage(const std::string& name, const std::vector<CLeftOutRule>& rules)
{
    constexpr std::size_t kShown = 20;
    std::string items;
    for (std::size_t i = 0; i < rules.size() && i < kShown; ++i) {
        char item[64];
        if (rules[i].m_cChar)
            std::snprintf(item, sizeof item, "line %lld (U+%04X)", static_cast<long long>(rules[i].m_nLine),
                          static_cast<unsigned>(*rules[i].m_cChar));
        else
            std::snprintf(item, sizeof item, "line %lld (invalid bytes)", static_cast<long long>(rules[i].m_nLine));
        items += (i > 0 ? ", " : "") + std::string(item);
    }
    if (rules.size() > kShown) items += " and " + std::to_string(rules.size() - kShown) + " more";
    return (name.empty() ? "built-in rules" : name) + ": rules left out, as " +
           DisplayName({rules.front().m_encoding, false}) + " cannot hold them: " + items;
}

// Reads FILE ("-" is standard input); on failure the message names it.
bool ReadInput(const std::string& name, CByteString& text)
{
    const int error = name == "-" ? ReadToEnd(STDIN_FILENO, text) : ReadWholeFile(name, text, false);
    if (error == 0)
        return true;
    PrintError(name + ": " + std::strerror(error));
    return false;
}

// What stopped a conversion, in one line: the line, then the character or
// the bytes (up to four of `input`, the text converted).
std::string Describe(const CConvertError& error, std::string_view input)
{
    using Kind = CConvertError::Kind;
    char buf[160];
    const std::string from = DisplayName({error.m_from, false});
    const std::string to = DisplayName({error.m_to, false});
    switch (error.m_eKind) {
    case Kind::Unrepresentable:
        std::snprintf(buf, sizeof buf, kUnrepresentable, error.m_nLine, static_cast<unsigned>(error.m_cChar),
                      to.c_str());
        return buf;
    case Kind::IncompleteInput:
        std::snprintf(buf, sizeof buf, kIncompleteInput, error.m_nLine, from.c_str(), error.m_nOffset);
        return buf;
    case Kind::NoConverter:
        std::snprintf(buf, sizeof buf, kNoConverter, from.c_str(), to.c_str());
        return buf;
    case Kind::Utf32Text:
        return kUtf32Text;
    case Kind::InvalidInput:
        break;
    }
    std::string shown;
    for (std::size_t i = error.m_nOffset; i < input.size() && i < error.m_nOffset + 4; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02X", shown.empty() ? "" : " ", static_cast<unsigned char>(input[i]));
        shown += hex;
    }
    std::snprintf(buf, sizeof buf, kInvalidInput, error.m_nLine, from.c_str(), error.m_nOffset);
    return shown.empty() ? std::string(buf) : std::string(buf) + " (" + shown + ")";
}

// A rule key for the statistics: UTF-8, with control bytes, backslashes and
// bytes that do not convert written as \xNN.
std::string ShownKey(const CByteString& key, EncodingId encoding)
{
    std::string utf8;
    const bool converted = DecodeToUtf8(key, {encoding, false}, utf8);
    std::string shown;
    for (const char c : converted ? utf8 : key) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '\\' || (!converted && b >= 0x80)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

// "FILE:" and a line per group that fired, in the order the groups are
// tried: its key in 「」 and the count; then the total.
std::string StatsText(const CRuleSet& rules, EncodingId encoding, const CRewriteReport& report,
                      const std::string& name)
{
    const std::vector<CRuleGroup> groups = rules.GetPassGroups(encoding);
    std::string text = name + ":\n";
    for (std::size_t g = 0; g < groups.size() && g < report.m_arrGroupFirings.size(); ++g) {
        if (report.m_arrGroupFirings[g] != 0)
            text += "  「" + ShownKey(groups[g].GetKey(), encoding) + "」 " +
                    std::to_string(report.m_arrGroupFirings[g]) + "\n";
    }
    return text + "  total " + std::to_string(report.m_nFirings) + "\n";
}

// The open pipeline of the window, on one input: to the pass's bytes, seed,
// pass, filters, back to the output's encoding. False, with the message
// printed, when the input cannot be decoded or the output cannot hold it.
// With --stats, stats receives what StatsText gives.
// `found`: the text's encoding as DetectEncoding found it already, which
// EncodingForBytes gives back as it was (mark included), so not sought again.
bool Rewrite(CRuleSet& rules, const Options& opts, const std::string& name, CByteString& text, std::string& stats,
             std::optional<EncodingId> found = std::nullopt)
{
    CTextEncoding encoding{.m_forced = opts.encoding ? opts.encoding : found};
    CByteString passText;
    CConvertError error;
    CPassOrigin origin;
    if (!ToPassText(text, encoding, passText, &error, &origin)) {
        PrintError(name + ": " + Describe(error, text));
        return false;
    }
    CRewriteOptions options = opts.rewrite;
    options.m_encoding = encoding.m_pass;
    // Seeded when the input has been read, just before its pass.
    const std::uint32_t seed = opts.seed ? *opts.seed : static_cast<std::uint32_t>(std::time(nullptr));
    // The rules converted for this text once, for every FILE like it; rules
    // that do not fit in memory are a rule file that does not load.
    if (!rules.PreparePass(options.m_encoding)) {
        PrintError(RuleLoadMessage(opts.rules.value_or("-"), CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory)));
        std::exit(kExitUsage);
    }
    const std::vector<CLeftOutRule> leftOut = rules.LeftOutRules(options.m_encoding);
    if (!leftOut.empty())
        PrintError(LeftOutMessage(rules.GetFileName(), leftOut));
    CRewriteReport report;
    // ISO-2022-JP output copies what the pass left alone: it needs the edits.
    const bool wantReport = opts.stats || encoding.m_file.m_id == EncodingId::Iso2022Jp;
    if (!RewriteText(rules, passText, seed, options, wantReport ? &report : nullptr))
        PrintError(name + ": " + kPassCutShort);
    if (opts.stats)
        stats = StatsText(rules, options.m_encoding, report, name);
    // Wide encodings get a mark, so that they can be recognised again.
    const CEncoding output = opts.to ? CEncoding{*opts.to, HasWideUnits(*opts.to)} : encoding.m_file;
    if (!FromPassText(passText, encoding.m_pass, output, text, &error, &origin, wantReport ? &report : nullptr)) {
        PrintError(name + ": " + Describe(error, passText));
        return false;
    }
    return true;
}

int Run(int argc, char** argv)
{
    Options opts = ParseOptions(argc, argv);

    // The rules come first, so that a bad rule file writes nothing at all.
    CRuleSet rules;
    // Read before the rules where it is a regular file (which never blocks),
    // with its encoding as detected then.
    std::optional<std::pair<CByteString, EncodingId>> firstText;
    if (!opts.detect && opts.rules) {
        // With -e the rules are made ready for that text here, so that a lack
        // of memory for them is a rule file that does not load; without it,
        // for the first FILE's encoding where it was read, and for each
        // other FILE's as it is found. Made ready as they load, rules for
        // text in another encoding sort their keys once, not twice.
        std::optional<EncodingId> pass = opts.encoding ? std::optional(PassEncoding(*opts.encoding)) : std::nullopt;
        CByteString first;
        if (!pass && opts.files[0] != "-" && ReadWholeFile(opts.files[0], first, true) == 0) {
            const EncodingId found = DetectEncoding(first).m_id;
            pass = PassEncoding(found);
            firstText.emplace(std::move(first), found);
        }
        const CRuleLoadResult loaded =
            rules.LoadRuleFile(*opts.rules, opts.rulesEncoding, pass, CRuleSet::Ready::kOnPrepare);
        if (!loaded || loaded.m_bCrOnly)
            PrintError(RuleLoadMessage(*opts.rules, loaded));
        if (!loaded)
            return kExitUsage;
    }

    int status = kExitOk;
    for (std::size_t i = 0; i < opts.files.size(); ++i) {
        const std::string& name = opts.files[i];
        CByteString text;
        std::string stats;
        std::optional<EncodingId> found;
        try {
            if (i == 0 && firstText) {
                text = std::move(firstText->first);
                found = firstText->second;
            } else if (!ReadInput(name, text)) {
                status = kExitTrouble;
                continue;
            }
            if (opts.detect) {
                const CEncoding found = DetectEncoding(text);
                text = name + ": " + OptionName(found.m_id) + (found.m_bBom ? " bom" : "") + "\n";
            } else if (!Rewrite(rules, opts, name, text, stats, found)) {
                status = kExitTrouble;
                continue;
            }
        } catch (const std::bad_alloc&) {
            PrintError(name + ": memory exhausted");
            status = kExitTrouble;
            continue;
        }
        if (const int error = WriteAll(STDOUT_FILENO, text)) {
            PrintError(std::string("write error: ") + std::strerror(error));
            return kExitTrouble;
        }
        // Best effort, as for every message.
        std::fwrite(stats.data(), 1, stats.size(), stderr);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        PrintError(e.what());
        return kExitTrouble;
    }
}
