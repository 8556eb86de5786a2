// What a rewriting changed: the stretches of the result that differ from the
// pass's input, as the pass and the filters record them when asked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One stretch of the rewritten text that differs from the pass's input.
// Output bytes [m_nPos, m_nPos + m_nLength) stand where m_nSourceLength bytes
// of the input stood. Between two edits the output is the input, byte for byte.
struct CEdit {
    enum class Kind : std::uint8_t {
        Inserted,  // a rule inserted text (nothing of the input replaced)
        Replaced,  // a rule replaced input text (or text it had inserted)
        Deleted,   // a rule deleted input text: m_nLength == 0
        Filtered,  // the tag or comment filter removed text: m_nLength == 0
    };
    std::int64_t m_nPos = 0;
    std::int64_t m_nLength = 0;
    std::int64_t m_nSourceLength = 0;
    Kind m_eKind = Kind::Inserted;

    bool operator==(const CEdit&) const = default;
};

struct CRewriteReport {
    std::vector<CEdit> m_arrEdits;                // ascending by m_nPos, disjoint
    std::int64_t m_nFirings = 0;                  // rules that fired in the pass
    std::vector<std::int64_t> m_arrGroupFirings;  // per group, in the order of
                                                  // rules.GetPassGroups(options.m_encoding)
    bool m_bCutShort = false;                     // the pass stopped at a bound
};

// Edits never touch: two that meet or overlap are one. A change that meets or
// overlaps edits takes them in; one that leaves nothing changed (no bytes
// either side) drops out.

// The text's bytes [pos, pos + removed) replaced by `inserted` bytes by a rule;
// edits and positions are in the text as it stands before the change.
void RecordRuleChange(std::vector<CEdit>& edits, std::int64_t pos, std::int64_t removed, std::int64_t inserted);

// A stretch a filter removed, in the text as the filter found it.
struct CRemoval {
    std::int64_t m_nPos;
    std::int64_t m_nLength;
};

// Takes a filter's removals (ascending, disjoint) into the edits, which are
// in the same text; after it they are in the filtered text. Linear in both.
void RecordRemovals(std::vector<CEdit>& edits, const std::vector<CRemoval>& removals);

// Walks a pass's input and output together through the report's edits: the
// bytes between edits agree, each edit's kind fits its lengths, edits neither
// touch nor overlap, the whole input is consumed and the firings add up to
// the counts per group. Empty when all holds, else what failed first (for
// the tests and the fuzzer).
std::string CheckEdits(std::string_view input, std::string_view output, const CRewriteReport& report);
