// The pass's index of a rule set's keys: which groups have a key that stands
// at a given place of the text. Built once per rule set (CRuleSet keeps it
// until the rules change) and never changed afterwards, so any number of
// passes may read one index at the same time.
//
// It is a compressed trie (a node only where keys branch or end, each edge
// labelled with the run of key bytes it stands for), so it costs the key
// bytes once plus a few dozen bytes per key, however long the keys are. It
// knows only byte strings: an index for another encoding of the text is built
// from the keys converted to that encoding.
#pragma once

#include "ByteString.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

class CKeyIndex {
public:
    // keys[g] is the key of group g.
    explicit CKeyIndex(const std::vector<std::string_view>& keys);

    // Appends to out, in ascending order, every group whose key is a prefix
    // of the n bytes at p (the empty key included).
    void Matches(const unsigned char* p, std::int64_t n, std::vector<int>& out) const;

    bool HasEmptyKey() const { return m_nodes[0].groupCount > 0; }
    std::int64_t KeyLength(int group) const { return m_arrKeyLengths[static_cast<std::size_t>(group)]; }

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

    // Heap and object bytes the index holds.
    std::size_t MemoryBytes() const;

private:
    struct Node {
        std::uint32_t labelStart = 0;   // the edge's bytes after its first, in m_bytes
        std::uint32_t labelLength = 0;
        std::uint32_t edgeBegin = 0;    // children in m_edgeBytes / m_edgeNodes
        std::uint32_t edgeCount = 0;
        std::uint32_t groupBegin = 0;   // groups whose key ends here, in m_groups
        std::uint32_t groupCount = 0;
    };

    int Child(const Node& node, unsigned char b) const;
    void SetPair(unsigned pair) { m_pairs[pair >> 6] |= std::uint64_t{1} << (pair & 63); }
    static unsigned Triple(unsigned a, unsigned b, unsigned c) { return ((a * 0x9E3779B1u) >> 16 ^ (b << 8 | c)) & 0xFFFF; }

    CByteString m_bytes;                        // every key, one after the other
    std::vector<Node> m_nodes;                  // m_nodes[0] is the root
    std::vector<unsigned char> m_edgeBytes;     // first byte of each edge, ascending per node
    std::vector<std::uint32_t> m_edgeNodes;     // the node each edge leads to
    std::vector<int> m_groups;
    std::vector<std::int64_t> m_arrKeyLengths;
    std::array<std::int32_t, 256> m_rootChild{};
    std::array<std::uint64_t, 1024> m_pairs{};  // first two bytes of the keys, as bits
    // First three bytes of the keys, hashed; every third byte for shorter keys.
    std::array<std::uint64_t, 1024> m_triples{};
};
