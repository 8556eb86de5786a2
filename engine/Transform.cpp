// The rewriting pass. The text is held in a gap buffer whose gap follows the
// scan position, so every rewrite costs only the bytes it touches; the groups
// are found through a trie of their keys, so a position costs a walk as long
// as the longest key that starts there, however many groups the set holds.
#include "Random.h"
#include "RuleSet.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

// All keys of a rule set in one byte trie. Each node lists, in ascending
// order, the groups whose key ends there; the root holds the empty keys.
class CKeyIndex {
public:
    explicit CKeyIndex(const std::vector<CByteString>& keys)
    {
        m_rootChild.fill(-1);
        m_nodes.emplace_back();
        for (std::size_t g = 0; g < keys.size(); ++g) {
            int node = 0;
            for (const char c : keys[g]) node = ChildOrNew(node, static_cast<unsigned char>(c));
            m_nodes[static_cast<std::size_t>(node)].groups.push_back(static_cast<int>(g));
        }
        m_hasEmpty = !m_nodes[0].groups.empty();
        // Pairs of bytes at which some key may match: the first two bytes of
        // the longer keys, and every pair that begins with a one-byte key.
        for (const auto& key : keys) {
            if (key.size() == 1) {
                const unsigned first = static_cast<unsigned char>(key[0]) << 8;
                for (unsigned second = 0; second < 256; ++second) SetPair(first | second);
            } else if (key.size() >= 2) {
                SetPair(static_cast<unsigned char>(key[0]) << 8 | static_cast<unsigned char>(key[1]));
            }
        }
    }

    // The first group after group `after` whose key is a prefix of the n
    // bytes at p, or -1 when there is none.
    int NextMatch(const unsigned char* p, std::int64_t n, int after) const
    {
        int best = FirstAfter(0, after, -1);
        if (n > 0) {
            int node = m_rootChild[p[0]];
            for (std::int64_t i = 1; node >= 0; ++i) {
                best = FirstAfter(node, after, best);
                if (i >= n) break;
                node = Child(node, p[i]);
            }
        }
        return best;
    }

    bool HasEmptyKey() const { return m_hasEmpty; }

    // Number of positions from p on, at most n, at which no key can match,
    // judged by the two bytes there (so p[n] must still be readable). Only for
    // sets without an empty key.
    std::int64_t Unmatchable(const unsigned char* p, std::int64_t n) const
    {
        std::int64_t i = 0;
        while (i < n) {
            const unsigned pair = static_cast<unsigned>(p[i]) << 8 | p[i + 1];
            if ((m_pairs[pair >> 6] >> (pair & 63)) & 1) break;
            ++i;
        }
        return i;
    }

private:
    struct Node {
        std::vector<std::pair<unsigned char, int>> edges;  // sorted by byte
        std::vector<int> groups;
    };

    // The smaller of best and the first group of the node after `after`.
    int FirstAfter(int node, int after, int best) const
    {
        for (const int g : m_nodes[static_cast<std::size_t>(node)].groups) {
            if (g > after) return best < 0 || g < best ? g : best;
        }
        return best;
    }

    int Child(int node, unsigned char b) const
    {
        const auto& edges = m_nodes[static_cast<std::size_t>(node)].edges;
        const auto it = std::lower_bound(edges.begin(), edges.end(), b,
            [](const std::pair<unsigned char, int>& e, unsigned char v) { return e.first < v; });
        return it != edges.end() && it->first == b ? it->second : -1;
    }

    int ChildOrNew(int node, unsigned char b)
    {
        if (node == 0) {
            if (m_rootChild[b] < 0) {
                m_rootChild[b] = static_cast<int>(m_nodes.size());
                m_nodes.emplace_back();
            }
            return m_rootChild[b];
        }
        const int existing = Child(node, b);
        if (existing >= 0) return existing;
        const int created = static_cast<int>(m_nodes.size());
        m_nodes.emplace_back();
        auto& edges = m_nodes[static_cast<std::size_t>(node)].edges;
        const auto it = std::lower_bound(edges.begin(), edges.end(), b,
            [](const std::pair<unsigned char, int>& e, unsigned char v) { return e.first < v; });
        edges.insert(it, {b, created});
        return created;
    }

    std::array<int, 256> m_rootChild{};
    std::vector<Node> m_nodes;
    bool m_hasEmpty = false;
    void SetPair(unsigned pair) { m_pairs[pair >> 6] |= std::uint64_t{1} << (pair & 63); }

    std::array<std::uint64_t, 1024> m_pairs{};  // first two bytes of the keys, as bits
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
    void Insert(std::int64_t a, std::int64_t /*scan*/, const CByteString& t) { m_s.insert(static_cast<std::size_t>(a), t); }
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
    void Insert(std::int64_t a, std::int64_t scan, const CByteString& t)
    {
        MoveGap(static_cast<std::size_t>(a));
        Reserve(t.size());
        m_gapEnd -= t.size();
        if (!t.empty()) std::memcpy(m_buf.get() + m_gapEnd, t.data(), t.size());
        MoveGap(static_cast<std::size_t>(scan));
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

// Everything the pass needs of a rule set, laid out for the scan.
struct CPassRules {
    explicit CPassRules(const std::vector<CRuleGroup>& groups)
        : index(KeysOf(groups)), groups(groups)
    {
        for (const auto& g : groups) keyLength.push_back(static_cast<std::int64_t>(g.GetKey().size()));
    }

    static std::vector<CByteString> KeysOf(const std::vector<CRuleGroup>& groups)
    {
        std::vector<CByteString> keys;
        keys.reserve(groups.size());
        for (const auto& g : groups) keys.push_back(g.GetKey());
        return keys;
    }

    CKeyIndex index;
    const std::vector<CRuleGroup>& groups;
    std::vector<std::int64_t> keyLength;
};

// One position: every group in order, each compared with the text as the
// groups before it left it. Returns the length change of the last firing.
template <class Text>
std::int64_t ApplyAtImpl(const CPassRules& rules, Text& text, std::int64_t position, int threshold)
{
    std::int64_t result = 0;
    int after = -1;
    for (;;) {
        // Where the key is compared: the position clamped into the text as it
        // stands now, since a firing past the end can bring the end up to it.
        const std::int64_t a = std::clamp<std::int64_t>(position, 0, text.Length());
        text.Focus(a);
        const int g = rules.index.NextMatch(text.At(a), text.Length() - a, after);
        if (g < 0) break;
        after = g;
        // The key stands at a, so a + k <= length.
        const int r1 = jest::rand();
        if (r1 % 100 >= threshold) continue;
        const CRuleGroup& group = rules.groups[static_cast<std::size_t>(g)];
        const auto& modes = group.GetModes();
        const auto& texts = group.GetTexts();
        const int r2 = jest::rand();
        const std::size_t entry = static_cast<std::size_t>(r2) % modes.size();
        const CByteString& insert = texts[entry];
        const std::int64_t k = rules.keyLength[static_cast<std::size_t>(g)];
        // Bytes of the key that a rewrite removes: all of it, or at a negative
        // position only those that the clamped right part leaves out.
        const std::int64_t cut = std::max<std::int64_t>(0, k + std::min<std::int64_t>(position, 0));
        const auto e = static_cast<std::int64_t>(insert.size());
        switch (modes[entry]) {
        case kModeReplace:
            text.Erase(a, cut);
            text.Insert(a, a, insert);
            result = e - cut;
            break;
        case kModeInsertBefore:
            text.Insert(a, a, insert);
            result = e;
            break;
        case kModeInsertAfter:
            text.Insert(a + cut, a, insert);
            result = e;
            break;
        default:
            text.Erase(a, cut);
            result = -cut;
            break;
        }
    }
    return result;
}

}  // namespace

std::int64_t CRuleSet::ApplyAt(CByteString& text, std::int64_t position, int threshold) const
{
    CPassRules rules(m_arrGroups);
    CPlainText plain(text);
    return ApplyAtImpl(rules, plain, position, threshold);
}

void CRuleSet::TransformText(CByteString& text, int threshold) const
{
    CPassRules rules(m_arrGroups);
    CGapText gap(text);
    const std::int64_t bound = PassBound(static_cast<std::int64_t>(text.size()));
    std::int64_t position = 0;
    std::int64_t tried = 0;
    std::int64_t length = gap.Length();
    for (;;) {
        // Positions where no key can start change nothing and draw nothing:
        // step over them in a tight loop, counting them as tried.
        // The last byte is left to ApplyAt, as a pair needs two bytes.
        if (position >= 0 && position + 1 < length && !rules.index.HasEmptyKey()) {
            gap.Focus(position);
            const std::int64_t most = std::min(length - position - 1, bound - tried - 1);
            const std::int64_t skip = rules.index.Unmatchable(gap.At(position), most);
            position += skip;
            tried += skip;
        }
        position += ApplyAtImpl(rules, gap, position, threshold) + 1;
        ++tried;
        length = gap.Length();
        if (position > length) break;
        // Endless chains of rules stop at the bound.
        if (tried >= bound || length > bound) break;
    }
    gap.CopyTo(text);
}
