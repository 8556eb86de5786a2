// The rewriting pass and the filters written the plain way: at every firing the whole text is
// rebuilt from its left and right parts. Slow on purpose; it is what the
// engine's fast pass is checked and measured against.
#pragma once

#include "ByteString.h"
#include "Rewrite.h"
#include "RuleSet.h"

#include <cstdint>
#include <vector>

namespace oracle {

// One position: every group in order; returns the length change of the last
// rule that fired there (0 when none did). A firing that would make the text
// longer than maxLength is left undone and sets *over.
std::int64_t ApplyAt(const std::vector<CRuleGroup>& groups, CByteString& text,
                     std::int64_t position, int threshold,
                     std::int64_t maxLength = INT64_MAX, bool* over = nullptr);

// The whole pass, drawing from jest::rand(), stopping at PassBound as the
// engine does (limit: the engine's tighter bound on positions and length, -1
// none). In UTF-8 and EUC-JP text (the rules as GetPassGroups gives
// them) only character starts are tried, the next one after each position
// found by NextPassPosition.
void TransformText(const CRuleSet& rules, CByteString& text, int threshold);
void TransformText(const CRuleSet& rules, CByteString& text, int threshold, EncodingId encoding,
                   std::int64_t limit = -1);

// One pass seeded with seed, through the engine and through the oracle, with
// the draw that follows each: both must agree on the text and the draws.
struct PassOutcome {
    CByteString text;
    int nextDraw;
};
PassOutcome RunFastPass(const CRuleSet& rules, const CByteString& text, std::uint32_t seed,
                        int threshold, EncodingId encoding = EncodingId::Cp932);
PassOutcome RunOraclePass(const CRuleSet& rules, const CByteString& text, std::uint32_t seed,
                          int threshold, EncodingId encoding = EncodingId::Cp932);

// The markup filters written the plain way: erase each stretch and look at
// the same position again.
void StripHtmlTags(CByteString& text);
void StripComments(CByteString& text);

// One open's rewriting with the oracle's pass and filters, then the draw that
// follows; the engine's RewriteText must give the same.
PassOutcome RewriteText(const CRuleSet& rules, const CByteString& text, std::uint32_t seed,
                        const CRewriteOptions& options);

// Left, right and middle parts of a byte string, clamping their arguments
// instead of failing, as the plain pass needs them:
//  StrLeft(s, n):  first n bytes; n < 0 is 0, n > length is the length.
//  StrRight(s, n): last n bytes, clamped the same way.
//  StrMid(s, f, c): f < 0 is 0 and c < 0 is 0; then if f + c > length,
//                   c = length - f; then if f > length, c = 0.
CByteString StrLeft(const CByteString& s, std::int64_t n);
CByteString StrRight(const CByteString& s, std::int64_t n);
CByteString StrMid(const CByteString& s, std::int64_t f, std::int64_t c);

}  // namespace oracle
