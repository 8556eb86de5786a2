// The rules of a set converted for text in another encoding, as the pass and
// ReportLeftOutRules use them (RuleSet.h).
#pragma once

#include "KeyIndex.h"
#include "RuleSet.h"

#include <memory>
#include <string>
#include <vector>

struct CPassRules {
    std::vector<CRuleGroup> m_arrGroups;
    std::shared_ptr<const CKeyIndex> m_pIndex;
    // One item per rule left out, in line order: "第3行（U+2460）".
    std::vector<std::string> m_arrLeftOut;
};
