#include "RuleSet.h"

#include "PassRules.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <utility>

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

std::uint32_t CKeyTable::Hash(std::string_view key)
{
    // Keys of up to sixteen bytes, the most common, without the library's
    // general byte hash: their bytes (read as two overlapping words, or the
    // first, middle and last byte, which with the length give every byte
    // back) and length through a 64-bit finalizer.
    const std::size_t n = key.size();
    if (n > 16) return static_cast<std::uint32_t>(std::hash<std::string_view>()(key));
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    std::uint64_t x = 0;
    if (n > 8) {
        std::uint64_t lo = 0, hi = 0;
        std::memcpy(&lo, p, 8);
        std::memcpy(&hi, p + n - 8, 8);
        x = (lo ^ lo >> 29) * 0x9E3779B97F4A7C15u ^ hi;
    } else if (n >= 4) {
        std::uint32_t lo = 0, hi = 0;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + n - 4, 4);
        x = lo | std::uint64_t{hi} << 32;
    } else if (n > 0) {
        x = p[0] | std::uint64_t{p[n / 2]} << 8 | std::uint64_t{p[n - 1]} << 16;
    }
    x ^= std::uint64_t{n} << 60 | n;
    x = (x ^ x >> 30) * 0xBF58476D1CE4E5B9u;
    x = (x ^ x >> 27) * 0x94D049BB133111EBu;
    return static_cast<std::uint32_t>(x ^ x >> 31);
}

void CKeyTable::Reserve(std::size_t groups)
{
    std::size_t size = 16;
    while (size < 2 * groups) size *= 2;
    if (size <= m_arrSlots.size()) return;
    std::vector<Slot> old(size);
    old.swap(m_arrSlots);
    for (const Slot& slot : old) {
        if (slot.group != 0) Place(slot);
    }
}

void CKeyTable::Place(Slot slot)
{
    const std::size_t mask = m_arrSlots.size() - 1;
    std::size_t i = slot.hash & mask;
    while (m_arrSlots[i].group != 0) i = (i + 1) & mask;
    m_arrSlots[i] = slot;
}

void CKeyTable::Insert(std::uint32_t g, std::uint32_t hash)
{
    if (2 * (m_nCount + 1) > m_arrSlots.size()) Reserve(m_nCount + 1);
    Place({g + 1, hash});
    ++m_nCount;
}

namespace {

struct BuiltinEntry {
    int mode;
    const char* text;
};

struct BuiltinGroup {
    const char* key;
    std::initializer_list<BuiltinEntry> entries;
};

// The built-in rules, frozen, and converted for the other pass encodings:
// made once for every set.
struct CBuiltinRules {
    std::shared_ptr<CPassRules> own;
    std::array<std::shared_ptr<const CPassRules>, std::size(kAllEncodings)> converted;
};

}  // namespace

CRuleSet::CRuleSet()
{
    static const CBuiltinRules builtin = [] {
        // Shift-JIS bytes of the built-in rules, each group complete (key and
        // all its entries) before the next.
        const BuiltinGroup groups[] = {
            // "ます。" -> "ません。"
            {"\x82\xDC\x82\xB7\x81\x42", {{kModeReplace, "\x82\xDC\x82\xB9\x82\xF1\x81\x42"}}},
            // "です。" -> "ではありません。"
            {"\x82\xC5\x82\xB7\x81\x42",
             {{kModeReplace, "\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42"}}},
            // "。": "（笑）", "、やっほー", "......" before it, or "ね？" in its place
            {"\x81\x42",
             {{kModeInsertBefore, "\x81\x69\x8F\xCE\x81\x6A"},
              {kModeInsertBefore, "\x81\x41\x82\xE2\x82\xC1\x82\xD9\x81\x5B"},
              {kModeInsertBefore, "\x2E\x2E\x2E\x2E\x2E\x2E"},
              {kModeReplace, "\x82\xCB\x81\x48"}}},
            // "、": "（涙）", "(^_^;)", "だね" before it, or "なんと" after it
            {"\x81\x41",
             {{kModeInsertBefore, "\x81\x69\x97\xDC\x81\x6A"},
              {kModeInsertBefore, "\x28\x5E\x5F\x5E\x3B\x29"},
              {kModeInsertAfter, "\x82\xC8\x82\xF1\x82\xC6"},
              {kModeInsertBefore, "\x82\xBE\x82\xCB"}}},
            // "なので、": "というのは嘘" before it
            {"\x82\xC8\x82\xCC\x82\xC5\x81\x41",
             {{kModeInsertBefore, "\x82\xC6\x82\xA2\x82\xA4\x82\xCC\x82\xCD\x89\x52"}}},
            // "だから、" -> "ゆえに、"
            {"\x82\xBE\x82\xA9\x82\xE7\x81\x41", {{kModeReplace, "\x82\xE4\x82\xA6\x82\xC9\x81\x41"}}},
        };
        CRuleSet set(nullptr);
        for (const BuiltinGroup& group : groups) {
            for (const BuiltinEntry& e : group.entries) set.AddRule(e.mode, group.key, e.text);
        }
        set.Freeze(false);
        CBuiltinRules rules{set.m_pRules, {}};
        for (EncodingId id : kAllEncodings) {
            if (PassEncoding(id) == id && id != EncodingId::Cp932)
                rules.converted[static_cast<std::size_t>(id)] = ConvertPassRules(set.m_pRules, id);
        }
        return rules;
    }();
    m_pRules = builtin.own;
    m_arrPass = builtin.converted;
}

void CRuleSet::SetEncoding(EncodingId encoding)
{
    Thaw();
    m_ruleEncoding = PassEncoding(encoding);
}

int CRuleSet::GetGroupCount() const
{
    return m_pRules ? m_pRules->GroupCount() : static_cast<int>(m_arrKeys.size());
}

CRuleGroup CRuleSet::GetGroup(int i) const
{
    const auto g = static_cast<std::size_t>(i);
    if (m_pRules) return m_pRules->Group(g);
    CRuleGroup group;
    group.SetKey(CByteString(KeyOf(static_cast<std::uint32_t>(g))));
    for (const Rule& rule : m_arrRules) {
        if (rule.group == g)
            group.AddEntry(static_cast<int>(rule.lineMode & 3), m_bytes.substr(rule.offset, rule.length));
    }
    return group;
}

void CRuleSet::RemoveAllGroups()
{
    *this = CRuleSet(nullptr, m_strFileName, m_ruleEncoding);
}

void CRuleSet::AddRule(int mode, const CByteString& key, const CByteString& text)
{
    Thaw();
    if (m_bytes.size() + key.size() + text.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("rules too large");
    const CKeySpan keySpan{static_cast<std::uint32_t>(m_bytes.size()), static_cast<std::uint32_t>(key.size())};
    m_bytes += key;
    const CKeySpan textSpan{static_cast<std::uint32_t>(m_bytes.size()), static_cast<std::uint32_t>(text.size())};
    m_bytes += text;
    const std::uint32_t hash = CKeyTable::Hash(key);
    int group = m_keys.Find(key, hash, [this](std::uint32_t g) { return KeyOf(g); });
    if (group < 0) {
        group = static_cast<int>(m_arrKeys.size());
        m_arrKeys.push_back(keySpan);
        m_keys.Insert(static_cast<std::uint32_t>(group), hash);
    }
    // A rule added here has no rule-file line (0).
    const auto clamped = static_cast<std::uint32_t>(std::clamp(mode, static_cast<int>(kModeReplace),
                                                               static_cast<int>(kModeDelete)));
    m_arrRules.push_back({textSpan.offset, textSpan.length, static_cast<std::uint32_t>(group), clamped});
}

CSortedKeys CRuleSet::GroupRuns()
{
    CKeyGroups groups = GroupKeys(m_bytes, m_arrKeys);
    // With no two runs alike, each run is its group already.
    if (!groups.m_arrGroupOf.empty()) {
        for (Rule& rule : m_arrRules) rule.group = groups.m_arrGroupOf[rule.group];
        KeepGroupFirsts(m_arrKeys, groups.m_arrGroupOf);
    }
    return std::move(groups.m_sorted);
}

std::shared_ptr<CPassRules> CRuleSet::Gathered(std::shared_ptr<const std::string> bytes,
                                               std::vector<CKeySpan> keys) const
{
    auto rules = std::make_shared<CPassRules>();
    rules->m_encoding = m_ruleEncoding;
    rules->m_pBytes = std::move(bytes);
    rules->m_arrKeys = std::move(keys);
    // Entries group by group, each group's in the order they were added:
    // first[g + 1] counts group g's entries, then is where they start, then
    // (as each is placed) where they end, which is where group g + 1 starts.
    CEntryLayout layout;
    std::vector<std::uint32_t>& first = layout.m_arrFirst;
    first.assign(rules->m_arrKeys.size() + 1, 0);
    for (const Rule& rule : m_arrRules) ++first[rule.group + 1];
    std::uint32_t start = 0;
    for (std::size_t g = 1; g < first.size(); ++g) start += std::exchange(first[g], start);
    rules->m_arrEntries.resize(m_arrRules.size());
    layout.m_arrModes.resize(m_arrRules.size());
    rules->m_arrLines.resize(m_arrRules.size());
    for (const Rule& rule : m_arrRules) {
        const std::uint32_t e = first[rule.group + 1]++;
        rules->m_arrEntries[e] = {rule.offset, rule.length};
        layout.m_arrModes[e] = static_cast<std::uint8_t>(rule.lineMode & 3);
        rules->m_arrLines[e] = static_cast<std::int32_t>(rule.lineMode >> 2);
    }
    rules->m_pLayout = std::make_shared<const CEntryLayout>(std::move(layout));
    return rules;
}

void CRuleSet::Freeze(bool release, bool index, const CSortedKeys* order)
{
    if (m_pRules) return;
    auto bytes = std::make_shared<std::string>(std::move(m_bytes));
    std::shared_ptr<CPassRules> rules;
    try {
        if (release) {
            // The key table first, as the gathered rules need it no more.
            m_keys = {};
            // The loader made room for a key a line.
            if (m_arrKeys.size() < m_arrKeys.capacity() / 2)
                m_arrKeys.shrink_to_fit();
            rules = Gathered(bytes, std::move(m_arrKeys));
            Release(m_arrRules);
        } else {
            rules = Gathered(bytes, m_arrKeys);
        }
        if (index) rules->IndexKeys(order);
    } catch (...) {
        m_bytes = std::move(*bytes);
        throw;
    }
    m_pRules = std::move(rules);
    Release(m_arrKeys);
    Release(m_arrRules);
    m_keys = {};
    Release(m_bytes);
}

void CRuleSet::Thaw()
{
    m_arrPass = {};
    Release(m_pendingOrder);
    if (!m_pRules) return;
    const CPassRules& rules = *m_pRules;
    std::string bytes = *rules.m_pBytes;
    std::vector<Rule> list;
    list.reserve(rules.m_arrEntries.size());
    CKeyTable keys;
    keys.Reserve(rules.m_arrKeys.size());
    for (std::size_t g = 0; g < rules.m_arrKeys.size(); ++g) {
        keys.Insert(static_cast<std::uint32_t>(g), CKeyTable::Hash(rules.Key(g)));
        for (std::uint32_t e = rules.First()[g]; e < rules.First()[g + 1]; ++e)
            list.push_back({rules.m_arrEntries[e].offset, rules.m_arrEntries[e].length, static_cast<std::uint32_t>(g),
                            static_cast<std::uint32_t>(rules.m_arrLines[e]) << 2 | rules.Modes()[e]});
    }
    m_arrKeys = rules.m_arrKeys;
    m_bytes = std::move(bytes);
    m_arrRules = std::move(list);
    m_keys = std::move(keys);
    m_pRules.reset();
}

bool CRuleSet::PreparePass(EncodingId encoding)
{
    return Prepare(encoding, false);
}

bool CRuleSet::Prepare(EncodingId encoding, bool runs)
{
    encoding = PassEncoding(encoding);
    try {
        Freeze(false);
        auto& slot = m_arrPass[static_cast<std::size_t>(encoding)];
        if (encoding == m_ruleEncoding) {
            IndexOwnRules();
        } else if (!slot) {
            std::shared_ptr<const CPassRules> converted;
            if (runs) {
                CConvertedRuns grouped = ConvertRuns(m_pRules, encoding);
                if (!grouped.m_arrGroupOf.empty())
                    MergeGroups(*m_pRules, grouped.m_arrGroupOf);
                m_pendingOrder = std::move(grouped.m_ownOrder);
                converted = std::move(grouped.m_pRules);
            }
            // Keys in order serve only the rules' own index: not kept while
            // the rules are converted.
            if (!converted) {
                if (!ServesUnconverted(*m_pRules->m_pBytes, m_ruleEncoding, encoding))
                    Release(m_pendingOrder);
                converted = ConvertPassRules(m_pRules, encoding);
            }
            // Rules that serve unconverted serve with their index.
            if (converted == m_pRules) {
                converted.reset();  // so that the index goes in place
                IndexOwnRules();
                converted = m_pRules;
            }
            slot = std::move(converted);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void CRuleSet::IndexOwnRules()
{
    if (!m_pRules->m_pIndex) {
        if (m_pRules.use_count() == 1) {
            m_pRules->IndexKeys(PendingOrder());
        } else {
            m_pRules = IndexedCopy(*m_pRules, PendingOrder());
        }
    }
    Release(m_pendingOrder);
}

std::shared_ptr<const CPassRules> CRuleSet::Pass(EncodingId encoding) const
{
    encoding = PassEncoding(encoding);
    std::shared_ptr<const CPassRules> own = m_pRules;
    if (!own) {
        auto gathered = Gathered(std::make_shared<const std::string>(m_bytes), m_arrKeys);
        gathered->IndexKeys();
        own = std::move(gathered);
    }
    if (encoding == m_ruleEncoding) return WithIndex(own, PendingOrder());
    if (const auto& prepared = m_arrPass[static_cast<std::size_t>(encoding)]) return prepared;
    return WithIndex(ConvertPassRules(own, encoding));
}

std::vector<CRuleGroup> CRuleSet::GetPassGroups(EncodingId encoding) const
{
    const auto rules = Pass(encoding);
    std::vector<CRuleGroup> groups;
    for (int g = 0; g < rules->GroupCount(); ++g) groups.push_back(rules->Group(static_cast<std::size_t>(g)));
    return groups;
}

std::vector<CLeftOutRule> CRuleSet::LeftOutRules(EncodingId encoding) const
{
    encoding = PassEncoding(encoding);
    if (encoding == m_ruleEncoding) return {};
    if (const auto& prepared = m_arrPass[static_cast<std::size_t>(encoding)]) return prepared->m_arrLeftOut;
    return Pass(encoding)->m_arrLeftOut;
}
