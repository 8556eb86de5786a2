#include "KeyIndex.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>

CKeyIndex::CKeyIndex(const std::vector<std::string_view>& keys)
{
    std::size_t total = 0;
    for (const auto key : keys) total += key.size();
    if (total > std::numeric_limits<std::uint32_t>::max() || keys.size() > std::numeric_limits<std::int32_t>::max())
        throw std::length_error("rule keys too large to index");

    m_bytes.reserve(total);
    std::vector<std::uint32_t> start(keys.size());
    m_arrKeyLengths.reserve(keys.size());
    for (std::size_t g = 0; g < keys.size(); ++g) {
        start[g] = static_cast<std::uint32_t>(m_bytes.size());
        m_bytes.append(keys[g]);
        m_arrKeyLengths.push_back(static_cast<std::int64_t>(keys[g].size()));
    }
    const auto key = [&](std::uint32_t g) {
        return std::string_view(m_bytes).substr(start[g], keys[g].size());
    };

    // The groups in key order (equal keys by group), so that the keys below
    // any node of the trie form one run.
    std::vector<std::uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int c = key(a).compare(key(b));
        return c < 0 || (c == 0 && a < b);
    });

    // Each task makes one node: the keys order[lo, hi) all share their first
    // `depth` bytes and reach this node.
    struct Task {
        std::uint32_t node, lo, hi, depth;
    };
    m_rootChild.fill(-1);
    m_nodes.emplace_back();
    std::vector<Task> tasks{{0, 0, static_cast<std::uint32_t>(order.size()), 0}};
    while (!tasks.empty()) {
        const Task t = tasks.back();
        tasks.pop_back();
        std::uint32_t lo = t.lo;
        // Keys that end here sort first.
        m_nodes[t.node].groupBegin = static_cast<std::uint32_t>(m_groups.size());
        while (lo < t.hi && key(order[lo]).size() == t.depth) m_groups.push_back(static_cast<int>(order[lo++]));
        m_nodes[t.node].groupCount = static_cast<std::uint32_t>(m_groups.size()) - m_nodes[t.node].groupBegin;
        m_nodes[t.node].edgeBegin = static_cast<std::uint32_t>(m_edgeBytes.size());
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
            node.labelStart = start[order[lo]] + t.depth + 1;
            node.labelLength = depth - t.depth - 1;
            m_nodes.push_back(node);
            m_edgeBytes.push_back(b);
            m_edgeNodes.push_back(child);
            if (t.node == 0) m_rootChild[b] = static_cast<std::int32_t>(child);
            tasks.push_back({child, lo, hi, depth});
            lo = hi;
        }
        m_nodes[t.node].edgeCount = static_cast<std::uint32_t>(m_edgeBytes.size()) - m_nodes[t.node].edgeBegin;
    }

    // Pairs of bytes at which some key may match: the first two bytes of the
    // longer keys, and every pair that begins with a one-byte key; likewise
    // their first three bytes.
    for (const auto k : keys) {
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
    m_nodes.shrink_to_fit();
    m_edgeBytes.shrink_to_fit();
    m_edgeNodes.shrink_to_fit();
    m_groups.shrink_to_fit();
}

int CKeyIndex::Child(const Node& node, unsigned char b) const
{
    const auto* begin = m_edgeBytes.data() + node.edgeBegin;
    const auto* end = begin + node.edgeCount;
    const auto* it = std::lower_bound(begin, end, b);
    if (it == end || *it != b) return -1;
    return static_cast<int>(m_edgeNodes[static_cast<std::size_t>(it - m_edgeBytes.data())]);
}

void CKeyIndex::Matches(const unsigned char* p, std::int64_t n, std::vector<int>& out) const
{
    const std::size_t from = out.size();
    const auto take = [&](const Node& node) {
        for (std::uint32_t i = 0; i < node.groupCount; ++i) out.push_back(m_groups[node.groupBegin + i]);
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
                std::memcmp(p + i, m_bytes.data() + node.labelStart, node.labelLength) != 0)
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

std::size_t CKeyIndex::MemoryBytes() const
{
    return sizeof *this + m_bytes.capacity() + m_nodes.capacity() * sizeof(Node) + m_edgeBytes.capacity() +
           m_edgeNodes.capacity() * sizeof(std::uint32_t) + m_groups.capacity() * sizeof(int) +
           m_arrKeyLengths.capacity() * sizeof(std::int64_t);
}
