// Rule sets of hostile size: loading many distinct keys, in the text's
// encoding and in another, the largest rule files, and the pass with very
// long keys, the first time (the key index is built) and again (it is
// reused). Heap figures count every allocation made through operator new
// while a benchmark measures the heap; otherwise allocation is plain malloc.
#include "ProseGenerator.h"
#include "Random.h"
#include "RuleSet.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::int64_t> g_heapNow{0};
std::atomic<std::int64_t> g_heapPeak{0};

void* CountedAlloc(std::size_t n)
{
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    if (!g_counting) return p;
    const std::int64_t now = g_heapNow += static_cast<std::int64_t>(malloc_usable_size(p));
    std::int64_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void CountedFree(void* p) noexcept
{
    if (p == nullptr) return;
    if (g_counting) g_heapNow -= static_cast<std::int64_t>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return CountedAlloc(n); }
void* operator new[](std::size_t n) { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, std::size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { CountedFree(p); }

namespace {

constexpr std::size_t kMiB = 1 << 20;

// Gives the heap's free pages back to the system, so that the load timed
// next faults in the memory it needs, as a process's first load does.
// Without it, whether a load reuses the pages of the one before turns on
// glibc's thresholds, and so differs from one rule file to another.
void StartAsAProcess()
{
    malloc_trim(0);
}

const std::string& Prose()
{
    static const std::string text = prose::Generate(kMiB);
    return text;
}

// A rule file of n lines "b KEY x" CR LF, 13 bytes each: seven-digit keys
// taking turns, `keys` of them (n: all distinct).
std::string RuleLines(int n, int keys)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(n) * 13);
    char line[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "b %07d x\r\n", i % keys);
        out += line;
    }
    return out;
}

void BM_LoadRules(benchmark::State& state, int keys)
{
    const std::string contents = RuleLines(static_cast<int>(state.range(0)), keys);
    StartAsAProcess();
    for (auto _ : state) {
        auto rules = std::make_unique<CRuleSet>();
        if (!rules->LoadRuleBytes(contents, "bench.rules")) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(rules->GetGroupCount());
        state.PauseTiming();
        rules.reset();  // freeing is not loading
        StartAsAProcess();
        state.ResumeTiming();
    }
    state.counters["file_MB"] = static_cast<double>(contents.size()) / 1e6;
}

void BM_LoadDistinctKeys(benchmark::State& state)
{
    BM_LoadRules(state, static_cast<int>(state.range(0)));
}
void BM_LoadOneKey(benchmark::State& state)
{
    BM_LoadRules(state, 1);
}
// Two keys taking turns line by line: a run for each key, not for each line,
// so about what one key costs.
void BM_LoadKeysTakingTurns(benchmark::State& state)
{
    BM_LoadRules(state, 2);
}
BENCHMARK(BM_LoadOneKey)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadKeysTakingTurns)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDistinctKeys)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A rule file of n lines "b KEY。 x" LF, the key seven digits and "。" (so
// that the file is not ASCII and a pass on text in the other encoding
// converts it), in CP932 or UTF-8: one key on every line (0), or distinct
// keys in order (1) or shuffled (2).
std::string JapaneseRuleLines(int n, int keys, EncodingId encoding)
{
    const char* maru = encoding == EncodingId::Cp932 ? "\x81\x42" : "\xE3\x80\x82";
    std::vector<int> numbers(static_cast<std::size_t>(n), 0);
    if (keys != 0) std::iota(numbers.begin(), numbers.end(), 0);
    if (keys == 2) std::shuffle(numbers.begin(), numbers.end(), std::mt19937(12345));
    std::string out;
    char line[32];
    for (const int number : numbers) {
        std::snprintf(line, sizeof line, "b %07d%s x\n", number, maru);
        out += line;
    }
    return out;
}

// Load and readying for a pass on CP932 text (what jestcat and the window do
// before the first pass): rules in the text's own encoding (CP932) or in
// another (UTF-8), one key or distinct keys. x_file: the heap at its peak
// over the rule file's bytes.
void BM_LoadForShiftJisText(benchmark::State& state)
{
    const int keys = static_cast<int>(state.range(0));
    const EncodingId encoding = state.range(1) != 0 ? EncodingId::Utf8 : EncodingId::Cp932;
    const std::string contents = JapaneseRuleLines(1000000, keys, encoding);
    std::int64_t peak = 0;
    StartAsAProcess();
    for (auto _ : state) {
        auto rules = std::make_unique<CRuleSet>();
        g_heapNow = 0;
        g_heapPeak = 0;
        g_counting = true;
        if (!rules->LoadRuleBytes(contents, "bench.rules", encoding, EncodingId::Cp932)) state.SkipWithError("load failed");
        g_counting = false;
        peak = g_heapPeak.load();
        state.PauseTiming();
        rules.reset();
        StartAsAProcess();
        state.ResumeTiming();
    }
    static const char* const kKeys[] = {"one key, ", "distinct keys in order, ", "distinct keys shuffled, "};
    state.SetLabel(kKeys[keys] + std::string(OptionName(encoding)));
    state.counters["file_MB"] = static_cast<double>(contents.size()) / 1e6;
    state.counters["x_file"] = static_cast<double>(peak) / static_cast<double>(contents.size());
}
BENCHMARK(BM_LoadForShiftJisText)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// The largest rule files the limit accepts: 8,388,608 lines "r KEY " LF of
// four-byte ASCII keys, all distinct, and 64 MiB of empty lines, loaded for
// a pass on Shift-JIS (0) or UTF-8 (1) text, as the window loads them.
void BM_LoadLargest(benchmark::State& state)
{
    static const std::string keys = [] {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        out.reserve(CRuleSet::kMaxRuleBytes);
        for (std::uint32_t i = 0; out.size() < CRuleSet::kMaxRuleBytes; ++i) {
            const char line[] = {'r', ' ', alphabet[i >> 18 & 63], alphabet[i >> 12 & 63], alphabet[i >> 6 & 63],
                                 alphabet[i & 63], ' ', '\n'};
            out.append(line, sizeof line);
        }
        return out;
    }();
    static const std::string empty(CRuleSet::kMaxRuleBytes, '\n');
    const std::string& contents = state.range(0) == 0 ? keys : empty;
    const EncodingId text = state.range(1) == 0 ? EncodingId::Cp932 : EncodingId::Utf8;
    std::int64_t peak = 0;
    StartAsAProcess();
    for (auto _ : state) {
        auto rules = std::make_unique<CRuleSet>();
        g_heapNow = 0;
        g_heapPeak = 0;
        g_counting = true;
        if (!rules->LoadRuleBytes(contents, "bench.rules", std::nullopt, text)) state.SkipWithError("load failed");
        g_counting = false;
        peak = g_heapPeak.load();
        state.PauseTiming();
        rules.reset();
        state.ResumeTiming();
    }
    state.SetLabel(std::string(state.range(0) == 0 ? "8.4 M short keys" : "empty lines") + " for " +
                   OptionName(text) + " text");
    state.counters["x_file"] = static_cast<double>(peak) / static_cast<double>(contents.size());
}
BENCHMARK(BM_LoadLargest)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// Letters a..z from a fixed generator: keys that prose never holds.
std::string Letters(std::uint32_t& state, std::size_t n)
{
    std::string s(n, ' ');
    for (auto& c : s) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>('a' + (state >> 16) % 26);
    }
    return s;
}

// Case 0: one key of 10 MB. Case 1: 10,000 keys of 2,000 bytes.
CRuleSet LongKeys(int which, std::int64_t& ruleBytes)
{
    CRuleSet set;
    set.RemoveAllGroups();
    std::uint32_t state = 7;
    const int keys = which == 0 ? 1 : 10000;
    const std::size_t length = which == 0 ? 10 * 1000 * 1000 : 2000;
    ruleBytes = 0;
    for (int i = 0; i < keys; ++i) {
        const std::string key = Letters(state, length);
        set.AddRule(kModeInsertBefore, key, "x");
        ruleBytes += static_cast<std::int64_t>(key.size()) + 5;  // as lines "b KEY x" CR LF
    }
    return set;
}

// The first pass over 1 MiB of prose with a newly made rule set: the key
// index is built here. peak_MB is the heap the pass needed on top of the
// rule set and the text.
void BM_FirstPassLongKeys(benchmark::State& state)
{
    std::int64_t ruleBytes = 0;
    std::int64_t extra = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto rules = std::make_unique<CRuleSet>(LongKeys(static_cast<int>(state.range(0)), ruleBytes));
        CByteString text = Prose();
        jest::srand(1);
        g_heapNow = 0;
        g_heapPeak = 0;
        g_counting = true;
        state.ResumeTiming();
        rules->TransformText(text, LevelToThreshold(2));
        state.PauseTiming();
        g_counting = false;
        extra = g_heapPeak.load();
        rules.reset();
        state.ResumeTiming();
    }
    state.counters["rule_MB"] = static_cast<double>(ruleBytes) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(extra) / 1e6;
    state.counters["x_rules"] = static_cast<double>(extra) / static_cast<double>(ruleBytes);
}
BENCHMARK(BM_FirstPassLongKeys)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

// Every later pass with the same rule set (jestcat's next FILE, the window's
// reload).
void BM_LaterPassLongKeys(benchmark::State& state)
{
    std::int64_t ruleBytes = 0;
    const CRuleSet rules = LongKeys(static_cast<int>(state.range(0)), ruleBytes);
    CByteString warm = "x";
    rules.TransformText(warm, 50);
    for (auto _ : state) {
        state.PauseTiming();
        CByteString text = Prose();
        jest::srand(1);
        state.ResumeTiming();
        rules.TransformText(text, LevelToThreshold(2));
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_LaterPassLongKeys)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
