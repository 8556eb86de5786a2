// One open's rewriting, as the window and jestcat both run it.
#pragma once

#include "RuleSet.h"

#include <cstdint>

// Seeds the generator, runs the pass at the level's threshold, then the
// enabled filters: HTML tags first, then comments.
void RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed, int level,
                 bool htmlFilter, bool commentFilter);
