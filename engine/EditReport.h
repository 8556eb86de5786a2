// The pass's edit report, as the pass will give it (RewriteText's report).
#pragma once

#include <cstdint>
#include <vector>

// One stretch of the rewritten text that differs from the pass's input.
// Output bytes [m_nPos, m_nPos + m_nLength) stand where m_nSourceLength bytes
// of the input stood. Between two edits the output is the input, byte for byte.
struct CEdit {
    enum class Kind : std::uint8_t { Inserted, Replaced, Deleted, Filtered };
    std::int64_t m_nPos = 0;
    std::int64_t m_nLength = 0;
    std::int64_t m_nSourceLength = 0;
    Kind m_eKind = Kind::Inserted;
};

struct CRewriteReport {
    std::vector<CEdit> m_arrEdits;               // ascending by m_nPos, disjoint
    std::int64_t m_nFirings = 0;                 // rules that fired in the pass
    std::vector<std::int64_t> m_arrGroupFirings; // per group
    bool m_bCutShort = false;                    // the pass stopped at a bound
};
