#include "Rewrite.h"

#include "MarkupFilters.h"
#include "Random.h"

void RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed, int level,
                 bool htmlFilter, bool commentFilter)
{
    jest::srand(seed);
    rules.TransformText(text, LevelToThreshold(level));
    if (htmlFilter)
        StripHtmlTags(text);
    if (commentFilter)
        StripComments(text);
}
