// The Jest rules: groups of (mode, text) entries under a key, the built-in
// table, the rule-file loader and the rewriting pass.
#pragma once

#include "ByteString.h"
#include "MessageSink.h"

#include <cstdint>
#include <vector>

// Insertion modes of an entry.
enum : int { kModeReplace = 0, kModeInsertBefore = 1, kModeInsertAfter = 2, kModeDelete = 3 };

class CRuleGroup {
public:
    CRuleGroup() = default;
    CRuleGroup(const CRuleGroup&) = default;
    CRuleGroup& operator=(const CRuleGroup&) = default;
    virtual ~CRuleGroup() = default;

    void SetKey(const CByteString& key);
    CByteString GetKey() const;
    // Clamps the mode into 0..3, then appends the entry.
    void AddEntry(int mode, const CByteString& text);
    const std::vector<int>& GetModes() const { return m_arrModes; }
    const std::vector<CByteString>& GetTexts() const { return m_arrTexts; }

private:
    friend class CRuleSet;  // AddRule compares keys without copying them

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

class CRuleSet {
public:
    // Holds the six built-in groups.
    CRuleSet();
    CRuleSet(const CRuleSet&) = default;
    CRuleSet& operator=(const CRuleSet&) = default;
    virtual ~CRuleSet() = default;

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
    // Where ReportLineError sends its message; null shows nothing.
    void SetMessageSink(CMessageSink* sink) { m_pSink = sink; }

    // The pass. ApplyAt tries every group at one position and returns the
    // length change of the last rule that fired there (0 when none fired).
    std::int64_t ApplyAt(CByteString& text, std::int64_t position, int threshold) const;
    // The whole pass over a text, drawing from jest::rand().
    void TransformText(CByteString& text, int threshold) const;

private:
    CByteString m_strFileName;
    std::vector<CRuleGroup> m_arrGroups;
    CMessageSink* m_pSink = nullptr;
};
