// What a pass over text in one encoding needs: the groups in order, each a
// key and its entries, all bytes in one block, with the key index. Built once
// (by the loader, or on a set's first pass after a change, or converted for
// text in another encoding) and never changed, so sets and passes share it.
#pragma once

#include "Encoding.h"
#include "KeyIndex.h"
#include "RuleSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where each group's entries start and each entry's mode: the same for rules
// converted without merging groups, which share it.
struct CEntryLayout {
    // Entries of group g: m_arrFirst[g] up to m_arrFirst[g + 1].
    std::vector<std::uint32_t> m_arrFirst;
    std::vector<std::uint8_t> m_arrModes;
};

struct CPassRules {
    // Where an entry's text lies in *m_pBytes.
    using Entry = CKeySpan;

    EncodingId m_encoding = EncodingId::Cp932;
    std::shared_ptr<const std::string> m_pBytes;  // keys and texts
    std::vector<CKeySpan> m_arrKeys;               // key of each group
    std::shared_ptr<const CEntryLayout> m_pLayout;
    std::vector<Entry> m_arrEntries;
    // Rule-file line of each entry (0 for rules added through AddRule); only
    // in the rules' own encoding.
    std::vector<std::int32_t> m_arrLines;
    // Null when the rules are kept only to be converted (WithIndex).
    std::unique_ptr<const CKeyIndex> m_pIndex;
    // Rules left out of this encoding, in line order.
    std::vector<CLeftOutRule> m_arrLeftOut;

    int GroupCount() const { return static_cast<int>(m_arrKeys.size()); }
    const std::vector<std::uint32_t>& First() const { return m_pLayout->m_arrFirst; }
    const std::vector<std::uint8_t>& Modes() const { return m_pLayout->m_arrModes; }
    std::string_view Key(std::size_t g) const
    {
        return std::string_view(*m_pBytes).substr(m_arrKeys[g].offset, m_arrKeys[g].length);
    }
    std::string_view Text(std::size_t entry) const
    {
        return std::string_view(*m_pBytes).substr(m_arrEntries[entry].offset, m_arrEntries[entry].length);
    }
    // Group g as a value.
    CRuleGroup Group(std::size_t g) const;
    // Builds the key index over m_arrKeys; with `sorted`, the groups in key
    // order (SortKeys), which spares the index its sort.
    void IndexKeys(const CSortedKeys* sorted = nullptr);
};

// Empties v and gives its memory back, which v = {} does not (it keeps the
// capacity).
template <class T>
void Release(T& v)
{
    T().swap(v);
}

// Whether rules of these bytes serve unconverted for text in `to` (ASCII
// without NUL, which the pass encodings all hold as the same bytes).
bool ServesUnconverted(std::string_view bytes, EncodingId from, EncodingId to);

// A copy of the rules with a key index; `sorted` as IndexKeys takes it.
std::shared_ptr<CPassRules> IndexedCopy(const CPassRules& rules, const CSortedKeys* sorted);
// The rules with their key index: these, or a copy that has one.
std::shared_ptr<const CPassRules> WithIndex(const std::shared_ptr<const CPassRules>& rules,
                                            const CSortedKeys* sorted = nullptr);

// The rules converted for text in `to`: every key and text as ConvertText
// converts it (a character at a time, each distinct one once), groups merged
// where two keys become one (folding, or two codes of one character), rules
// that cannot be converted left out. The rules themselves when the conversion
// changes no byte.
std::shared_ptr<const CPassRules> ConvertPassRules(const std::shared_ptr<const CPassRules>& rules, EncodingId to);

// Rules whose groups are a rule file's runs of lines (one key perhaps in
// several runs), grouped and converted for text in `to`. Where the
// conversion keeps distinct keys apart, equal converted keys are equal keys:
// the runs are grouped by their converted keys, which are then sorted once
// for the grouping and the index. Otherwise they are grouped by their own.
struct CConvertedRuns {
    std::vector<std::uint32_t> m_arrGroupOf;     // group of each run; empty when each run is one
    std::shared_ptr<const CPassRules> m_pRules;  // the grouped rules converted; null: convert them anew
    CSortedKeys m_ownOrder;                      // the groups in key order, when the rules serve as they are
};
CConvertedRuns ConvertRuns(const std::shared_ptr<const CPassRules>& runs, EncodingId to);

// Merges the groups of `rules`: group g joins groupOf[g], groups numbered as
// GroupKeys numbers them; each group's entries in the order of the groups
// it merges.
void MergeGroups(CPassRules& rules, const std::vector<std::uint32_t>& groupOf);
