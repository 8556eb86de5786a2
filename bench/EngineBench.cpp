// Speed of the rewriting pass and the filters over 1 MiB of Japanese prose.
// Build in Release and run bench_engine; the oracle benchmarks take seconds.
// Copying the input into a fresh string is left out of the timings.
#include "Encoding.h"
#include "MarkupFilters.h"
#include "Oracle.h"
#include "ProseGenerator.h"
#include "Random.h"
#include "Rewrite.h"
#include "RuleSet.h"

#include <benchmark/benchmark.h>

#include <set>

namespace {

constexpr std::size_t kMiB = 1 << 20;

const std::string& Prose()
{
    static const std::string text = prose::Generate(kMiB);
    return text;
}

// 5,000 distinct keys: two hiragana followed by "。" or "、", in a fixed
// order, each with one entry.
const CRuleSet& ManyKeys()
{
    static const CRuleSet rules = [] {
        CRuleSet set;
        set.RemoveAllGroups();
        std::set<std::string> seen;
        std::uint32_t state = 12345;
        const std::string marks[] = {prose::ToCp932("。"), prose::ToCp932("、")};
        const std::string entries[] = {prose::ToCp932("（笑）"), prose::ToCp932("だね")};
        while (seen.size() < 5000) {
            state = state * 1103515245u + 12345u;
            const unsigned a = 0x9F + (state >> 8) % 83;   // hiragana 0x829F..0x82F1
            const unsigned b = 0x9F + (state >> 16) % 83;
            std::string key = {'\x82', static_cast<char>(a), '\x82', static_cast<char>(b)};
            key += marks[(state >> 28) & 1];
            if (!seen.insert(key).second) continue;
            set.AddRule(kModeInsertBefore, key, entries[(state >> 29) & 1]);
        }
        return set;
    }();
    return rules;
}

using PassFn = void (*)(const CRuleSet&, CByteString&, int);
void FastPass(const CRuleSet& rules, CByteString& text, int threshold) { rules.TransformText(text, threshold); }

void RunPass(benchmark::State& state, const CRuleSet& rules, PassFn pass = FastPass)
{
    const int threshold = LevelToThreshold(static_cast<int>(state.range(0)));
    std::size_t out = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CByteString text = Prose();
        jest::srand(1);
        state.ResumeTiming();
        pass(rules, text, threshold);
        out = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["out_bytes"] = static_cast<double>(out);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Prose().size()));
}

void BM_PassBuiltin(benchmark::State& state)
{
    const CRuleSet rules;
    RunPass(state, rules);
}
BENCHMARK(BM_PassBuiltin)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_Pass5000Keys(benchmark::State& state)
{
    RunPass(state, ManyKeys());
}
BENCHMARK(BM_Pass5000Keys)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_OraclePassBuiltin(benchmark::State& state)
{
    const CRuleSet rules;
    RunPass(state, rules, oracle::TransformText);
}
BENCHMARK(BM_OraclePassBuiltin)->Arg(2)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same prose as CP932 and as UTF-8 (about 1.5 times the bytes), the
// built-in rules converted once for UTF-8 before the timing.
void BM_PassEncoded(benchmark::State& state)
{
    const EncodingId id = state.range(0) == 0 ? EncodingId::Cp932 : EncodingId::Utf8;
    std::string text;
    if (!ConvertText(Prose(), {EncodingId::Cp932, false}, {id, false}, text)) {
        state.SkipWithError("prose does not convert");
        return;
    }
    const CRuleSet rules;
    CByteString warm = text.substr(0, 100);
    rules.TransformText(warm, 50, id);
    for (auto _ : state) {
        state.PauseTiming();
        CByteString copy = text;
        jest::srand(1);
        state.ResumeTiming();
        rules.TransformText(copy, LevelToThreshold(2), id);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetLabel(OptionName(id));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PassEncoded)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole rewrite at level 4 with the built-in rules, without (0) and with
// (1) the edit report; the report's cost is the difference.
void BM_RewriteReport(benchmark::State& state)
{
    const bool reported = state.range(0) != 0;
    const CRuleSet rules;
    const CRewriteOptions options{.m_nLevel = 4};
    CRewriteReport report;
    for (auto _ : state) {
        state.PauseTiming();
        CByteString text = Prose();
        state.ResumeTiming();
        RewriteText(rules, text, 1, options, reported ? &report : nullptr);
        benchmark::DoNotOptimize(text.data());
    }
    if (reported) state.counters["edits"] = static_cast<double>(report.m_arrEdits.size());
    state.SetLabel(reported ? "report" : "no report");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Prose().size()));
}
BENCHMARK(BM_RewriteReport)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

const std::string& Markup()
{
    static const std::string text = prose::GenerateMarkup(kMiB, 50000, 50000);
    return text;
}

template <void (*Filter)(CByteString&, std::vector<CEdit>*)>
void BM_Filter(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        CByteString text = Markup();
        state.ResumeTiming();
        Filter(text, nullptr);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Markup().size()));
}
BENCHMARK(BM_Filter<StripHtmlTags>)->Name("BM_StripHtmlTags")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filter<StripComments>)->Name("BM_StripComments")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
