// Arbitrary bytes as rule file, text, level and seed. Layout of the input:
//   byte 0      level (taken modulo 7, so 5 and 6 test out-of-range levels)
//   bytes 1-4   seed, little endian
//   byte 5      flags: 1 tag filter, 2 comment filter, 4 built-in rules,
//               32 many keys (the rule bytes are a list of keys, not a file),
//               64 the whole road: the text is a file's bytes, detected (or,
//               with 128, taken as the encoding byte 1 names, modulo 6),
//               converted to the pass's text, rewritten and converted back
//               to its own encoding (8 and 16 clear) or to the one byte 2
//               names (modulo 6, UTF-16 with a mark);
//               without 64: the text is the pass's, 8 UTF-8, 16 EUC-JP (8
//               wins), else CP932
//   bytes 6-7   length of the rule file, little endian (clamped to what is left)
//   then the rule file's bytes, then the text.
// Aborts when the fast pass and the oracle disagree, the pass's edit report
// does not lead from its input to its output or changes a draw, a failed
// load changed the rule set, AddRule grouped many keys otherwise than a plain
// map does, or a conversion on the road fails where it cannot or does not
// give the file's bytes back.
#include "EditReport.h"
#include "Encoding.h"
#include "MarkupFilters.h"
#include "Oracle.h"
#include "Random.h"
#include "Rewrite.h"
#include "RuleSet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// The oracle rebuilds the text at every firing: on texts longer than this it
// runs only while its work (firings times length) stays within kOracleWork,
// so that endless chains on long texts do not take seconds per input.
constexpr std::size_t kAlwaysOracle = 400;
constexpr std::int64_t kOracleWork = 20'000'000;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "engine_fuzzer: %s\n", what);
        std::abort();
    }
}

bool SameRules(const CRuleSet& a, const CRuleSet& b)
{
    if (a.GetGroupCount() != b.GetGroupCount() || a.GetFileName() != b.GetFileName()) return false;
    for (int i = 0; i < a.GetGroupCount(); ++i) {
        const CRuleGroup ga = a.GetGroup(i);
        const CRuleGroup gb = b.GetGroup(i);
        if (ga.GetKey() != gb.GetKey() || ga.GetModes() != gb.GetModes() || ga.GetTexts() != gb.GetTexts())
            return false;
    }
    return true;
}

// Many keys through AddRule: each LF-separated piece of the bytes is a key,
// its length decides the mode and its first half is the text. Keys share
// beginnings and repeat as the fuzzer makes them; the groups must be what a
// plain map from key to group gives.
void BuildManyKeys(CRuleSet& rules, const CByteString& bytes)
{
    rules.RemoveAllGroups();
    std::map<CByteString, int> seen;
    std::vector<std::pair<CByteString, std::vector<CByteString>>> expected;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == CByteString::npos) end = bytes.size();
        const CByteString key = bytes.substr(start, end - start);
        const CByteString text = key.substr(0, key.size() / 2);
        rules.AddRule(static_cast<int>(key.size() % 4), key, text);
        const auto [it, fresh] = seen.emplace(key, static_cast<int>(expected.size()));
        if (fresh) expected.push_back({key, {}});
        expected[static_cast<std::size_t>(it->second)].second.push_back(text);
        start = end + 1;
    }
    // Frozen, as a pass reads them (GetGroup is linear while AddRule gathers).
    Check(rules.PreparePass(EncodingId::Cp932), "many keys: prepared");
    Check(rules.GetGroupCount() == static_cast<int>(expected.size()), "many keys: group count");
    for (int g = 0; g < rules.GetGroupCount(); ++g) {
        const CRuleGroup group = rules.GetGroup(g);
        const auto& want = expected[static_cast<std::size_t>(g)];
        Check(group.GetKey() == want.first && group.GetTexts() == want.second, "many keys: group differs");
    }
}

// The file's bytes to the pass's text, as the window and jestcat read them,
// and back without a rewrite: the file's own bytes again, in every encoding.
// False when the bytes are not valid in the encoding.
bool ReadFile(const CByteString& file, CTextEncoding& encoding, CByteString& passText, CPassOrigin& origin)
{
    CConvertError error;
    if (!ToPassText(file, encoding, passText, &error, &origin)) {
        Check(passText.empty(), "failed conversion to the pass's text changed it");
        Check(error.m_nOffset <= file.size(), "conversion failure outside the input");
        return false;
    }
    CByteString back;
    const CRewriteReport none;
    Check(FromPassText(passText, encoding.m_pass, encoding.m_file, back, nullptr, &origin, &none) && back == file,
          "file bytes do not come back unchanged");
    return true;
}

// The rewritten text to the output's bytes: a failure leaves them as they
// were and is described. The file's own UTF-16 takes every text the pass
// makes from it.
void WriteFile(const CByteString& text, EncodingId pass, const CEncoding& output, bool own, const CPassOrigin& origin,
               const CRewriteReport& report)
{
    CByteString bytes = "untouched";
    CConvertError error;
    if (FromPassText(text, pass, output, bytes, &error, &origin, &report)) {
        // The file's own ISO-2022-JP, changed stretches spliced in, reads again.
        if (own && output.m_id == EncodingId::Iso2022Jp) {
            CByteString again;
            CTextEncoding jis{.m_forced = EncodingId::Iso2022Jp};
            Check(ToPassText(bytes, jis, again), "ISO-2022-JP written back does not read");
        }
        return;
    }
    Check(bytes == "untouched", "failed conversion back changed its output");
    Check(error.m_nOffset <= text.size(), "conversion failure outside the input");
    Check(!own || !HasWideUnits(output.m_id),
          "rewritten UTF-16 text does not go back to UTF-16");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8) return 0;
    const int level = data[0] % 7;
    const std::uint32_t seed = static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
                               static_cast<std::uint32_t>(data[3]) << 16 | static_cast<std::uint32_t>(data[4]) << 24;
    const std::uint8_t flags = data[5];
    std::size_t ruleLength = static_cast<std::size_t>(data[6]) | static_cast<std::size_t>(data[7]) << 8;
    const char* rest = reinterpret_cast<const char*>(data + 8);
    const std::size_t restSize = size - 8;
    if (ruleLength > restSize) ruleLength = restSize;
    const CByteString ruleFile(rest, ruleLength);
    const CByteString file(rest + ruleLength, restSize - ruleLength);

    CRuleSet rules;
    // Half the loads leave the key index to the pass's preparation, as jestcat's do.
    const bool onPrepare = (seed >> 31) != 0 && !(flags & 32) && !(flags & 4);
    if (flags & 32) {
        BuildManyKeys(rules, ruleFile);
    } else if (!(flags & 4)) {
        const CRuleSet before = rules;
        const CRuleLoadResult loaded = rules.LoadRuleBytes(ruleFile, "fuzz.rules", std::nullopt, std::nullopt,
                                                           onPrepare ? CRuleSet::Ready::kOnPrepare : CRuleSet::Ready::kOwnEncoding);
        if (loaded) {
            Check(rules.GetFileName() == "fuzz.rules", "successful load");
        } else {
            Check(SameRules(rules, before), "failed load changed the rule set");
            Check(loaded.m_eFailure == RuleLoadFailure::kBadLine && loaded.m_nLine > 0, "failed load without its line");
        }
    }

    CRewriteOptions options{.m_nLevel = level, .m_bHtmlFilter = (flags & 1) != 0, .m_bCommentFilter = (flags & 2) != 0};
    const bool road = (flags & 64) != 0;
    CTextEncoding encoding;
    CByteString text;
    CPassOrigin origin;
    if (road) {
        if (flags & 128) encoding.m_forced = kAllEncodings[data[1] % 6];
        if (!ReadFile(file, encoding, text, origin)) return 0;
        options.m_encoding = encoding.m_pass;
    } else {
        text = file;
        options.m_encoding = flags & 8 ? EncodingId::Utf8 : flags & 16 ? EncodingId::EucJp : EncodingId::Cp932;
    }
    if (onPrepare) Check(rules.PreparePass(options.m_encoding), "preparation after the load failed");
    CByteString plain = text;
    RewriteText(rules, plain, seed, options);
    const int plainNext = jest::rand();
    // The same rewrite asking for its report: the same bytes and draws.
    CByteString fast = text;
    CRewriteReport report;
    RewriteText(rules, fast, seed, options, &report);
    const int fastNext = jest::rand();
    Check(fast == plain && fastNext == plainNext, "asking for the report changed the rewrite");
    Check(CheckEdits(text, fast, report).empty(), "edit report does not lead from the input to the output");
    // The length bound holds firing by firing; the filters only shrink.
    Check(static_cast<std::int64_t>(fast.size()) <= PassBound(static_cast<std::int64_t>(text.size())),
          "pass grew past its bound");
    // The oracle's work: a rebuild per firing, a look at every group per position.
    const auto lengths = static_cast<std::int64_t>(text.size() + fast.size());
    const std::int64_t work = (report.m_nFirings + 1) * lengths +
                              (lengths + report.m_nFirings) * static_cast<std::int64_t>(rules.GetGroupCount());
    if (text.size() <= kAlwaysOracle || work <= kOracleWork) {
        const auto slow = oracle::RewriteText(rules, text, seed, options);
        Check(fast == slow.text, "fast rewriting and oracle differ");
        Check(fastNext == slow.nextDraw, "fast pass and oracle drew differently");
    }
    if (road) {
        const bool own = (flags & 24) == 0;
        const EncodingId to = kAllEncodings[data[2] % 6];
        const bool wide = HasWideUnits(to);
        WriteFile(fast, options.m_encoding, own ? encoding.m_file : CEncoding{to, wide}, own, origin, report);
    }

    // A second pass reuses the rule set's key index, and a copy shares it:
    // both must still agree with the oracle.
    const CRuleSet copy = rules;
    CByteString again = text;
    RewriteText(copy, again, seed, options);
    Check(again == fast, "second pass with the kept index differs");

    // The filters on the raw input as well, whatever the flags.
    CByteString raw(reinterpret_cast<const char*>(data), size);
    CByteString rawCheck = raw;
    StripComments(raw);
    oracle::StripComments(rawCheck);
    Check(raw == rawCheck, "comment filters differ on raw input");
    return 0;
}
