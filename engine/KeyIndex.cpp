#include "KeyIndex.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace {

// The first eight bytes of a key as one number that sorts as they do (a
// shorter key padded with zeros).
std::uint64_t Prefix(std::string_view key)
{
    unsigned char b[8] = {};
    std::memcpy(b, key.data(), std::min<std::size_t>(8, key.size()));
    std::uint64_t v = 0;
    for (const unsigned char c : b) v = v << 8 | c;
    return v;
}

struct Sortable {
    std::uint64_t prefix;
    std::uint32_t group;
};

// Sorts a[0, n) as less does, less ordering first by prefix: by the prefix's
// bytes from the byte at `shift` down, each a pass that deals the items into
// 256 runs in place, and by less within a run too short to deal or whose
// prefixes are all equal. The order is less's, as std::sort's would be, in
// a few passes over the items rather than some twenty comparisons each.
template <class Less>
void SortByPrefix(Sortable* a, std::size_t n, int shift, const Less& less)
{
    constexpr std::size_t kShortRun = 64;
    if (n >= kShortRun && shift >= 0) {
        // Bytes that every item shares are skipped, not dealt into one run.
        std::uint64_t differ = 0;
        for (std::size_t i = 1; i < n; ++i) differ |= a[i].prefix ^ a[0].prefix;
        differ &= shift >= 56 ? ~std::uint64_t{0} : (std::uint64_t{1} << (shift + 8)) - 1;
        shift = differ == 0 ? -1 : (63 - std::countl_zero(differ)) / 8 * 8;
    }
    if (n < kShortRun || shift < 0) {
        std::sort(a, a + n, less);
        return;
    }
    const auto digit = [shift](const Sortable& s) { return static_cast<unsigned>(s.prefix >> shift) & 0xFF; };
    std::size_t count[256] = {};
    for (std::size_t i = 0; i < n; ++i) ++count[digit(a[i])];
    std::size_t next[256], end[256];
    std::size_t at = 0;
    for (unsigned b = 0; b < 256; ++b) {
        next[b] = at;
        at += count[b];
        end[b] = at;
    }
    for (unsigned b = 0; b < 256; ++b) {
        while (next[b] < end[b]) {
            Sortable item = a[next[b]];
            for (unsigned d = digit(item); d != b; d = digit(item)) std::swap(item, a[next[d]++]);
            a[next[b]++] = item;
        }
    }
    std::size_t from = 0;
    for (unsigned b = 0; b < 256; ++b) {
        SortByPrefix(a + from, count[b], shift - 8, less);
        from += count[b];
    }
}

}  // namespace

CKeyIndex::CKeyIndex(std::shared_ptr<const std::string> bytes, const std::vector<CKeySpan>& keys)
    : m_pBytes(std::move(bytes))
{
    if (keys.size() > std::numeric_limits<std::int32_t>::max()) throw std::length_error("too many rule keys to index");
    const std::string_view all(*m_pBytes);
    const auto key = [&](std::uint32_t g) { return all.substr(keys[g].offset, keys[g].length); };

    // The groups in key order, so that the keys below any node of the trie
    // form one run. Sorted by their first eight bytes as numbers held beside
    // them, which settles most comparisons without reading the keys, and
    // lets the sort deal them by those bytes.
    std::vector<std::uint32_t> order;
    {
        std::vector<Sortable> sortable(keys.size());
        for (std::uint32_t g = 0; g < keys.size(); ++g) sortable[g] = {Prefix(key(g)), g};
        SortByPrefix(sortable.data(), sortable.size(), 56, [&](const Sortable& a, const Sortable& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            return key(a.group).compare(key(b.group)) < 0;
        });
        order.resize(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) order[i] = sortable[i].group;
    }

    // Each task makes one node: the keys order[lo, hi) all share their first
    // `depth` bytes and reach this node.
    struct Task {
        std::uint32_t node, lo, hi, depth;
    };
    // A trie of n distinct keys has at most 2n nodes besides its root, and
    // seldom more than 1.5n.
    m_nodes.reserve(keys.size() + keys.size() / 2 + 1);
    m_edgeBytes.reserve(keys.size() + keys.size() / 2 + 1);
    m_rootChild.fill(-1);
    m_nodes.emplace_back();
    m_edgeBytes.push_back(0);
    std::vector<Task> tasks{{0, 0, static_cast<std::uint32_t>(order.size()), 0}};
    while (!tasks.empty()) {
        const Task t = tasks.back();
        tasks.pop_back();
        std::uint32_t lo = t.lo;
        // The key that ends here sorts first.
        if (lo < t.hi && key(order[lo]).size() == t.depth) m_nodes[t.node].group = static_cast<std::int32_t>(order[lo++]);
        m_nodes[t.node].firstChild = static_cast<std::uint32_t>(m_nodes.size());
        // One child per byte at `depth`; its edge runs as far as all its keys agree.
        while (lo < t.hi) {
            const auto b = static_cast<unsigned char>(key(order[lo])[t.depth]);
            std::uint32_t hi = lo + 1;
            while (hi < t.hi && static_cast<unsigned char>(key(order[hi])[t.depth]) == b) ++hi;
            const std::string_view first = key(order[lo]);
            const std::string_view last = key(order[hi - 1]);
            std::uint32_t depth = t.depth + 1;
            while (depth < first.size() && depth < last.size() && first[depth] == last[depth]) ++depth;
            const auto child = static_cast<std::uint32_t>(m_nodes.size());
            Node node;
            node.labelStart = keys[order[lo]].offset + t.depth + 1;
            node.labelLength = depth - t.depth - 1;
            m_nodes.push_back(node);
            m_edgeBytes.push_back(b);
            if (t.node == 0) m_rootChild[b] = static_cast<std::int32_t>(child);
            tasks.push_back({child, lo, hi, depth});
            lo = hi;
        }
        m_nodes[t.node].childCount = static_cast<std::uint32_t>(m_nodes.size()) - m_nodes[t.node].firstChild;
    }

    // Pairs of bytes at which some key may match: the first two bytes of the
    // longer keys, and every pair that begins with a one-byte key; likewise
    // their first three bytes.
    for (const CKeySpan span : keys) {
        const std::string_view k = all.substr(span.offset, span.length);
        const auto triple = [&](unsigned a, unsigned b, unsigned c) {
            const unsigned t = Triple(a, b, c);
            m_triples[t >> 6] |= std::uint64_t{1} << (t & 63);
        };
        if (k.size() == 1) {
            const unsigned first = static_cast<unsigned char>(k[0]) << 8;
            for (unsigned second = 0; second < 256; ++second) SetPair(first | second);
            m_triples.fill(~std::uint64_t{0});
        } else if (k.size() >= 2) {
            const auto a = static_cast<unsigned char>(k[0]);
            const auto b = static_cast<unsigned char>(k[1]);
            SetPair(a << 8 | b);
            if (k.size() == 2) {
                for (unsigned c = 0; c < 256; ++c) triple(a, b, c);
            } else {
                triple(a, b, static_cast<unsigned char>(k[2]));
            }
        }
    }
}

int CKeyIndex::Child(const Node& node, unsigned char b) const
{
    const auto* begin = m_edgeBytes.data() + node.firstChild;
    const auto* end = begin + node.childCount;
    const auto* it = std::lower_bound(begin, end, b);
    if (it == end || *it != b) return -1;
    return static_cast<int>(it - m_edgeBytes.data());
}

void CKeyIndex::Matches(const unsigned char* p, std::int64_t n, std::vector<int>& out) const
{
    const std::size_t from = out.size();
    const auto take = [&](const Node& node) {
        if (node.group >= 0) out.push_back(node.group);
    };
    take(m_nodes[0]);
    if (n > 0) {
        int child = m_rootChild[p[0]];
        std::int64_t i = 1;
        while (child >= 0) {
            const Node& node = m_nodes[static_cast<std::size_t>(child)];
            // Keys end only at nodes: a label that does not fit, or differs,
            // ends the walk.
            if (node.labelLength > n - i ||
                std::memcmp(p + i, m_pBytes->data() + node.labelStart, node.labelLength) != 0)
                break;
            i += node.labelLength;
            take(node);
            if (i >= n) break;
            child = Child(node, p[i++]);
        }
    }
    // Shorter keys were found first; the pass wants the groups in order.
    if (out.size() - from > 1) std::sort(out.begin() + static_cast<std::ptrdiff_t>(from), out.end());
}
