#include "Rewrite.h"

#include "MarkupFilters.h"
#include "Random.h"

bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options, CRewriteReport* report)
{
    rules.ReportLeftOutRules(options.m_encoding);
    jest::srand(seed);
    const bool whole = rules.TransformText(text, LevelToThreshold(options.m_nLevel), options.m_encoding,
                                           options.m_nPassLimit, report);
    std::vector<CEdit>* edits = report ? &report->m_arrEdits : nullptr;
    if (options.m_bHtmlFilter)
        StripHtmlTags(text, edits);
    if (options.m_bCommentFilter)
        StripComments(text, edits);
    return whole;
}

bool ToPassText(std::string_view fileBytes, const CEncoding& encoding, CByteString& text, EncodingId& pass,
                CConvertError* error)
{
    const EncodingId target = PassEncoding(encoding.m_id);
    if (target == encoding.m_id) {
        text.assign(WithoutByteOrderMark(fileBytes, encoding));
        pass = target;
        return true;
    }
    CConvertError failure;
    if (ConvertText(fileBytes, encoding, {target, false}, text, &failure)) {
        pass = target;
        return true;
    }
    // ISO-2022-JP that EUC-JP cannot hold goes to UTF-8, which holds it all.
    if (failure.m_eKind == CConvertError::Kind::Unrepresentable &&
        ConvertText(fileBytes, encoding, {EncodingId::Utf8, false}, text, &failure)) {
        pass = EncodingId::Utf8;
        return true;
    }
    if (error) *error = failure;
    return false;
}

bool FromPassText(std::string_view text, EncodingId pass, const CEncoding& encoding, CByteString& bytes,
                  CConvertError* error)
{
    return ConvertText(text, {pass, false}, encoding, bytes, error);
}
