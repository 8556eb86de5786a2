#include "Rewrite.h"

#include "MarkupFilters.h"
#include "Random.h"

bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options)
{
    rules.ReportLeftOutRules(options.m_encoding);
    jest::srand(seed);
    const bool whole =
        rules.TransformText(text, LevelToThreshold(options.m_nLevel), options.m_encoding, options.m_nPassLimit);
    if (options.m_bHtmlFilter)
        StripHtmlTags(text);
    if (options.m_bCommentFilter)
        StripComments(text);
    return whole;
}

bool ToPassText(std::string_view fileBytes, CTextEncoding& encoding, CByteString& text, CConvertError* error)
{
    const CEncoding file =
        encoding.m_forced ? EncodingForBytes(*encoding.m_forced, fileBytes) : DetectEncoding(fileBytes);
    encoding.m_file = file;
    const EncodingId target = PassEncoding(file.m_id);
    if (target == file.m_id) {
        text.assign(WithoutByteOrderMark(fileBytes, file));
        encoding.m_pass = target;
        return true;
    }
    CConvertError failure;
    if (ConvertText(fileBytes, file, {target, false}, text, &failure)) {
        encoding.m_pass = target;
        return true;
    }
    // ISO-2022-JP that EUC-JP cannot hold goes to UTF-8, which holds it all.
    if (failure.m_eKind == CConvertError::Kind::Unrepresentable &&
        ConvertText(fileBytes, file, {EncodingId::Utf8, false}, text, &failure)) {
        encoding.m_pass = EncodingId::Utf8;
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
