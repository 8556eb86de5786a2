#include "Rewrite.h"

#include "EncodingBytes.h"
#include "MarkupFilters.h"
#include "Random.h"

#include <algorithm>
#include <optional>

bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options, CRewriteReport* report)
{
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

namespace {

// A changed stretch: input [m_nInA, m_nInB) of the pass became output [m_nOutA, m_nOutB).
struct CStretch {
    std::int64_t m_nInA, m_nInB, m_nOutA, m_nOutB;
};

// The changed stretches, widened to whole characters of the source map and
// merged where they meet; false when the report does not fit the texts.
bool ChangedStretches(const CPassOrigin& origin, const CRewriteReport& report, std::size_t outSize,
                      std::vector<CStretch>& stretches)
{
    const std::vector<jis::CMark>& marks = origin.m_marks;
    const auto inSize = static_cast<std::int64_t>(origin.m_passText.size());
    auto atOrBefore = [&](std::int64_t pos) {
        auto it = std::upper_bound(marks.begin(), marks.end(), pos,
                                   [](std::int64_t p, const jis::CMark& m) { return p < m.m_nPass; });
        return it == marks.begin() ? std::int64_t{0} : std::prev(it)->m_nPass;
    };
    auto atOrAfter = [&](std::int64_t pos) {
        auto it = std::lower_bound(marks.begin(), marks.end(), pos,
                                   [](const jis::CMark& m, std::int64_t p) { return m.m_nPass < p; });
        return it == marks.end() ? inSize : it->m_nPass;
    };
    std::int64_t delta = 0, lastOut = 0;
    for (const CEdit& e : report.m_arrEdits) {
        const std::int64_t inA = e.m_nPos - delta;
        if (e.m_nPos < lastOut || e.m_nLength < 0 || e.m_nSourceLength < 0 || inA < 0 || inA + e.m_nSourceLength > inSize)
            return false;
        const std::int64_t inB = inA + e.m_nSourceLength;
        lastOut = e.m_nPos + e.m_nLength;
        delta += e.m_nLength - e.m_nSourceLength;
        CStretch s{atOrBefore(inA), atOrAfter(inB), 0, 0};
        s.m_nOutA = e.m_nPos - (inA - s.m_nInA);
        if (!stretches.empty() && s.m_nInA <= stretches.back().m_nInB) {
            s.m_nInA = stretches.back().m_nInA;
            s.m_nOutA = stretches.back().m_nOutA;
            s.m_nInB = std::max(s.m_nInB, stretches.back().m_nInB);
            stretches.pop_back();
        }
        s.m_nOutB = s.m_nInB + delta;
        stretches.push_back(s);
    }
    return inSize + delta == static_cast<std::int64_t>(outSize);
}

const jis::CMark& MarkAt(const std::vector<jis::CMark>& marks, std::int64_t pos)
{
    return *std::lower_bound(marks.begin(), marks.end(), pos,
                             [](const jis::CMark& m, std::int64_t p) { return m.m_nPass < p; });
}

// ISO-2022-JP: the file's bytes where the pass left the text alone, the
// changed stretches written anew. nullopt when the report does not fit.
std::optional<bool> SpliceIso2022Jp(std::string_view text, const CPassOrigin& origin, const CRewriteReport& report,
                                    CByteString& bytes, CConvertError* error)
{
    std::vector<CStretch> stretches;
    if (origin.m_marks.empty() || !ChangedStretches(origin, report, text.size(), stretches)) return std::nullopt;
    const std::string_view file = origin.m_fileBytes;
    std::string out;
    std::int64_t copied = 0;
    for (const CStretch& s : stretches) {
        const jis::CMark& a = MarkAt(origin.m_marks, s.m_nInA);
        const jis::CMark& b = MarkAt(origin.m_marks, s.m_nInB);
        out.append(file.substr(static_cast<std::size_t>(copied), static_cast<std::size_t>(a.m_nFile - copied)));
        std::size_t failedAt = 0;
        char32_t failedChar = 0;
        const std::string_view changed =
            text.substr(static_cast<std::size_t>(s.m_nOutA), static_cast<std::size_t>(s.m_nOutB - s.m_nOutA));
        if (!jis::Encode(changed, origin.m_pass, a.m_state, b.m_state, origin.m_nSets, out, failedAt, failedChar)) {
            const std::size_t at = static_cast<std::size_t>(s.m_nOutA) + failedAt;
            using Kind = CConvertError::Kind;
            if (error)
                *error = {failedChar ? Kind::Unrepresentable : Kind::InvalidInput, at, enc::LineAt(text, at), failedChar,
                          origin.m_pass, EncodingId::Iso2022Jp};
            return false;
        }
        copied = b.m_nFile;
    }
    out.append(file.substr(static_cast<std::size_t>(copied)));
    bytes = std::move(out);
    return true;
}

bool ToPassTextOnly(std::string_view fileBytes, const CEncoding& encoding, CByteString& text, EncodingId& pass,
                    CConvertError* error, CPassOrigin* origin)
{
    const EncodingId target = PassEncoding(encoding.m_id);
    if (HasWideUnits(encoding.m_id) && HasUtf32Mark(fileBytes)) {
        if (error) *error = {CConvertError::Kind::Utf32Text, 0, 1, 0, encoding.m_id, target};
        return false;
    }
    if (target == encoding.m_id) {
        text.assign(WithoutByteOrderMark(fileBytes, encoding));
        pass = target;
        return true;
    }
    if (encoding.m_id == EncodingId::Iso2022Jp) {
        jis::CDecoded decoded;
        if (!jis::Decode(fileBytes, false, decoded, error)) return false;
        text = std::move(decoded.m_text);
        pass = decoded.m_pass;
        if (origin) {
            origin->m_nSets = jis::SetsOf(decoded.m_marks);
            origin->m_marks = std::move(decoded.m_marks);
        }
        return true;
    }
    if (origin) origin->m_marks.clear();
    CConvertError failure;
    if (ConvertText(fileBytes, encoding, {target, false}, text, &failure)) {
        pass = target;
        return true;
    }
    if (error) *error = failure;
    return false;
}

}  // namespace

bool ToPassText(std::string_view fileBytes, CTextEncoding& encoding, CByteString& text, CConvertError* error,
                CPassOrigin* origin)
{
    const CEncoding file =
        encoding.m_forced ? EncodingForBytes(*encoding.m_forced, fileBytes) : DetectEncoding(fileBytes);
    encoding.m_file = file;
    EncodingId pass = file.m_id;
    if (!ToPassTextOnly(fileBytes, file, text, pass, error, origin)) return false;
    encoding.m_pass = pass;
    if (origin) {
        origin->m_encoding = file;
        origin->m_pass = pass;
        origin->m_fileBytes.assign(fileBytes);
        origin->m_passText = text;
    }
    return true;
}

bool FromPassText(std::string_view text, EncodingId pass, const CEncoding& encoding, CByteString& bytes,
                  CConvertError* error, const CPassOrigin* origin, const CRewriteReport* report)
{
    if (origin && origin->m_encoding == encoding && origin->m_pass == pass) {
        if (text == origin->m_passText) {
            bytes = origin->m_fileBytes;
            return true;
        }
        if (encoding.m_id == EncodingId::Iso2022Jp && report) {
            if (const std::optional<bool> done = SpliceIso2022Jp(text, *origin, *report, bytes, error)) return *done;
        }
    }
    return ConvertText(text, {pass, false}, encoding, bytes, error);
}
