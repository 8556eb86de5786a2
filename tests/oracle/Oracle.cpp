#include "Oracle.h"

#include "Random.h"

namespace oracle {

namespace {

// Clamps a part length into 0..length of s.
std::int64_t ClampCount(const CByteString& s, std::int64_t n)
{
    const auto len = static_cast<std::int64_t>(s.size());
    if (n < 0) return 0;
    return n > len ? len : n;
}

}  // namespace

CByteString StrLeft(const CByteString& s, std::int64_t n)
{
    return s.substr(0, static_cast<std::size_t>(ClampCount(s, n)));
}

CByteString StrRight(const CByteString& s, std::int64_t n)
{
    const auto c = ClampCount(s, n);
    return s.substr(s.size() - static_cast<std::size_t>(c));
}

CByteString StrMid(const CByteString& s, std::int64_t f, std::int64_t c)
{
    const auto len = static_cast<std::int64_t>(s.size());
    if (f < 0) f = 0;
    if (c < 0) c = 0;
    if (f > len) return CByteString();
    // Same as "if f + c exceeds the length, c = length - f", without overflow.
    if (c > len - f) c = len - f;
    return s.substr(static_cast<std::size_t>(f), static_cast<std::size_t>(c));
}

std::int64_t ApplyAt(const std::vector<CRuleGroup>& groups, CByteString& text,
                     std::int64_t position, int threshold, std::int64_t maxLength, bool* over)
{
    std::int64_t result = 0;
    for (const CRuleGroup& group : groups) {
        const CByteString key = group.GetKey();
        const auto k = static_cast<std::int64_t>(key.size());
        if (StrMid(text, position, k) != key) continue;
        const int r1 = jest::rand();
        if (r1 % 100 >= threshold) continue;
        const auto n = static_cast<int>(group.GetModes().size());
        const int r2 = jest::rand();
        const auto i = static_cast<std::size_t>(r2 % n);
        const int mode = group.GetModes()[i];
        const CByteString& entry = group.GetTexts()[i];
        const auto length = static_cast<std::int64_t>(text.size());
        CByteString rewritten;
        switch (mode) {
        case kModeReplace:
            rewritten = StrLeft(text, position) + entry + StrRight(text, length - k - position);
            break;
        case kModeInsertBefore:
            rewritten = StrLeft(text, position) + entry + StrRight(text, length - position);
            break;
        case kModeInsertAfter:
            rewritten = StrLeft(text, position + k) + entry + StrRight(text, length - k - position);
            break;
        default:
            rewritten = StrLeft(text, position) + StrRight(text, length - k - position);
            break;
        }
        const auto grown = static_cast<std::int64_t>(rewritten.size());
        if (grown > length && grown > maxLength) {
            if (over) *over = true;
            return result;
        }
        result = grown - length;
        text = std::move(rewritten);
    }
    return result;
}

void TransformText(const CRuleSet& rules, CByteString& text, int threshold)
{
    TransformText(rules, text, threshold, EncodingId::Cp932);
}

void TransformText(const CRuleSet& rules, CByteString& text, int threshold, EncodingId encoding, std::int64_t limit)
{
    encoding = PassEncoding(encoding);
    const std::vector<CRuleGroup> groups = rules.GetPassGroups(encoding);
    std::int64_t bound = PassBound(static_cast<std::int64_t>(text.size()));
    if (limit >= 0 && limit < bound) bound = limit;
    std::int64_t position = 0;
    std::int64_t tried = 0;
    for (;;) {
        bool over = false;
        const std::int64_t change = ApplyAt(groups, text, position, threshold, bound, &over);
        if (over) break;
        if (StepsByCharacter(encoding)) {
            const std::string_view all = text;
            const auto at = static_cast<std::size_t>(position);
            position = static_cast<std::int64_t>(NextPassPosition(all.substr(0, at), all.substr(at), change, encoding));
        } else {
            position += change + 1;
        }
        ++tried;
        const auto length = static_cast<std::int64_t>(text.size());
        if (position > length) break;
        if (tried >= bound) break;
    }
}

void StripHtmlTags(CByteString& text)
{
    std::size_t s = 0;
    while (s <= text.size()) {
        if (s < text.size() && text[s] == '<') {
            const std::size_t j = text.find('>', s + 1);
            if (j != CByteString::npos) {
                text.erase(s, j - s + 1);
                continue;
            }
        }
        ++s;
    }
}

void StripComments(CByteString& text)
{
    std::size_t s = 0;
    while (s <= text.size()) {
        if (text.compare(s, 2, "/*") == 0) {
            const std::size_t k = text.find("*/", s + 2);
            if (k != CByteString::npos) {
                text.erase(s, k + 2 - s);
                continue;
            }
        }
        if (text.compare(s, 2, "//") == 0) {
            const std::size_t k = text.find('\n', s);
            if (k != CByteString::npos) {
                // The comment goes up to its line break; a CR before the LF stays.
                const std::size_t end = text[k - 1] == '\r' ? k - 1 : k;
                text.erase(s, end - s);
            }
        }
        ++s;
    }
}

PassOutcome RunFastPass(const CRuleSet& rules, const CByteString& text, std::uint32_t seed,
                        int threshold, EncodingId encoding)
{
    PassOutcome out{text, 0};
    jest::srand(seed);
    rules.TransformText(out.text, threshold, encoding);
    out.nextDraw = jest::rand();
    return out;
}

PassOutcome RunOraclePass(const CRuleSet& rules, const CByteString& text, std::uint32_t seed,
                          int threshold, EncodingId encoding)
{
    PassOutcome out{text, 0};
    jest::srand(seed);
    TransformText(rules, out.text, threshold, encoding);
    out.nextDraw = jest::rand();
    return out;
}

PassOutcome RewriteText(const CRuleSet& rules, const CByteString& text, std::uint32_t seed,
                        const CRewriteOptions& options)
{
    PassOutcome out = RunOraclePass(rules, text, seed, LevelToThreshold(options.m_nLevel), options.m_encoding);
    if (options.m_bHtmlFilter) StripHtmlTags(out.text);
    if (options.m_bCommentFilter) StripComments(out.text);
    return out;
}

}  // namespace oracle
