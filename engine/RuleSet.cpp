#include "RuleSet.h"

#include <algorithm>

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
    m_arrModes.push_back(std::clamp(mode, static_cast<int>(kModeReplace), static_cast<int>(kModeDelete)));
    m_arrTexts.push_back(text);
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
}

CByteString CRuleSet::GetFileName() const
{
    return m_strFileName;
}

void CRuleSet::SetFileName(const CByteString& name)
{
    m_strFileName = name;
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
}

void CRuleSet::AddRule(int mode, const CByteString& key, const CByteString& text)
{
    for (auto& group : m_arrGroups) {
        if (group.m_strKey == key) {
            group.AddEntry(mode, text);
            return;
        }
    }
    CRuleGroup group;
    group.SetKey(key);
    group.AddEntry(mode, text);
    m_arrGroups.push_back(std::move(group));
}
