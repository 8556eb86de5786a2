#include "RuleSet.h"

#include "KeyIndex.h"

#include <algorithm>
#include <functional>

void CRuleGroup::SetKey(const CByteString& key)
{
    m_strKey = key;
}

CByteString CRuleGroup::GetKey() const
{
    return m_strKey;
}

void CRuleGroup::AddEntry(int mode, const CByteString& text)
{
    AppendEntry(mode, text);
}

void CRuleGroup::AppendEntry(int mode, std::string_view text)
{
    m_arrModes.push_back(std::clamp(mode, static_cast<int>(kModeReplace), static_cast<int>(kModeDelete)));
    m_arrTexts.emplace_back(text);
}

int LevelToThreshold(int level)
{
    static constexpr int kThresholds[] = {5, 25, 50, 75, 100};
    return kThresholds[std::clamp(level, 0, 4)];
}

std::int64_t PassBound(std::int64_t length)
{
    return 32 * length + 4096;
}

namespace {

struct BuiltinEntry {
    int mode;
    const char* text;
};

// Builds one group complete (key and all its entries) before it joins the set.
CRuleGroup MakeGroup(const char* key, std::initializer_list<BuiltinEntry> entries)
{
    CRuleGroup group;
    group.SetKey(key);
    for (const auto& e : entries) group.AddEntry(e.mode, e.text);
    return group;
}

}  // namespace

CRuleSet::CRuleSet()
{
    // Shift-JIS bytes of the built-in rules.
    // "ます。" -> "ません。"
    m_arrGroups.push_back(MakeGroup("\x82\xDC\x82\xB7\x81\x42",
        {{kModeReplace, "\x82\xDC\x82\xB9\x82\xF1\x81\x42"}}));
    // "です。" -> "ではありません。"
    m_arrGroups.push_back(MakeGroup("\x82\xC5\x82\xB7\x81\x42",
        {{kModeReplace, "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42"}}));
    // "。": "（笑）", "、やっほー", "......" before it, or "ね？" in its place
    m_arrGroups.push_back(MakeGroup("\x81\x42",
        {{kModeInsertBefore, "\x81\x69\x8F\xCE\x81\x6A"},
         {kModeInsertBefore, "\x81\x41\x82\xE2\x82\xC1\x82\xD9\x81\x5B"},
         {kModeInsertBefore, "\x2E\x2E\x2E\x2E\x2E\x2E"},
         {kModeReplace, "\x82\xCB\x81\x48"}}));
    // "、": "（涙）", "(^_^;)", "だね" before it, or "なんと" after it
    m_arrGroups.push_back(MakeGroup("\x81\x41",
        {{kModeInsertBefore, "\x81\x69\x97\xDC\x81\x6A"},
         {kModeInsertBefore, "\x28\x5E\x5F\x5E\x3B\x29"},
         {kModeInsertAfter, "\x82\xC8\x82\xF1\x82\xC6"},
         {kModeInsertBefore, "\x82\xBE\x82\xCB"}}));
    // "なので、": "というのは嘘" before it
    m_arrGroups.push_back(MakeGroup("\x82\xC8\x82\xCC\x82\xC5\x81\x41",
        {{kModeInsertBefore, "\x82\xC6\x82\xA2\x82\xA4\x82\xCC\x82\xCD\x89\x52"}}));
    // "だから、" -> "ゆえに、"
    m_arrGroups.push_back(MakeGroup("\x82\xBE\x82\xA9\x82\xE7\x81\x41",
        {{kModeReplace, "\x82\xE4\x82\xA6\x82\xC9\x81\x41"}}));
    for (int g = 0; g < GetGroupCount(); ++g) IndexGroup(g, KeyHash(m_arrGroups[static_cast<std::size_t>(g)].m_strKey));
    for (std::uint32_t g = 0; g < m_arrGroups.size(); ++g) {
        for (std::size_t i = 0; i < m_arrGroups[g].m_arrModes.size(); ++i) m_arrOrigins.push_back({g, 0});
    }
    m_bBuiltin = true;
}

CRuleSet::CRuleSet(const CRuleSet& other)
    : m_strFileName(other.m_strFileName), m_arrGroups(other.m_arrGroups), m_pSink(other.m_pSink),
      m_ruleEncoding(other.m_ruleEncoding), m_bBuiltin(other.m_bBuiltin), m_arrOrigins(other.m_arrOrigins),
      m_arrKeySlots(other.m_arrKeySlots)
{
    const std::lock_guard lock(other.m_indexMutex);
    m_pKeyIndex = other.m_pKeyIndex;
    m_arrPassRules = other.m_arrPassRules;
}

CRuleSet& CRuleSet::operator=(const CRuleSet& other)
{
    if (this == &other) return *this;
    m_strFileName = other.m_strFileName;
    m_arrGroups = other.m_arrGroups;
    m_pSink = other.m_pSink;
    m_ruleEncoding = other.m_ruleEncoding;
    m_bBuiltin = other.m_bBuiltin;
    m_arrOrigins = other.m_arrOrigins;
    m_arrKeySlots = other.m_arrKeySlots;
    std::shared_ptr<const CKeyIndex> index;
    std::array<std::shared_ptr<const CPassRules>, 3> passRules;
    {
        const std::lock_guard lock(other.m_indexMutex);
        index = other.m_pKeyIndex;
        passRules = other.m_arrPassRules;
    }
    const std::lock_guard lock(m_indexMutex);
    m_pKeyIndex = std::move(index);
    m_arrPassRules = std::move(passRules);
    return *this;
}

CRuleSet::~CRuleSet() = default;

CByteString CRuleSet::GetFileName() const
{
    return m_strFileName;
}

void CRuleSet::SetFileName(const CByteString& name)
{
    m_strFileName = name;
}

void CRuleSet::SetEncoding(EncodingId encoding)
{
    ForgetKeyIndex();
    m_ruleEncoding = PassEncoding(encoding);
}

int CRuleSet::GetGroupCount() const
{
    return static_cast<int>(m_arrGroups.size());
}

CRuleGroup CRuleSet::GetGroup(int i) const
{
    return m_arrGroups[static_cast<std::size_t>(i)];
}

void CRuleSet::RemoveAllGroups()
{
    m_arrGroups.clear();
    m_arrKeySlots.clear();
    m_arrOrigins.clear();
    ForgetKeyIndex();
}

void CRuleSet::AddRule(int mode, const CByteString& key, const CByteString& text)
{
    AddRuleHashed(mode, key, text, KeyHash(key));
}

void CRuleSet::AddRuleHashed(int mode, std::string_view key, std::string_view text, std::uint32_t hash, int line)
{
    ForgetKeyIndex();
    const int found = FindGroup(key, hash);
    if (found >= 0) {
        m_arrGroups[static_cast<std::size_t>(found)].AppendEntry(mode, text);
        m_arrOrigins.push_back({static_cast<std::uint32_t>(found), line});
        return;
    }
    m_arrOrigins.push_back({static_cast<std::uint32_t>(m_arrGroups.size()), line});
    CRuleGroup& group = m_arrGroups.emplace_back();
    group.m_strKey.assign(key);
    group.AppendEntry(mode, text);
    IndexGroup(GetGroupCount() - 1, hash);
}

void CRuleSet::PrefetchKey(std::uint32_t hash) const
{
    if (!m_arrKeySlots.empty()) __builtin_prefetch(&m_arrKeySlots[hash & (m_arrKeySlots.size() - 1)]);
}

std::uint32_t CRuleSet::KeyHash(std::string_view key)
{
    return static_cast<std::uint32_t>(std::hash<std::string_view>()(key));
}

int CRuleSet::FindGroup(std::string_view key, std::uint32_t hash) const
{
    if (m_arrKeySlots.empty()) return -1;
    const std::size_t mask = m_arrKeySlots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const KeySlot& slot = m_arrKeySlots[i];
        if (slot.group == 0) return -1;
        if (slot.hash == hash && m_arrGroups[slot.group - 1].m_strKey == key)
            return static_cast<int>(slot.group - 1);
    }
}

void CRuleSet::IndexGroup(int g, std::uint32_t hash)
{
    if (2 * m_arrGroups.size() > m_arrKeySlots.size()) {
        std::vector<KeySlot> old(std::max<std::size_t>(16, 2 * m_arrKeySlots.size()));
        old.swap(m_arrKeySlots);
        const std::size_t mask = m_arrKeySlots.size() - 1;
        for (const KeySlot& slot : old) {
            if (slot.group == 0) continue;
            std::size_t i = slot.hash & mask;
            while (m_arrKeySlots[i].group != 0) i = (i + 1) & mask;
            m_arrKeySlots[i] = slot;
        }
    }
    const std::size_t mask = m_arrKeySlots.size() - 1;
    std::size_t i = hash & mask;
    while (m_arrKeySlots[i].group != 0) i = (i + 1) & mask;
    m_arrKeySlots[i] = {static_cast<std::uint32_t>(g) + 1, hash};
}

void CRuleSet::ForgetKeyIndex()
{
    m_bBuiltin = false;
    const std::lock_guard lock(m_indexMutex);
    m_pKeyIndex.reset();
    for (auto& rules : m_arrPassRules) rules.reset();
}

std::shared_ptr<const CKeyIndex> CRuleSet::KeyIndex() const
{
    const std::lock_guard lock(m_indexMutex);
    if (!m_pKeyIndex) {
        std::vector<std::string_view> keys;
        keys.reserve(m_arrGroups.size());
        for (const auto& group : m_arrGroups) keys.emplace_back(group.m_strKey);
        m_pKeyIndex = std::make_shared<const CKeyIndex>(keys);
    }
    return m_pKeyIndex;
}
