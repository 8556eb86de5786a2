#include "Rewrite.h"

#include "MarkupFilters.h"
#include "Random.h"

bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options)
{
    jest::srand(seed);
    const bool whole = rules.TransformText(text, LevelToThreshold(options.m_nLevel), options.m_nPassLimit);
    if (options.m_bHtmlFilter)
        StripHtmlTags(text);
    if (options.m_bCommentFilter)
        StripComments(text);
    return whole;
}
