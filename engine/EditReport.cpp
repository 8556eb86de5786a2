#include "EditReport.h"

#include <algorithm>

namespace {

std::int64_t End(const CEdit& e) { return e.m_nPos + e.m_nLength; }

// A stretch's kind from what it holds: where a rule removed input text, an
// empty stretch stays a deletion when a filter removes text beside it.
CEdit::Kind KindOf(std::int64_t length, std::int64_t source, bool byRule)
{
    if (length == 0) return byRule ? CEdit::Kind::Deleted : CEdit::Kind::Filtered;
    return source == 0 ? CEdit::Kind::Inserted : CEdit::Kind::Replaced;
}

}  // namespace

void RecordRuleChange(std::vector<CEdit>& edits, std::int64_t pos, std::int64_t removed, std::int64_t inserted)
{
    if (removed == 0 && inserted == 0) return;
    const std::int64_t end = pos + removed;
    // The pass moves forward, back only by a key's length: the edits the
    // change meets or shifts are the last few.
    std::size_t j = edits.size();
    while (j > 0 && edits[j - 1].m_nPos > end) --j;
    std::size_t i = j;
    while (i > 0 && End(edits[i - 1]) >= pos) --i;
    std::int64_t from = pos;
    std::int64_t to = end;
    std::int64_t length = 0;
    std::int64_t source = 0;
    for (std::size_t k = i; k < j; ++k) {
        from = std::min(from, edits[k].m_nPos);
        to = std::max(to, End(edits[k]));
        length += edits[k].m_nLength;
        source += edits[k].m_nSourceLength;
    }
    source += (to - from) - length;  // the input's own bytes in the stretch
    const std::int64_t merged = (to - from) - removed + inserted;
    for (std::size_t k = j; k < edits.size(); ++k) edits[k].m_nPos += inserted - removed;
    const auto first = edits.begin() + static_cast<std::ptrdiff_t>(i);
    const auto last = edits.begin() + static_cast<std::ptrdiff_t>(j);
    if (merged == 0 && source == 0) {
        edits.erase(first, last);  // the change undid the edits it meets
        return;
    }
    const CEdit edit{from, merged, source, KindOf(merged, source, true)};
    if (i == j) {
        edits.insert(first, edit);
    } else {
        *first = edit;
        edits.erase(first + 1, last);
    }
}

void RecordRemovals(std::vector<CEdit>& edits, const std::vector<CRemoval>& removals)
{
    if (removals.empty()) return;
    std::vector<CEdit> out;
    out.reserve(edits.size() + removals.size());
    std::size_t i = 0;
    std::size_t r = 0;
    std::int64_t shift = 0;  // bytes removed before the stretch at hand
    while (i < edits.size() || r < removals.size()) {
        if (r == removals.size() || (i < edits.size() && End(edits[i]) < removals[r].m_nPos)) {
            CEdit e = edits[i++];
            e.m_nPos -= shift;
            out.push_back(e);
            continue;
        }
        // A removal and every edit or removal that meets the stretch so far.
        std::int64_t from = removals[r].m_nPos;
        std::int64_t to = from;
        std::int64_t removed = 0;
        std::int64_t length = 0;
        std::int64_t source = 0;
        bool byRule = false;
        for (;;) {
            if (r < removals.size() && removals[r].m_nPos <= to) {
                to = std::max(to, removals[r].m_nPos + removals[r].m_nLength);
                removed += removals[r].m_nLength;
                ++r;
            } else if (i < edits.size() && edits[i].m_nPos <= to) {
                from = std::min(from, edits[i].m_nPos);
                to = std::max(to, End(edits[i]));
                length += edits[i].m_nLength;
                source += edits[i].m_nSourceLength;
                byRule = byRule || (edits[i].m_eKind != CEdit::Kind::Filtered && edits[i].m_nSourceLength > 0);
                ++i;
            } else {
                break;
            }
        }
        source += (to - from) - length;
        const std::int64_t left = (to - from) - removed;
        if (left != 0 || source != 0) out.push_back({from - shift, left, source, KindOf(left, source, byRule)});
        shift += removed;
    }
    edits = std::move(out);
}

std::string CheckEdits(std::string_view input, std::string_view output, const CRewriteReport& report)
{
    std::int64_t sum = 0;
    for (const std::int64_t n : report.m_arrGroupFirings) sum += n;
    if (sum != report.m_nFirings) return "the firings differ from their sum by group";
    std::size_t in = 0;
    std::size_t out = 0;
    for (std::size_t k = 0; k < report.m_arrEdits.size(); ++k) {
        const CEdit& e = report.m_arrEdits[k];
        const std::string at = "edit " + std::to_string(k) + ": ";
        if (e.m_nPos < 0 || e.m_nLength < 0 || e.m_nSourceLength < 0) return at + "a negative number";
        const auto pos = static_cast<std::size_t>(e.m_nPos);
        if (pos < out || (k > 0 && pos == out)) return at + "touches or overlaps the one before";
        const std::size_t clean = pos - out;
        if (in + clean > input.size() || pos + static_cast<std::size_t>(e.m_nLength) > output.size())
            return at + "runs past the end";
        if (output.substr(out, clean) != input.substr(in, clean)) return at + "the bytes before it differ";
        const bool empty = e.m_nLength == 0;
        const bool fits = e.m_eKind == CEdit::Kind::Inserted   ? !empty && e.m_nSourceLength == 0
                          : e.m_eKind == CEdit::Kind::Replaced ? !empty && e.m_nSourceLength > 0
                                                               : empty && e.m_nSourceLength > 0;
        if (!fits) return at + "its kind does not fit its lengths";
        in += clean + static_cast<std::size_t>(e.m_nSourceLength);
        out = pos + static_cast<std::size_t>(e.m_nLength);
    }
    if (in > input.size() || output.substr(out) != input.substr(in)) return "the bytes after the last edit differ";
    return {};
}
