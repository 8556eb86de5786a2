// The Jest rules: groups of (mode, text) entries under a key, the built-in
// table, the rule-file loader and the rewriting pass. CRuleSet is implemented
// in four files:
//   RuleSet.cpp    groups, the built-in table, AddRule and its key table
//   RuleFile.cpp   the rule-file loader (LoadRuleFile, LoadRuleBytes, ParseRuleLine)
//   Transform.cpp  the pass (ApplyAt, TransformText) and its text buffers
//   KeyIndex.h/cpp the pass's index of the keys, which the set keeps (below)
#pragma once

#include "ByteString.h"
#include "MessageSink.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

class CKeyIndex;

// Insertion modes of an entry.
enum : int { kModeReplace = 0, kModeInsertBefore = 1, kModeInsertAfter = 2, kModeDelete = 3 };

class CRuleGroup {
public:
    CRuleGroup() = default;
    CRuleGroup(const CRuleGroup&) = default;
    CRuleGroup& operator=(const CRuleGroup&) = default;
    // Moves, so that the set's array grows without copying every group.
    CRuleGroup(CRuleGroup&&) noexcept = default;
    CRuleGroup& operator=(CRuleGroup&&) noexcept = default;
    virtual ~CRuleGroup() = default;

    void SetKey(const CByteString& key);
    CByteString GetKey() const;
    // Clamps the mode into 0..3, then appends the entry.
    void AddEntry(int mode, const CByteString& text);
    const std::vector<int>& GetModes() const { return m_arrModes; }
    const std::vector<CByteString>& GetTexts() const { return m_arrTexts; }

private:
    friend class CRuleSet;  // AddRule compares keys without copying them

    void AppendEntry(int mode, std::string_view text);

    std::vector<int> m_arrModes;
    CByteString m_strKey;
    std::vector<CByteString> m_arrTexts;
};

// Maps a frequency level 0..4 to the firing threshold in percent
// (5, 25, 50, 75, 100); levels outside 0..4 are clamped to the nearest one.
int LevelToThreshold(int level);

// Bound on endless rule chains in TransformText, for a text of the given
// length before the pass: 32 * length + 4096. The pass stops once it has tried
// that many positions, or once the text has grown longer than that many bytes.
std::int64_t PassBound(std::int64_t length);

// A value type: a copy holds the same rules and shares nothing that either
// side can change. The pass's key index is built on the first pass after a
// change and kept until the next change (AddRule, RemoveAllGroups, a load), so
// every later pass, reload or jestcat FILE reuses it; copies share it, as it
// never changes once built. Const operations (GetGroup, ApplyAt,
// TransformText) may run on several threads at once; any other operation needs
// the set to itself, as with a standard container.
class CRuleSet {
public:
    // Holds the six built-in groups.
    CRuleSet();
    CRuleSet(const CRuleSet& other);
    CRuleSet& operator=(const CRuleSet& other);
    virtual ~CRuleSet();

    // Most rule bytes a rule file may hold (its contents up to the first NUL);
    // a larger one is refused with a message and changes nothing.
    static constexpr std::size_t kMaxRuleBytes = std::size_t{64} << 20;

    CByteString GetFileName() const;
    void SetFileName(const CByteString& name);

    int GetGroupCount() const;
    // A copy of group i; i must lie within 0..count-1.
    CRuleGroup GetGroup(int i) const;
    void RemoveAllGroups();
    // Appends the entry to the group with exactly this key, or a new group.
    void AddRule(int mode, const CByteString& key, const CByteString& text);

    // Rule file. name is the file's path as the bytes the system uses.
    // On success the set holds exactly the file's rules and its name; on any
    // failure (cannot open, bad line) the set is left exactly as it was.
    bool LoadRuleFile(const CByteString& name);
    // The same load from contents already in memory (what LoadRuleFile does
    // once the file is read); name is recorded on success.
    bool LoadRuleBytes(const CByteString& contents, const CByteString& name);
    // One line without its line break; false when its first byte is not a
    // known operation letter. Adds at most one rule.
    bool ParseRuleLine(const CByteString& line);
    // Hands "第N行で読み込みエラーが起きました。" to the message sink.
    void ReportLineError(int lineNumber) const;
    // Hands the message for a rule file over kMaxRuleBytes to the sink.
    void ReportTooLarge() const;
    // Where ReportLineError sends its message; null shows nothing.
    void SetMessageSink(CMessageSink* sink) { m_pSink = sink; }

    // The pass. ApplyAt tries every group at one position and returns the
    // length change of the last rule that fired there (0 when none fired).
    std::int64_t ApplyAt(CByteString& text, std::int64_t position, int threshold) const;
    // The whole pass over a text, drawing from jest::rand(). A limit of 0 or
    // more tightens the bound below PassBound: the pass stops as it does at
    // PassBound once it has tried that many positions, the text has grown
    // longer than that, or it has looked up groups 8 times that many times
    // (many keys standing at one place). Returns false when it stopped at a bound.
    bool TransformText(CByteString& text, int threshold, std::int64_t limit = -1) const;

private:
    // AddRule with the key's hash known (KeyHash), from views of the bytes.
    void AddRuleHashed(int mode, std::string_view key, std::string_view text, std::uint32_t hash);
    // Asks for the key table's slot of this hash ahead of its use.
    void PrefetchKey(std::uint32_t hash) const;
    // Group holding exactly this key, or -1; hash is KeyHash(key).
    int FindGroup(std::string_view key, std::uint32_t hash) const;
    static std::uint32_t KeyHash(std::string_view key);
    // Enters group g, whose key has that hash, into the key table, growing
    // the table when it is half full.
    void IndexGroup(int g, std::uint32_t hash);
    void ForgetKeyIndex();
    // The pass's index of the current keys, built on first use.
    std::shared_ptr<const CKeyIndex> KeyIndex() const;

    CByteString m_strFileName;
    std::vector<CRuleGroup> m_arrGroups;
    CMessageSink* m_pSink = nullptr;
    // Key to group, so that AddRule finds a key's group in constant time:
    // open addressing over group numbers + 1 (0 is a free slot), with each
    // key's hash, so that a search reads a group's key only when the hashes agree.
    struct KeySlot {
        std::uint32_t group = 0;
        std::uint32_t hash = 0;
    };
    std::vector<KeySlot> m_arrKeySlots;
    // The pass's key index; empty until a pass needs it.
    mutable std::shared_ptr<const CKeyIndex> m_pKeyIndex;
    mutable std::mutex m_indexMutex;
};
