// One open's rewriting, as the window and jestcat both run it.
#pragma once

#include "RuleSet.h"

#include <cstdint>

// How a text is rewritten: everything but the rules and the seed. New options
// (the text's encoding, for one) are added here, with a default that keeps
// today's behaviour, so that callers that do not set them need no change.
struct CRewriteOptions {
    int m_nLevel = 2;               // frequency level 0..4 (LevelToThreshold)
    bool m_bHtmlFilter = false;     // strip HTML tags after the pass
    bool m_bCommentFilter = false;  // strip C/C++ comments after the tags
    // Tighter bound on the pass than PassBound (TransformText's limit); -1:
    // PassBound alone. The window keeps what it shows small enough to lay out.
    std::int64_t m_nPassLimit = -1;

    bool operator==(const CRewriteOptions&) const = default;
};

// Seeds the generator, runs the pass at the level's threshold, then the
// enabled filters: HTML tags first, then comments. Returns false when the
// pass stopped at its bound (the filters still ran).
bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options);
