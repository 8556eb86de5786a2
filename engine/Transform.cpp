// The rewriting pass. The text is held in a gap buffer whose gap follows the
// scan position, so every rewrite costs only the bytes it touches; the groups
// are found through the set's key index (KeyIndex.h), so a position costs a
// walk as long as the longest key that starts there, however many groups the
// set holds.
#include "EditReport.h"
#include "KeyIndex.h"
#include "PassRules.h"
#include "Random.h"
#include "RuleSet.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// What the pass records of its firings: nothing (the usual pass, at no cost),
// or the report's edits and counts.
struct CNoRecord {
    void Fired(int /*group*/, std::int64_t /*pos*/, std::int64_t /*removed*/, std::int64_t /*inserted*/) {}
};

class CReportRecord {
public:
    CReportRecord(CRewriteReport& report, std::size_t groups) : m_report(report)
    {
        m_report.m_arrEdits.clear();
        m_report.m_nFirings = 0;
        m_report.m_arrGroupFirings.assign(groups, 0);
    }
    void Fired(int group, std::int64_t pos, std::int64_t removed, std::int64_t inserted)
    {
        ++m_report.m_nFirings;
        ++m_report.m_arrGroupFirings[static_cast<std::size_t>(group)];
        RecordRuleChange(m_report.m_arrEdits, pos, removed, inserted);
    }

private:
    CRewriteReport& m_report;
};

// A plain string as the pass's text: every rewrite rebuilds in place.
class CPlainText {
public:
    explicit CPlainText(CByteString& s) : m_s(s) {}
    std::int64_t Length() const { return static_cast<std::int64_t>(m_s.size()); }
    // Bytes from position a on.
    const unsigned char* At(std::int64_t a) const
    {
        return reinterpret_cast<const unsigned char*>(m_s.data()) + a;
    }
    void Erase(std::int64_t a, std::int64_t n) { m_s.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(n)); }
    void Insert(std::int64_t a, std::int64_t /*scan*/, std::string_view t) { m_s.insert(static_cast<std::size_t>(a), t); }
    void Focus(std::int64_t) {}

private:
    CByteString& m_s;
};

// Gap buffer: the text is buf[0, gapStart) followed by buf[gapEnd, size).
// The gap moves only when a rewrite needs it, in one block.
class CGapText {
public:
    explicit CGapText(const CByteString& s)
    {
        const std::size_t cap = s.size() + s.size() / 4 + 4096;
        m_buf.reset(new unsigned char[cap]);
        m_cap = cap;
        m_gapStart = 0;
        m_gapEnd = cap - s.size();
        if (!s.empty()) std::memcpy(m_buf.get() + m_gapEnd, s.data(), s.size());
    }

    std::int64_t Length() const { return static_cast<std::int64_t>(m_gapStart + (m_cap - m_gapEnd)); }

    // Bytes from position a on; the gap must lie at or before a.
    const unsigned char* At(std::int64_t a) const
    {
        return m_buf.get() + m_gapEnd + (static_cast<std::size_t>(a) - m_gapStart);
    }

    // Makes the bytes from a on contiguous (moves the gap back when needed).
    void Focus(std::int64_t a)
    {
        if (static_cast<std::size_t>(a) < m_gapStart) MoveGap(static_cast<std::size_t>(a));
    }

    void Erase(std::int64_t a, std::int64_t n)
    {
        MoveGap(static_cast<std::size_t>(a));
        m_gapEnd += static_cast<std::size_t>(n);
    }

    // Inserts t at a, then leaves the gap at the scan position (a or before).
    void Insert(std::int64_t a, std::int64_t scan, std::string_view t)
    {
        MoveGap(static_cast<std::size_t>(a));
        Reserve(t.size());
        m_gapEnd -= t.size();
        if (!t.empty()) std::memcpy(m_buf.get() + m_gapEnd, t.data(), t.size());
        MoveGap(static_cast<std::size_t>(scan));
    }

    // The text before a and from a on, each contiguous (moves the gap to a).
    std::string_view Before(std::int64_t a)
    {
        MoveGap(static_cast<std::size_t>(a));
        return {reinterpret_cast<const char*>(m_buf.get()), m_gapStart};
    }
    std::string_view After() const
    {
        return {reinterpret_cast<const char*>(m_buf.get()) + m_gapEnd, m_cap - m_gapEnd};
    }

    // Replaces s with the text, reusing its storage.
    void CopyTo(CByteString& s) const
    {
        s.clear();
        s.reserve(static_cast<std::size_t>(Length()));
        s.append(reinterpret_cast<const char*>(m_buf.get()), m_gapStart);
        s.append(reinterpret_cast<const char*>(m_buf.get()) + m_gapEnd, m_cap - m_gapEnd);
    }

private:
    void MoveGap(std::size_t a)
    {
        unsigned char* b = m_buf.get();
        if (a < m_gapStart) {
            const std::size_t d = m_gapStart - a;
            std::memmove(b + m_gapEnd - d, b + a, d);
            m_gapStart -= d;
            m_gapEnd -= d;
        } else if (a > m_gapStart) {
            const std::size_t d = a - m_gapStart;
            std::memmove(b + m_gapStart, b + m_gapEnd, d);
            m_gapStart += d;
            m_gapEnd += d;
        }
    }

    void Reserve(std::size_t need)
    {
        if (m_gapEnd - m_gapStart >= need) return;
        const std::size_t tail = m_cap - m_gapEnd;
        const std::size_t cap = std::max(m_cap * 2, m_cap + need + 4096);
        std::unique_ptr<unsigned char[]> buf(new unsigned char[cap]);
        std::memcpy(buf.get(), m_buf.get(), m_gapStart);
        std::memcpy(buf.get() + cap - tail, m_buf.get() + m_gapEnd, tail);
        m_buf = std::move(buf);
        m_gapEnd = cap - tail;
        m_cap = cap;
    }

    std::unique_ptr<unsigned char[]> m_buf;
    std::size_t m_cap = 0;
    std::size_t m_gapStart = 0;
    std::size_t m_gapEnd = 0;
};

// One position: every group in order, each compared with the text as the
// groups before it left it. Returns the length change of the last firing.
// matches is scratch space, kept by the caller to spare allocations; work
// counts the groups looked up, one more for each lookup. A firing that would
// make the text longer than maxLength does not happen: `over` is set and the
// position ends there.
template <class Text, class Record>
std::int64_t ApplyAtImpl(const CPassRules& rules, Text& text, std::int64_t position, int threshold,
                         std::vector<int>& matches, std::int64_t& work, std::int64_t maxLength, bool& over,
                         Record& record)
{
    const CKeyIndex& index = *rules.m_pIndex;
    std::int64_t result = 0;
    std::int64_t a = 0;
    std::size_t next = 0;  // the next of `matches` to try
    bool stale = true;     // the text changed since `matches` was found
    int after = -1;        // the last group tried
    for (;;) {
        if (stale) {
            // Where the keys are compared: the position clamped into the text
            // as it stands now, since a firing past the end can bring the end
            // up to it.
            a = std::clamp<std::int64_t>(position, 0, text.Length());
            text.Focus(a);
            matches.clear();
            index.Matches(text.At(a), text.Length() - a, matches);
            work += static_cast<std::int64_t>(matches.size()) + 1;
            next = static_cast<std::size_t>(std::upper_bound(matches.begin(), matches.end(), after) - matches.begin());
            stale = false;
        }
        if (next == matches.size()) break;
        const int g = matches[next++];
        after = g;
        // The key stands at a, so a + k <= length.
        const int r1 = jest::rand();
        if (r1 % 100 >= threshold) continue;  // nothing changed: the same matches stand
        const auto first = rules.First()[static_cast<std::size_t>(g)];
        const auto count = rules.First()[static_cast<std::size_t>(g) + 1] - first;
        const int r2 = jest::rand();
        const std::size_t entry = first + static_cast<std::size_t>(r2) % count;
        const std::string_view insert = rules.Text(entry);
        const auto k = static_cast<std::int64_t>(rules.m_arrKeys[static_cast<std::size_t>(g)].length);
        // Bytes of the key that a rewrite removes: all of it, or at a negative
        // position only those that the clamped right part leaves out.
        const std::int64_t cut = std::max<std::int64_t>(0, k + std::min<std::int64_t>(position, 0));
        const auto e = static_cast<std::int64_t>(insert.size());
        const int mode = rules.Modes()[entry];
        const std::int64_t grows = mode == kModeReplace ? e - cut : mode == kModeDelete ? -cut : e;
        if (grows > 0 && text.Length() > maxLength - grows) {
            over = true;
            break;
        }
        switch (mode) {
        case kModeReplace:
            text.Erase(a, cut);
            text.Insert(a, a, insert);
            record.Fired(g, a, cut, e);
            break;
        case kModeInsertBefore:
            text.Insert(a, a, insert);
            record.Fired(g, a, 0, e);
            break;
        case kModeInsertAfter:
            text.Insert(a + cut, a, insert);
            record.Fired(g, a + cut, 0, e);
            break;
        default:
            text.Erase(a, cut);
            record.Fired(g, a, cut, 0);
            break;
        }
        result = grows;
        stale = true;
    }
    return result;
}

}  // namespace

std::int64_t CRuleSet::ApplyAt(CByteString& text, std::int64_t position, int threshold) const
{
    const auto rules = Pass(m_ruleEncoding);
    CPlainText plain(text);
    std::vector<int> matches;
    std::int64_t work = 0;
    bool over = false;
    CNoRecord record;
    return ApplyAtImpl(*rules, plain, position, threshold, matches, work, std::numeric_limits<std::int64_t>::max(),
                       over, record);
}

namespace {

// Groups a pass with a limit may look up per byte of the limit.
constexpr std::int64_t kLimitWorkPerByte = 8;

// Where a pass stops: positions tried (PassBound, or a tighter limit), and
// with a limit the groups looked up as well, since many keys that stand at
// one place make every firing there look them all up again. The length is
// bounded firing by firing (ApplyAtImpl's maxLength).
struct CPassBounds {
    std::int64_t m_nBound;
    std::int64_t m_nWorkBound;  // -1: none

    bool Reached(std::int64_t tried, std::int64_t work) const
    {
        return tried >= m_nBound || (m_nWorkBound >= 0 && work > m_nWorkBound);
    }
};

// Length of the character at p (n bytes left), as CharLength gives it; the
// common UTF-8 cases inline.
inline std::int64_t StepLength(const unsigned char* p, std::int64_t n, EncodingId id)
{
    if (p[0] < 0x80) return 1;
    if (id == EncodingId::Utf8 && n >= 3 && p[0] >= 0xE1 && p[0] <= 0xEF && p[0] != 0xED &&
        ((p[1] ^ 0x80) | (p[2] ^ 0x80)) < 0x40)
        return 3;
    const std::size_t len =
        CharLength(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)), 0, id);
    return static_cast<std::int64_t>(len);
}

// The pass over CP932 text: every byte position. False when it stopped at a bound.
template <class Record>
bool PassByBytes(const CPassRules& rules, CGapText& gap, int threshold, const CPassBounds& bounds, Record& record)
{
    const CKeyIndex& index = *rules.m_pIndex;
    const std::int64_t bound = bounds.m_nBound;
    std::int64_t work = 0;
    std::vector<int> matches;
    std::int64_t position = 0;
    std::int64_t tried = 0;
    std::int64_t length = gap.Length();
    for (;;) {
        // Positions where no key can start change nothing and draw nothing:
        // step over them in a tight loop, counting them as tried.
        // The last byte is left to ApplyAt, as a pair needs two bytes.
        if (position >= 0 && position + 1 < length && !index.HasEmptyKey()) {
            gap.Focus(position);
            const std::int64_t most = std::min(length - position - 1, bound - tried - 1);
            const std::int64_t skip = index.Unmatchable(gap.At(position), most);
            position += skip;
            tried += skip;
        }
        bool over = false;
        position += ApplyAtImpl(rules, gap, position, threshold, matches, work, bound, over, record) + 1;
        if (over) return false;
        ++tried;
        length = gap.Length();
        if (position > length) return true;
        // Endless chains of rules stop at the bound.
        if (bounds.Reached(tried, work)) return false;
    }
}

// The pass over UTF-8 or EUC-JP text: character starts only. False when it
// stopped at a bound.
template <class Record>
bool PassByCharacters(const CPassRules& rules, CGapText& gap, int threshold, const CPassBounds& bounds,
                      EncodingId id, Record& record)
{
    const CKeyIndex& index = *rules.m_pIndex;
    const std::int64_t bound = bounds.m_nBound;
    std::int64_t work = 0;
    std::vector<int> matches;
    std::int64_t position = 0;
    std::int64_t tried = 0;
    std::int64_t length = gap.Length();
    for (;;) {
        // Characters where no key can start, stepped over as above.
        if (position + 1 < length && !index.HasEmptyKey()) {
            gap.Focus(position);
            const unsigned char* p = gap.At(position);
            const std::int64_t n = length - position;
            const std::int64_t most = bound - tried - 1;
            std::int64_t i = 0;
            std::int64_t steps = 0;
            while (i + 2 < n && steps < most && !index.MayStart3(p + i)) {
                const unsigned c = p[i];
                if (c < 0x80) {
                    ++i;
                } else if (id == EncodingId::Utf8 && c - 0xE1 <= 0xEF - 0xE1 && c != 0xED &&
                           ((p[i + 1] ^ 0x80) | (p[i + 2] ^ 0x80)) < 0x40) {
                    i += 3;
                } else {
                    i += StepLength(p + i, n - i, id);
                }
                ++steps;
            }
            while (i + 1 < n && steps < most && !index.MayStart(p + i)) {
                i += StepLength(p + i, n - i, id);
                ++steps;
            }
            position += i;
            tried += steps;
        }
        bool over = false;
        const std::int64_t change = ApplyAtImpl(rules, gap, position, threshold, matches, work, bound, over, record);
        if (over) return false;
        ++tried;
        // A step back needs the text before the position as well.
        std::int64_t next;
        if (change < -1) {
            const std::string_view before = gap.Before(position);
            next = static_cast<std::int64_t>(NextPassPosition(before, gap.After(), change, id));
        } else {
            // Forward: NextPassPosition's walk, with the common lengths inline.
            gap.Focus(position);
            const unsigned char* p = gap.At(position);
            const std::int64_t n = gap.Length() - position;
            std::int64_t step = 0;
            while (step < change + 1) step += step < n ? StepLength(p + step, n - step, id) : 1;
            next = position + step;
        }
        position = next;
        length = gap.Length();
        if (position > length) return true;
        if (bounds.Reached(tried, work)) return false;
    }
}

}  // namespace

bool CRuleSet::TransformText(CByteString& text, int threshold, EncodingId encoding, std::int64_t limit,
                             CRewriteReport* report) const
{
    encoding = PassEncoding(encoding);
    const std::shared_ptr<const CPassRules> rules = Pass(encoding);
    CGapText gap(text);
    CPassBounds bounds{PassBound(static_cast<std::int64_t>(text.size())), -1};
    if (limit >= 0) {
        bounds.m_nBound = std::min(bounds.m_nBound, limit);
        bounds.m_nWorkBound = kLimitWorkPerByte * bounds.m_nBound;
    }
    const auto pass = [&](auto& record) {
        return StepsByCharacter(encoding) ? PassByCharacters(*rules, gap, threshold, bounds, encoding, record)
                                          : PassByBytes(*rules, gap, threshold, bounds, record);
    };
    bool whole;
    if (report) {
        CReportRecord record(*report, rules->m_arrKeys.size());
        whole = pass(record);
        report->m_bCutShort = !whole;
    } else {
        CNoRecord record;
        whole = pass(record);
    }
    gap.CopyTo(text);
    return whole;
}
