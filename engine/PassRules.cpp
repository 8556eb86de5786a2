// Rules converted for text in another encoding: every key and text through
// ConvertText, groups merged where folding makes two keys one.
#include "PassRules.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

namespace {

// Converts every piece; a piece that cannot be converted gets nullopt and
// the reason. One conversion for all when they all convert (pieces joined by
// LF, which no piece holds and every pass encoding keeps as the one byte).
struct Converted {
    std::vector<std::optional<std::string>> pieces;
    std::vector<CConvertError> errors;
};

Converted ConvertPieces(const std::vector<std::string_view>& pieces, EncodingId from, EncodingId to)
{
    Converted out;
    out.pieces.resize(pieces.size());
    out.errors.resize(pieces.size());
    std::string joined;
    bool joinable = true;
    for (const auto piece : pieces) {
        if (piece.find('\n') != std::string_view::npos) joinable = false;
        joined.append(piece);
        joined += '\n';
    }
    std::string all;
    if (joinable && ConvertText(joined, {from, false}, {to, false}, all)) {
        std::size_t start = 0;
        std::size_t i = 0;
        for (; i < pieces.size(); ++i) {
            const std::size_t lf = all.find('\n', start);
            if (lf == std::string::npos) break;
            out.pieces[i] = all.substr(start, lf - start);
            start = lf + 1;
        }
        if (i == pieces.size() && start == all.size()) return out;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::string one;
        if (ConvertText(pieces[i], {from, false}, {to, false}, one, &out.errors[i])) out.pieces[i] = std::move(one);
        else out.pieces[i].reset();
    }
    return out;
}

std::string LeftOutItem(int line, const CConvertError& error)
{
    char buf[64];
    const int n = line > 0 ? std::snprintf(buf, sizeof buf, "第%d行", line) : 0;
    if (error.m_eKind == CConvertError::Kind::Unrepresentable)
        std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), "（U+%04X）", static_cast<unsigned>(error.m_cChar));
    else
        std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), "（不正なバイト）");
    return buf;
}

}  // namespace

std::shared_ptr<const CPassRules> CRuleSet::PassRules(EncodingId encoding) const
{
    const std::size_t slot = PassEncodingSlot(encoding);
    // The built-in rules are converted once per encoding for every set.
    static std::mutex builtinMutex;
    static std::array<std::shared_ptr<const CPassRules>, kPassEncodingCount> builtin;
    std::unique_lock builtinLock(builtinMutex, std::defer_lock);
    if (m_bBuiltin) {
        builtinLock.lock();
        if (builtin[slot]) return builtin[slot];
    }
    const std::lock_guard lock(m_indexMutex);
    if (m_arrPassRules[slot]) return m_arrPassRules[slot];

    // Line of each entry: entry i of group g is the i-th rule added to g.
    std::vector<std::vector<int>> lines(m_arrGroups.size());
    for (const RuleOrigin& o : m_arrOrigins) lines[o.group].push_back(o.line);
    std::vector<std::string_view> pieces;
    for (const CRuleGroup& group : m_arrGroups) {
        pieces.emplace_back(group.m_strKey);
        for (const auto& text : group.m_arrTexts) pieces.emplace_back(text);
    }
    const Converted converted = ConvertPieces(pieces, m_ruleEncoding, encoding);

    auto rules = std::make_shared<CPassRules>();
    std::map<int, std::string> leftOut;  // by line: one item per rule
    int unnumbered = 0;
    const auto leaveOut = [&](int line, const CConvertError& error) {
        leftOut.emplace(line > 0 ? line : -(++unnumbered), LeftOutItem(line, error));
    };
    std::unordered_map<std::string, std::size_t> groupOf;
    std::size_t p = 0;
    for (std::size_t g = 0; g < m_arrGroups.size(); ++g) {
        const CRuleGroup& group = m_arrGroups[g];
        const auto& key = converted.pieces[p];
        const CConvertError& keyError = converted.errors[p];
        ++p;
        for (std::size_t i = 0; i < group.m_arrTexts.size(); ++i, ++p) {
            const int line = i < lines[g].size() ? lines[g][i] : 0;
            if (!key) {
                leaveOut(line, keyError);
                continue;
            }
            if (!converted.pieces[p]) {
                leaveOut(line, converted.errors[p]);
                continue;
            }
            // Keys that become equal share the first one's group, as a rule
            // file written in this encoding would have them.
            auto [it, added] = groupOf.emplace(*key, rules->m_arrGroups.size());
            if (added) rules->m_arrGroups.emplace_back().SetKey(*key);
            rules->m_arrGroups[it->second].AddEntry(group.m_arrModes[i], *converted.pieces[p]);
        }
    }
    for (auto& [line, item] : leftOut) rules->m_arrLeftOut.push_back(std::move(item));
    std::vector<std::string_view> keys;
    for (const CRuleGroup& group : rules->m_arrGroups) keys.emplace_back(group.m_strKey);
    rules->m_pIndex = std::make_shared<const CKeyIndex>(keys);

    m_arrPassRules[slot] = rules;
    if (m_bBuiltin) builtin[slot] = rules;
    return rules;
}

std::vector<CRuleGroup> CRuleSet::GetPassGroups(EncodingId encoding) const
{
    encoding = PassEncoding(encoding);
    if (encoding == m_ruleEncoding) return m_arrGroups;
    return PassRules(encoding)->m_arrGroups;
}

std::string CRuleSet::LeftOutMessage(EncodingId encoding) const
{
    encoding = PassEncoding(encoding);
    if (encoding == m_ruleEncoding) return {};
    const auto rules = PassRules(encoding);
    if (rules->m_arrLeftOut.empty()) return {};
    constexpr std::size_t kShown = 20;
    std::string items;
    for (std::size_t i = 0; i < rules->m_arrLeftOut.size() && i < kShown; ++i) {
        if (i > 0) items += "、";
        items += rules->m_arrLeftOut[i];
    }
    if (rules->m_arrLeftOut.size() > kShown) items += "ほか" + std::to_string(rules->m_arrLeftOut.size() - kShown) + "件";
    const std::string name = IsValidUtf8(m_strFileName) && !m_strFileName.empty() ? "「" + m_strFileName + "」" : "";
    return "設定ファイル" + name + "の" + items + "の規則は" + DisplayName({encoding, false}) +
           "で表せない文字を含むので使いません。";
}

void CRuleSet::ReportLeftOutRules(EncodingId encoding) const
{
    if (!m_pSink) return;
    const std::string message = LeftOutMessage(encoding);
    if (!message.empty()) m_pSink->ShowMessage(message);
}
