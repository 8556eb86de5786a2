// The Jest rules: groups of (mode, text) entries under a key, the built-in
// table, the rule-file loader and the rewriting pass. CRuleSet is implemented
// in four files:
//   RuleSet.cpp    groups, the built-in table, AddRule and its key table
//   RuleFile.cpp   the rule-file loader (LoadRuleFile, LoadRuleBytes, ParseRuleLine)
//   Transform.cpp  the pass (ApplyAt, TransformText) and its text buffers
//   KeyIndex.h/cpp the pass's index of the keys, which the set keeps (below)
#pragma once

#include "ByteString.h"
#include "Encoding.h"
#include "MessageSink.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CKeyIndex;
struct CPassRules;
struct CRewriteReport;

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
// that many positions, or at a firing that would make the text longer than
// that many bytes (the firing does not happen).
std::int64_t PassBound(std::int64_t length);

// A value type: a copy holds the same rules and shares nothing that either
// side can change.
//
// Encodings. The rules' bytes are in one encoding (GetEncoding): CP932 for
// the built-in rules, the rule file's for a loaded set (ISO-2022-JP and
// UTF-16 rule files are held as EUC-JP and UTF-8). The pass runs on text in
// CP932, UTF-8 or EUC-JP: rules in the text's own encoding are used as the
// bytes they are; for any other, the rules are converted (the characters that
// CP932 and JIS map differently folded), once per encoding, and kept with
// their key index like it. A rule whose key or text cannot be converted is
// left out of that encoding's pass; ReportLeftOutRules names them. The pass's key index is built on the first pass after a
// change and kept until the next change (AddRule, RemoveAllGroups, a load), so
// every later pass, reload or jestcat FILE reuses it; copies share it, as it
// never changes once built. The index is made under a lock, so const
// operations (GetGroup, ApplyAt, TransformText) may run on several threads at
// once, a pass on a worker thread included; any other operation needs the set
// to itself, as with a standard container. The draws are another matter: they
// come from the one process-wide generator (Random.h), which has no lock, so
// two passes must not draw at the same time.
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
    // Encoding of the rules' bytes; SetEncoding states it for rules added
    // through AddRule (a load sets it itself).
    EncodingId GetEncoding() const { return m_ruleEncoding; }
    void SetEncoding(EncodingId encoding);
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
    // The file's encoding is detected (DetectEncoding) unless given. A CP932
    // file is split stepping over double-byte characters, any other with
    // plain byte searches for LF and space; ISO-2022-JP and UTF-16 files are
    // converted whole first (a conversion failure is reported as a bad line).
    bool LoadRuleFile(const CByteString& name, std::optional<EncodingId> encoding = std::nullopt);
    // The same load from contents already in memory (what LoadRuleFile does
    // once the file is read); name is recorded on success.
    bool LoadRuleBytes(const CByteString& contents, const CByteString& name,
                       std::optional<EncodingId> encoding = std::nullopt);
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
    // The whole pass over a text in `encoding` (a pass encoding: CP932,
    // UTF-8 or EUC-JP; PassEncoding is applied to any other), drawing from
    // jest::rand(). CP932 text is tried at every byte; UTF-8 and EUC-JP text
    // only where a character starts (NextPassPosition). A limit of 0 or more
    // tightens the bound below PassBound: the pass stops as it does at
    // PassBound once it has tried that many positions, at a firing that would
    // make the text longer than that (the firing does not happen), or once it
    // has looked up groups 8 times that many times (many keys standing at one
    // place). Returns
    // false when it stopped at a bound. With a report, fills it (EditReport.h)
    // without changing a draw or a byte.
    bool TransformText(CByteString& text, int threshold, EncodingId encoding = EncodingId::Cp932,
                       std::int64_t limit = -1, CRewriteReport* report = nullptr) const;
    // The groups as the pass applies them to text in `encoding`.
    std::vector<CRuleGroup> GetPassGroups(EncodingId encoding) const;
    // Hands the sink one message naming every rule left out of the pass on
    // text in `encoding` (file, line, character); nothing when none is.
    void ReportLeftOutRules(EncodingId encoding) const;
    // That message, empty when no rule is left out.
    std::string LeftOutMessage(EncodingId encoding) const;

private:
    // AddRule with the key's hash known (KeyHash), from views of the bytes.
    // line is the rule file's line, 0 for rules added through AddRule.
    void AddRuleHashed(int mode, std::string_view key, std::string_view text, std::uint32_t hash, int line = 0);
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
    // The rules converted for text in `encoding` (never the rules' own),
    // built on first use.
    std::shared_ptr<const CPassRules> PassRules(EncodingId encoding) const;

    CByteString m_strFileName;
    std::vector<CRuleGroup> m_arrGroups;
    CMessageSink* m_pSink = nullptr;
    EncodingId m_ruleEncoding = EncodingId::Cp932;
    // Still the built-in rules, unchanged: their conversions are shared by
    // every set.
    bool m_bBuiltin = false;
    // Group and rule-file line of every rule, in the order they were added.
    struct RuleOrigin {
        std::uint32_t group = 0;
        std::int32_t line = 0;
    };
    std::vector<RuleOrigin> m_arrOrigins;
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
    // The rules converted for CP932, UTF-8 and EUC-JP text, when needed.
    mutable std::array<std::shared_ptr<const CPassRules>, 3> m_arrPassRules;
    mutable std::mutex m_indexMutex;
};
