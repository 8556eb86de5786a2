// The pass's index of a rule set's keys: which groups have a key that stands
// at a given place of the text. Built once per rule set (CRuleSet keeps it
// until the rules change) and never changed afterwards, so any number of
// passes may read one index at the same time.
//
// It is a compressed trie (a node only where keys branch or end, each edge
// labelled with the run of key bytes it stands for), so it costs a few dozen
// bytes per key, however long the keys are: the labels are read from the
// bytes that hold the keys, which the index shares. A key that no other
// continues ends at a leaf, which is no node but its group: its label is the
// rest of its key. It knows only byte strings: an index for another encoding
// of the text is built from the keys converted to that encoding.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where a key lies in the bytes that hold it.
struct CKeySpan {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

// A key as SortKeys orders it: its number and length, and its first eight
// bytes (zero-padded) as a number that sorts as they do.
struct CSortedKey {
    std::uint64_t m_nPrefix = 0;
    std::uint32_t m_nLength = 0;
    std::uint32_t m_nKey = 0;
};
using CSortedKeys = std::vector<CSortedKey>;

// Keys in the order of their bytes; equal keys next to each other, in no
// particular order among themselves. With `equal`, tells whether any two
// keys are equal.
CSortedKeys SortKeys(std::string_view bytes, const std::vector<CKeySpan>& keys, bool* equal = nullptr);
// Whether SortKeys may use the processor's bit extract where it has a quick
// one (the default); without it, it packs keys through tables, as it does on
// other processors. For tests of both ways.
void AllowQuickBitExtract(bool allowed);

// Keys, some perhaps equal, grouped: equal keys share one group, and the
// groups are numbered in the order their first keys come.
struct CKeyGroups {
    std::vector<std::uint32_t> m_arrGroupOf;  // group of each key; empty when all are distinct
    CSortedKeys m_sorted;                     // the groups (m_nKey) in the order of their keys
};
CKeyGroups GroupKeys(std::string_view bytes, const std::vector<CKeySpan>& keys);

// Of items that stand for grouped keys, one each, keeps the first of each
// group in place, in group order (a group's first key comes before the
// next group's), and gives back the room where most items went.
template <class T>
void KeepGroupFirsts(std::vector<T>& items, const std::vector<std::uint32_t>& groupOf)
{
    std::uint32_t count = 0;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (groupOf[k] == count)
            items[count++] = items[k];
    }
    items.resize(count);
    if (items.size() < items.capacity() / 2)
        items.shrink_to_fit();
}

class CKeyIndex {
public:
    // keys[g] is where the key of group g lies in bytes; keys are distinct.
    // The index reads keys while it lives: they must stay as they are.
    CKeyIndex(std::shared_ptr<const std::string> bytes, const std::vector<CKeySpan>& keys);
    // The same with the groups already in key order (SortKeys).
    CKeyIndex(std::shared_ptr<const std::string> bytes, const std::vector<CKeySpan>& keys, const CSortedKeys& sorted);
    // Keys that would not outlive the index.
    CKeyIndex(std::shared_ptr<const std::string>, std::vector<CKeySpan>&&) = delete;
    CKeyIndex(std::shared_ptr<const std::string>, std::vector<CKeySpan>&&, const CSortedKeys&) = delete;

    // Appends to out, in ascending order, every group whose key is a prefix
    // of the n bytes at p (the empty key included).
    void Matches(const unsigned char* p, std::int64_t n, std::vector<int>& out) const;

    bool HasEmptyKey() const { return m_nodes[0].group >= 0; }

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

    // Whether a key may start at p, judged by p[0] and p[1] as Unmatchable
    // judges them.
    bool MayStart(const unsigned char* p) const
    {
        const unsigned pair = static_cast<unsigned>(p[0]) << 8 | p[1];
        return (m_pairs[pair >> 6] >> (pair & 63)) & 1;
    }

    // The same judged by three bytes (p[2] must be readable), through one
    // table: fewer false hopes where many characters share their first two
    // bytes, as in UTF-8.
    bool MayStart3(const unsigned char* p) const
    {
        const unsigned t = Triple(p[0], p[1], p[2]);
        return (m_triples[t >> 6] >> (t & 63)) & 1;
    }

private:
    struct Node {
        std::uint32_t labelStart = 0;  // the edge's bytes after its first, in *m_pBytes
        std::uint32_t labelLength = 0;
        std::uint32_t firstChild = 0;  // the children are slots firstChild.. in a row
        std::uint32_t childCount = 0;
        std::int32_t group = -1;  // the group whose key ends here, if any
    };
    // What a slot leads to: node n (n > 0), or the leaf of group g (~g); 0
    // for nothing.
    using Child = std::int32_t;

    Child ChildOf(const Node& node, unsigned char b) const;
    void SetPair(unsigned pair) { m_pairs[pair >> 6] |= std::uint64_t{1} << (pair & 63); }
    static unsigned Triple(unsigned a, unsigned b, unsigned c) { return ((a * 0x9E3779B1u) >> 16 ^ (b << 8 | c)) & 0xFFFF; }

    std::shared_ptr<const std::string> m_pBytes;  // the keys
    const CKeySpan* m_pKeys = nullptr;            // where each group's key lies, for the leaves
    std::vector<Node> m_nodes;                    // m_nodes[0] is the root
    // Of each slot (a child of some node), the first byte of the edge to it
    // and what it leads to.
    std::vector<unsigned char> m_edgeBytes;
    std::vector<Child> m_children;
    std::array<Child, 256> m_rootChild{};
    std::array<std::uint64_t, 1024> m_pairs{};  // first two bytes of the keys, as bits
    // First three bytes of the keys, hashed; every third byte for shorter keys.
    std::array<std::uint64_t, 1024> m_triples{};
};
