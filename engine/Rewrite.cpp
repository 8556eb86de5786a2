#include "Rewrite.h"

#include "MarkupFilters.h"
#include "Random.h"

void RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options)
{
    jest::srand(seed);
    rules.TransformText(text, LevelToThreshold(options.m_nLevel));
    if (options.m_bHtmlFilter)
        StripHtmlTags(text);
    if (options.m_bCommentFilter)
        StripComments(text);
}
