// Arbitrary bytes as rule file, text, level and seed. Layout of the input:
//   byte 0      level (taken modulo 7, so 5 and 6 test out-of-range levels)
//   bytes 1-4   seed, little endian
//   byte 5      flags: 1 tag filter, 2 comment filter, 4 built-in rules,
//               8 text in UTF-8, 16 text in EUC-JP (8 wins), else CP932,
//               32 many keys (the rule bytes are a list of keys, not a file)
//   bytes 6-7   length of the rule file, little endian (clamped to what is left)
//   then the rule file's bytes, then the text.
// Aborts when the fast pass and the oracle disagree, a failed load changed
// the rule set, or AddRule grouped many keys otherwise than a plain map does.
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

// The oracle rebuilds the text at every firing; a longer text would make
// endless chains take seconds per input.
constexpr std::size_t kMaxText = 400;

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
    CByteString text(rest + ruleLength, restSize - ruleLength);
    if (text.size() > kMaxText) text.resize(kMaxText);

    CRuleSet rules;
    if (flags & 32) {
        BuildManyKeys(rules, ruleFile);
    } else if (!(flags & 4)) {
        const CRuleSet before = rules;
        const CRuleLoadResult loaded = rules.LoadRuleBytes(ruleFile, "fuzz.rules");
        if (loaded) {
            Check(rules.GetFileName() == "fuzz.rules", "successful load");
        } else {
            Check(SameRules(rules, before), "failed load changed the rule set");
            Check(loaded.m_eFailure == RuleLoadFailure::kBadLine && loaded.m_nLine > 0, "failed load without its line");
        }
    }

    CRewriteOptions options{level, (flags & 1) != 0, (flags & 2) != 0};
    options.m_encoding = flags & 8 ? EncodingId::Utf8 : flags & 16 ? EncodingId::EucJp : EncodingId::Cp932;
    CByteString fast = text;
    RewriteText(rules, fast, seed, options);
    const int fastNext = jest::rand();
    const auto slow = oracle::RewriteText(rules, text, seed, options);
    Check(fast == slow.text, "fast rewriting and oracle differ");
    Check(fastNext == slow.nextDraw, "fast pass and oracle drew differently");
    // One position can add at most every group's longest entry beyond the bound
    // (converted to UTF-8, at most three bytes for every rule-file byte).
    const auto limit = PassBound(static_cast<std::int64_t>(text.size())) + 3 * static_cast<std::int64_t>(ruleFile.size()) + 64;
    Check(static_cast<std::int64_t>(fast.size()) <= limit, "pass grew past its bound");

    // A second pass reuses the rule set's key index, and a copy shares it:
    // both must still agree with the oracle.
    const CRuleSet copy = rules;
    CByteString again = text;
    RewriteText(copy, again, seed, options);
    Check(again == slow.text, "second pass with the kept index differs");

    // The filters on the raw input as well, whatever the flags.
    CByteString raw(reinterpret_cast<const char*>(data), size);
    CByteString rawCheck = raw;
    StripComments(raw);
    oracle::StripComments(rawCheck);
    Check(raw == rawCheck, "comment filters differ on raw input");
    return 0;
}
