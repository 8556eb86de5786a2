// The Jest rules: groups of (mode, text) entries under a key, the built-in
// table, the rule-file loader and the rewriting pass. CRuleSet is implemented
// in five files:
//   RuleSet.cpp    groups, the built-in table, AddRule and its key table
//   RuleFile.cpp   the rule-file loader (LoadRuleFile, LoadRuleBytes, ParseRuleLine)
//   PassRules.h/cpp the rules as a pass reads them, converted for other encodings
//   Transform.cpp  the pass (ApplyAt, TransformText) and its text buffers
//   KeyIndex.h/cpp the pass's index of the keys
#pragma once

#include "ByteString.h"
#include "Encoding.h"
#include "KeyIndex.h"

#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CPassRules;
struct CRewriteReport;

// Insertion modes of an entry.
enum : int { kModeReplace = 0, kModeInsertBefore = 1, kModeInsertAfter = 2, kModeDelete = 3 };

class CRuleGroup {
public:
    CRuleGroup() = default;
    CRuleGroup(const CRuleGroup&) = default;
    CRuleGroup& operator=(const CRuleGroup&) = default;
    // Moves, so that arrays of groups grow without copying every group.
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

// Why a rule-file load failed.
enum class RuleLoadFailure : std::uint8_t {
    kNone,
    kMissing,      // no file of that name (or an empty name)
    kUnreadable,   // it cannot be opened or read (m_nError says why)
    kNotRegular,   // a directory, FIFO, device, ...
    kTooLarge,     // more than CRuleSet::kMaxRuleBytes of rules
    kBadLine,      // line m_nLine is no rule, or not valid in the file's encoding
    kOutOfMemory,  // the rules or their conversion for the text do not fit in memory
};

// What a load did. True when the rules were loaded.
struct CRuleLoadResult {
    RuleLoadFailure m_eFailure = RuleLoadFailure::kNone;
    int m_nError = 0;          // kUnreadable: the errno value
    std::int64_t m_nLine = 0;  // kBadLine: the line, from 1
    // Loaded, but the file breaks its lines with CR alone: it holds no LF,
    // so no line of it was read.
    bool m_bCrOnly = false;

    // A failed load of that kind.
    static CRuleLoadResult Failed(RuleLoadFailure why, std::int64_t line = 0, int error = 0)
    {
        CRuleLoadResult result;
        result.m_eFailure = why;
        result.m_nLine = line;
        result.m_nError = error;
        return result;
    }

    explicit operator bool() const { return m_eFailure == RuleLoadFailure::kNone; }
    bool operator==(const CRuleLoadResult&) const = default;
};

// A rule left out of the pass on text in another encoding than the rules'.
struct CLeftOutRule {
    std::int64_t m_nLine = 0;         // rule-file line; 0 for a rule added through AddRule
    std::optional<char32_t> m_cChar;  // the character the encoding cannot hold; nullopt: invalid bytes
    EncodingId m_encoding = EncodingId::Cp932;  // the text's
    bool operator==(const CLeftOutRule&) const = default;
};

// Key to group: open addressing over group numbers + 1 (0 is a free slot),
// with each key's hash, so that a search reads a group's key only when the
// hashes agree. The keys themselves stay with the caller (keyOf).
class CKeyTable {
public:
    static std::uint32_t Hash(std::string_view key);
    // Room for that many groups without growing.
    void Reserve(std::size_t groups);
    // The group whose key (keyOf(g)) is exactly key, or -1.
    template <class KeyOf>
    int Find(std::string_view key, std::uint32_t hash, const KeyOf& keyOf) const
    {
        if (m_arrSlots.empty()) return -1;
        const std::size_t mask = m_arrSlots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = m_arrSlots[i];
            if (slot.group == 0) return -1;
            if (slot.hash == hash && keyOf(slot.group - 1) == key) return static_cast<int>(slot.group - 1);
        }
    }
    // Enters group g, which Find did not find, growing the table when half full.
    void Insert(std::uint32_t g, std::uint32_t hash);

private:
    struct Slot {
        std::uint32_t group = 0;
        std::uint32_t hash = 0;
    };
    void Place(Slot slot);

    std::vector<Slot> m_arrSlots;
    std::size_t m_nCount = 0;
};

// A value type: a copy holds the same rules and shares nothing that either
// side can change.
//
// Encodings. The rules' bytes are in one encoding (GetEncoding): CP932 for
// the built-in rules, the rule file's for a loaded set (ISO-2022-JP and
// UTF-16 rule files are held as EUC-JP and UTF-8). The pass runs on text in
// CP932, UTF-8 or EUC-JP: rules in the text's own encoding are used as the
// bytes they are; for any other, the rules are converted (the characters that
// CP932 and JIS map differently folded). A rule whose key or text cannot be
// converted is left out of that encoding's pass (LeftOutRules).
//
// What a pass needs (CPassRules: the groups with their key index, converted
// where needed) is built once and shared, by copies too, as it never changes:
// for the rules' own encoding by a load or PreparePass, for another by
// PreparePass, and kept until the rules change. A pass on a set not prepared
// for its encoding builds what it needs for itself alone. Const operations
// change nothing, so they may run on several threads at once; the draws come
// from the one process-wide generator (Random.h), which has no lock, so two
// passes must not draw at the same time.
class CRuleSet {
public:
    // Holds the six built-in groups.
    CRuleSet();
    CRuleSet(const CRuleSet&) = default;
    CRuleSet& operator=(const CRuleSet&) = default;
    CRuleSet(CRuleSet&&) noexcept = default;
    CRuleSet& operator=(CRuleSet&&) noexcept = default;
    virtual ~CRuleSet() = default;

    // Most rule bytes a rule file may hold (its contents up to the first NUL);
    // a larger one is refused and changes nothing.
    static constexpr std::size_t kMaxRuleBytes = std::size_t{64} << 20;

    CByteString GetFileName() const { return m_strFileName; }
    void SetFileName(const CByteString& name) { m_strFileName = name; }
    // Encoding of the rules' bytes; SetEncoding states it for rules added
    // through AddRule (a load sets it itself).
    EncodingId GetEncoding() const { return m_ruleEncoding; }
    void SetEncoding(EncodingId encoding);

    int GetGroupCount() const;
    // A copy of group i; i must lie within 0..count-1. Linear in the rules
    // while AddRule is gathering them, until a pass or PreparePass.
    CRuleGroup GetGroup(int i) const;
    void RemoveAllGroups();
    // Appends the entry to the group with exactly this key, or a new group.
    void AddRule(int mode, const CByteString& key, const CByteString& text);

    // Rule file. name is the file's path as the bytes the system uses.
    // On success the set holds exactly the file's rules and its name; on any
    // failure the set is left exactly as it was, and the result says why.
    // The file's encoding is detected (DetectEncoding) unless given. A CP932
    // file is split stepping over double-byte characters, any other with
    // plain byte searches for LF and space; ISO-2022-JP and UTF-16 files are
    // converted whole first (a conversion failure is a bad line). With
    // `text`, the rules are also made ready for a pass on text in that
    // encoding (PreparePass), and a lack of memory for that fails the load.
    // Without it, they are made ready for a pass in their own encoding, or,
    // with Ready::kOnPrepare, for none until PreparePass names the text's
    // encoding (for a caller that prepares every pass, as jestcat does for
    // each FILE): the load then keeps only what that index would need.
    enum class Ready : std::uint8_t { kOwnEncoding, kOnPrepare };
    CRuleLoadResult LoadRuleFile(const CByteString& name, std::optional<EncodingId> encoding = std::nullopt,
                                 std::optional<EncodingId> text = std::nullopt, Ready ready = Ready::kOwnEncoding);
    // The same load from contents already in memory (what LoadRuleFile does
    // once the file is read); name is recorded on success.
    CRuleLoadResult LoadRuleBytes(const CByteString& contents, const CByteString& name,
                                  std::optional<EncodingId> encoding = std::nullopt,
                                  std::optional<EncodingId> text = std::nullopt, Ready ready = Ready::kOwnEncoding);
    // One line without its line break; false when its first byte is not a
    // known operation letter. Adds at most one rule.
    bool ParseRuleLine(const CByteString& line);

    // Builds and keeps what a pass on text in `encoding` needs, so that every
    // later pass, reload or jestcat FILE reuses it. False when memory runs
    // out; the set is then as it was.
    bool PreparePass(EncodingId encoding);

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
    // The rules left out of the pass on text in `encoding`, in line order;
    // none in the rules' own encoding.
    std::vector<CLeftOutRule> LeftOutRules(EncodingId encoding) const;

private:
    // An empty set (no built-in rules).
    explicit CRuleSet(std::nullptr_t, CByteString name = {}, EncodingId encoding = EncodingId::Cp932)
        : m_strFileName(std::move(name)), m_ruleEncoding(encoding)
    {
    }

    // One rule as AddRule keeps it: its text in m_bytes, its group, and its
    // rule-file line and mode packed as line * 4 + mode.
    struct Rule {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        std::uint32_t group = 0;
        std::uint32_t lineMode = 0;
    };

    // What a pass on text in `encoding` uses: the prepared rules, or rules
    // built for this call alone.
    std::shared_ptr<const CPassRules> Pass(EncodingId encoding) const;
    // The rules AddRule has gathered, as a pass reads them.
    std::shared_ptr<CPassRules> Gathered(std::shared_ptr<const std::string> bytes, std::vector<CKeySpan> keys) const;
    // Makes m_pRules from what AddRule gathered. With `release`, the gathered
    // rules go before the key index is built (the loader's fresh set, which
    // is dropped on failure); otherwise a failure leaves them.
    // Without `index`, the key index waits for a pass in the rules' own
    // encoding (the rules are loaded to be converted); `order` is the groups
    // in key order where the caller has it.
    void Freeze(bool release, bool index = true, const CSortedKeys* order = nullptr);
    // Back from m_pRules to rules that AddRule can add to.
    void Thaw();
    // Gives m_pRules their key index, in place while this set alone holds
    // them, from m_pendingOrder where there is one.
    void IndexOwnRules();
    const CSortedKeys* PendingOrder() const { return m_pendingOrder.empty() ? nullptr : &m_pendingOrder; }
    // The load, from contents it may change.
    CRuleLoadResult Load(CByteString contents, const CByteString& name, std::optional<EncodingId> encoding,
                         std::optional<EncodingId> text, Ready ready);
    // Merges the groups whose keys are equal, as the loader enters each run
    // of lines with one key as a group of its own; the groups keep the order
    // of their first rules. Returns the groups in key order.
    CSortedKeys GroupRuns();
    // PreparePass; with `runs`, m_pRules are a load's runs, not yet grouped,
    // for text in another encoding: they are grouped as they are converted
    // (ConvertRuns).
    bool Prepare(EncodingId encoding, bool runs);
    std::string_view KeyOf(std::uint32_t g) const
    {
        return std::string_view(m_bytes).substr(m_arrKeys[g].offset, m_arrKeys[g].length);
    }

    CByteString m_strFileName;
    EncodingId m_ruleEncoding = EncodingId::Cp932;
    // The rules, frozen: null while AddRule gathers them below. Changed only
    // to add their key index, while this set alone holds them.
    std::shared_ptr<CPassRules> m_pRules;
    // The groups in key order, kept from a load with Ready::kOnPrepare for the
    // key index, should a pass in the rules' own encoding come.
    CSortedKeys m_pendingOrder;
    // The rules converted for a pass in another encoding, by encoding.
    std::array<std::shared_ptr<const CPassRules>, std::size(kAllEncodings)> m_arrPass;
    // Rules gathered by AddRule: keys and texts, each group's key, each rule
    // in the order added, and the key table over the groups (the loader
    // gathers runs instead, without the table, and groups them by GroupRuns
    // or, for text in another encoding, as they are converted).
    std::string m_bytes;
    std::vector<CKeySpan> m_arrKeys;
    std::vector<Rule> m_arrRules;
    CKeyTable m_keys;
};
