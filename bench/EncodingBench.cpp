// Encoding detection and character stepping over 1 MiB of Japanese prose in
// each encoding. Build in Release and run bench_encoding; the target for
// detection is at most 2 ms per MiB.
#include "Encoding.h"
#include "ProseGenerator.h"

#include <benchmark/benchmark.h>

#include <stdexcept>

namespace {

constexpr std::size_t kMiB = 1 << 20;

// 1 MiB of prose in the encoding, cut at a character boundary.
std::string Prose(CEncoding encoding)
{
    const std::string cp932 = prose::Generate(kMiB);
    std::string utf8, out;
    if (!ConvertText(cp932, {EncodingId::Cp932, false}, {EncodingId::Utf8, false}, utf8) ||
        !ConvertText(utf8, {EncodingId::Utf8, false}, encoding, out))
        throw std::runtime_error("prose does not convert");
    std::size_t cut = out.size() > kMiB ? kMiB : out.size();
    if (encoding.m_id == EncodingId::Utf8 || encoding.m_id == EncodingId::EucJp)
        cut = CharStartAtOrAfter(out, cut, encoding.m_id, 0) == cut ? cut : cut - 1;
    out.resize(cut);
    return out;
}

const CEncoding kEncodings[] = {
    {EncodingId::Cp932, false},     {EncodingId::Utf8, false},    {EncodingId::EucJp, false},
    {EncodingId::Iso2022Jp, false}, {EncodingId::Utf16Le, true},
};

void BM_Detect(benchmark::State& state)
{
    const CEncoding encoding = kEncodings[state.range(0)];
    const std::string text = Prose(encoding);
    state.SetLabel(DisplayName(encoding));
    for (auto _ : state) {
        CEncoding found = DetectEncoding(text);
        benchmark::DoNotOptimize(found);
        if (!(found == encoding)) state.SkipWithError("detected the wrong encoding");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Detect)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The costliest case: half-width katakana in CP932 that is valid EUC-JP too,
// so both readings are checked and weighed.
void BM_DetectAmbiguous(benchmark::State& state)
{
    const std::string word = "\xB1\xD8\xB6\xDE\xC4\xB3 \xC3\xDE\xB0\xC0\r\n";  // ｱﾘｶﾞﾄｳ ﾃﾞｰﾀ
    std::string text;
    while (text.size() + word.size() <= kMiB) text += word;
    for (auto _ : state) {
        CEncoding found = DetectEncoding(text);
        benchmark::DoNotOptimize(found);
        if (found.m_id != EncodingId::Cp932) state.SkipWithError("detected the wrong encoding");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DetectAmbiguous)->Unit(benchmark::kMillisecond);

// Visiting every character start of the text as the pass does where no rule
// fires (the next position is the next character), and after a rule fired
// (the first start at or after a byte position, found from the last one).
void BM_Step(benchmark::State& state)
{
    const EncodingId id = state.range(0) ? EncodingId::EucJp : EncodingId::Utf8;
    const bool afterFiring = state.range(1) != 0;
    const std::string text = Prose({id, false});
    state.SetLabel(std::string(OptionName(id)) + (afterFiring ? " CharStartAtOrAfter" : " CharLength"));
    for (auto _ : state) {
        std::size_t starts = 0;
        for (std::size_t pos = 0; pos < text.size(); ++starts)
            pos = afterFiring ? CharStartAtOrAfter(text, pos + 1, id, pos) : pos + CharLength(text, pos, id);
        benchmark::DoNotOptimize(starts);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Step)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
