// Rules converted for text in another encoding: every key and text as
// ConvertText converts it, groups merged where two keys become one.
#include "PassRules.h"

#include "EncodingBytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

CRuleGroup CPassRules::Group(std::size_t g) const
{
    CRuleGroup group;
    group.SetKey(CByteString(Key(g)));
    const std::vector<std::uint32_t>& first = First();
    for (std::uint32_t e = first[g]; e < first[g + 1]; ++e)
        group.AddEntry(Modes()[e], CByteString(Text(e)));
    return group;
}

void CPassRules::IndexKeys(const CSortedKeys* sorted)
{
    m_pIndex = sorted ? std::make_unique<const CKeyIndex>(m_pBytes, m_arrKeys, *sorted)
                     : std::make_unique<const CKeyIndex>(m_pBytes, m_arrKeys);
}

namespace {

bool AsciiUnchanged(EncodingId from, EncodingId to);

// Every piece of the rules (each key, then each entry's text) converted into
// one block of bytes, a character at a time: the pass encodings keep no
// state between characters, so a piece comes out as its characters do one
// by one, and each distinct character goes through ConvertText only once. A
// piece with a character that does not convert on its own goes through
// ConvertText whole, which converts it or says why it cannot. The keys are
// converted first and the texts when asked (ConvertTexts), so that the
// caller may sort and index the keys in between, and let the sorted keys go
// before the texts take their room.
class CPieceConverter {
public:
    CPieceConverter(const CPassRules& rules, EncodingId to)
        : m_rules(rules), m_to(to), m_bAscii(AsciiUnchanged(rules.m_encoding, to))
    {
        m_arrFailed.resize(rules.m_arrKeys.size() + rules.m_arrEntries.size());
        std::size_t keyBytes = 0;
        for (const CKeySpan span : rules.m_arrKeys)
            keyBytes += span.length;
        for (const CPassRules::Entry entry : rules.m_arrEntries)
            m_nTextBytes += entry.length;
        // Room for all, that the texts seldom move the keys; kRunRoom more
        // for the last piece's short run of ASCII.
        m_bytes.reserve(keyBytes + m_nTextBytes + kRunRoom);
        m_bytes.resize(keyBytes + kRunRoom);
        m_arrKeySpans.reserve(rules.m_arrKeys.size());
        ConvertAll(0, rules.m_arrKeys, m_arrKeySpans);
        m_bytes.resize(m_nUsed);
    }

    // Converts the texts, after the keys; the keys' bytes stay where they
    // are in m_bytes, though the block may move.
    void ConvertTexts()
    {
        m_bytes.resize(m_nUsed + m_nTextBytes + kRunRoom);
        m_arrTextSpans.reserve(m_rules.m_arrEntries.size());
        ConvertAll(m_rules.m_arrKeys.size(), m_rules.m_arrEntries, m_arrTextSpans);
        m_bytes.resize(m_nUsed);
    }

    // Whether the pieces converted so far changed and keep distinct keys
    // apart, none left out (see m_bSame, m_bDistinct).
    bool Apart() const { return !m_bSame && m_bDistinct && !Failed(); }

    bool Failed(std::size_t p) const { return m_arrFailed[p]; }
    bool Failed() const { return !m_arrErrors.empty(); }
    // Why piece p failed.
    const CConvertError& Error(std::size_t p) const
    {
        return std::lower_bound(m_arrErrors.begin(), m_arrErrors.end(), p,
                                [](const auto& e, std::size_t q) { return e.first < q; })->second;
    }

    // The converted bytes, shared with the rules made of them and with an
    // index built on the keys before the texts came.
    std::shared_ptr<std::string> m_pBytes = std::make_shared<std::string>();
    std::string& m_bytes = *m_pBytes;
    std::vector<CKeySpan> m_arrKeySpans;   // of each key
    std::vector<CKeySpan> m_arrTextSpans;  // of each entry's text
    // Every piece converted so far came out as the bytes it was.
    bool m_bSame = true;
    // Every piece was converted a character at a time, and no two distinct
    // characters came out as the same one: distinct keys stayed distinct.
    bool m_bDistinct = true;

private:
    static constexpr std::size_t kRunRoom = 8;

    // What one character converts to: kUnknown until asked.
    struct Converted {
        enum : std::uint8_t { kUnknown, kDone, kNot } state = kUnknown;
        std::uint8_t length = 0;
        char bytes[6] = {};
    };

    // Converts the pieces of these spans, keys or texts, numbered from
    // `first` on, and keeps where each came out in `kept`.
    void ConvertAll(std::size_t first, const std::vector<CKeySpan>& spans, std::vector<CKeySpan>& kept)
    {
        const std::string_view bytes = *m_rules.m_pBytes;
        std::string whole;
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const std::string_view piece = bytes.substr(spans[i].offset, spans[i].length);
            const std::size_t at = m_nUsed;
            if (!ByCharacters(piece, at)) {
                m_nUsed = at;
                m_bDistinct = false;  // converted, but not as its characters one by one
                CConvertError error;
                if (ConvertText(piece, {m_rules.m_encoding, false}, {m_to, false}, whole, &error)) {
                    std::memcpy(Room(whole.size()), whole.data(), whole.size());
                    m_nUsed += whole.size();
                } else {
                    // Kept as an empty span, that the pieces after keep their places.
                    m_bSame = false;
                    m_arrFailed[first + i] = true;
                    m_arrErrors.emplace_back(first + i, error);
                }
            }
            if (m_nUsed > std::numeric_limits<std::uint32_t>::max())
                throw std::length_error("converted rules too large");
            kept.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(m_nUsed - at)});
        }
    }

    // Appends the piece converted to m_bytes, which held `at` bytes; false
    // when a character of it does not convert on its own.
    bool ByCharacters(std::string_view piece, std::size_t at)
    {
        const auto* const begin = reinterpret_cast<const unsigned char*>(piece.data());
        const auto* const end = begin + piece.size();
        for (const unsigned char* p = begin; p < end;) {
            if (m_bAscii) {
                const unsigned char* q = enc::SkipAscii(p, end, m_pReadable);
                const auto n = static_cast<std::size_t>(q - p);
                // A short run goes as kRunRoom bytes, the rest overwritten after.
                if (n <= kRunRoom && m_pReadable - p >= static_cast<std::ptrdiff_t>(kRunRoom))
                    std::memcpy(Room(kRunRoom), p, kRunRoom);
                else
                    std::memcpy(Room(n), p, n);
                m_nUsed += n;
                p = q;
                if (p == end) break;
            }
            // The common three-byte UTF-8 character, once met, without the
            // general walk.
            const bool triple = m_bUtf8 && IsCommonUtf8Triple(p, static_cast<std::size_t>(end - p));
            if (triple) {
                const Converted& c = Table(m_arrTriples)[TripleIndex(p)];
                if (c.state == Converted::kDone) {
                    std::memcpy(Room(sizeof c.bytes), c.bytes, sizeof c.bytes);
                    m_nUsed += c.length;
                    p += 3;
                    continue;
                }
            }
            const std::size_t n =
                triple ? 3 : CharLength(piece, static_cast<std::size_t>(p - begin), m_rules.m_encoding);
            const Converted& c = Character(p, n);
            if (c.state != Converted::kDone) return false;
            std::memcpy(Room(sizeof c.bytes), c.bytes, sizeof c.bytes);
            m_nUsed += c.length;
            p += n;
        }
        m_bSame = m_bSame && std::string_view(m_bytes).substr(at, m_nUsed - at) == piece;
        return true;
    }

    // Where n more bytes go, the block grown for them if need be; m_nUsed
    // counts what is written.
    __attribute__((always_inline)) char* Room(std::size_t n)
    {
        if (m_bytes.size() - m_nUsed < n)
            m_bytes.resize(std::max(m_bytes.size() + m_bytes.size() / 2, m_nUsed + n));
        return m_bytes.data() + m_nUsed;
    }

    // The character of n bytes at p, converted the first time it is asked for.
    const Converted& Character(const unsigned char* p, std::size_t n)
    {
        Converted* slot = nullptr;
        if (n == 2) {
            slot = &Table(m_arrPairs)[p[0] << 8 | p[1]];
        } else if (n == 3 && p[0] >= 0xE0 && m_bUtf8) {
            slot = &Table(m_arrTriples)[TripleIndex(p)];
        } else if (n == 1) {
            slot = &m_arrSingles[p[0]];
        } else {
            std::uint64_t key = n;
            for (std::size_t i = 0; i < n; ++i) key = key << 8 | p[i];
            slot = &m_others[key];
        }
        if (slot->state == Converted::kUnknown) {
            std::string out;
            const bool ok = ConvertText(std::string_view(reinterpret_cast<const char*>(p), n),
                                        {m_rules.m_encoding, false}, {m_to, false}, out);
            slot->state = ok && out.size() <= sizeof slot->bytes ? Converted::kDone : Converted::kNot;
            if (slot->state == Converted::kDone) {
                slot->length = static_cast<std::uint8_t>(out.size());
                std::memcpy(slot->bytes, out.data(), out.size());
                NoteOutput(out);
            }
        }
        return *slot;
    }

    // Keeps m_bDistinct: the character converted to `out` must come out as
    // one character that no other did (ASCII passes as itself).
    void NoteOutput(std::string_view out)
    {
        std::uint64_t packed = out.size();
        for (const char c : out) packed = packed << 8 | static_cast<unsigned char>(c);
        const bool ascii = out.size() == 1 && static_cast<unsigned char>(out[0]) < 0x80 && m_bAscii;
        if (ascii || out.empty() || CharLength(out, 0, m_to) != out.size() || !m_outputs.insert(packed).second)
            m_bDistinct = false;
    }

    // The code point of the three-byte UTF-8 character at p, less its top bits.
    static std::size_t TripleIndex(const unsigned char* p)
    {
        return static_cast<std::size_t>((p[0] & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
    }

    static std::vector<Converted>& Table(std::vector<Converted>& table)
    {
        if (table.empty()) table.resize(std::size_t{1} << 16);
        return table;
    }

    const CPassRules& m_rules;
    EncodingId m_to;
    std::size_t m_nUsed = 0;       // bytes of m_bytes written
    std::size_t m_nTextBytes = 0;  // of the texts before conversion
    bool m_bAscii;  // ASCII comes out as it is
    bool m_bUtf8 = m_rules.m_encoding == EncodingId::Utf8;
    // Where the rules' bytes, which hold every piece, end.
    const unsigned char* m_pReadable =
        reinterpret_cast<const unsigned char*>(m_rules.m_pBytes->data()) + m_rules.m_pBytes->size();
    std::vector<bool> m_arrFailed;
    std::vector<std::pair<std::size_t, CConvertError>> m_arrErrors;  // by piece
    // The characters met so far: one byte, two bytes, three-byte UTF-8 by
    // code point, and the rest.
    std::array<Converted, 256> m_arrSingles{};
    std::vector<Converted> m_arrPairs;
    std::vector<Converted> m_arrTriples;
    std::unordered_map<std::uint64_t, Converted> m_others;
    std::unordered_set<std::uint64_t> m_outputs;  // what the characters came out as
};

// Whether ASCII comes out of a conversion between these encodings as the
// bytes it was (it does between the pass encodings), found once per pair.
bool AsciiUnchanged(EncodingId from, EncodingId to)
{
    thread_local std::vector<std::pair<std::pair<EncodingId, EncodingId>, bool>> known;
    for (const auto& [pair, same] : known) {
        if (pair == std::pair(from, to)) return same;
    }
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
    std::string out;
    const bool same = ConvertText(ascii, {from, false}, {to, false}, out) && out == ascii;
    known.emplace_back(std::pair(from, to), same);
    return same;
}

CLeftOutRule LeftOut(std::int32_t line, const CConvertError& error, EncodingId to)
{
    CLeftOutRule rule{line, std::nullopt, to};
    if (error.m_eKind == CConvertError::Kind::Unrepresentable) rule.m_cChar = error.m_cChar;
    return rule;
}

}  // namespace

bool ServesUnconverted(std::string_view bytes, EncodingId from, EncodingId to)
{
    // Eight bytes at a time: none with its high bit set, and none zero.
    constexpr std::uint64_t kLow = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        if ((w & kHigh) != 0 || ((w - kLow) & ~w & kHigh) != 0) return false;
    }
    const bool ascii = std::none_of(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                                    [](char c) { return c == 0 || static_cast<unsigned char>(c) >= 0x80; });
    return ascii && AsciiUnchanged(from, to);
}

std::shared_ptr<CPassRules> IndexedCopy(const CPassRules& rules, const CSortedKeys* sorted)
{
    auto indexed = std::make_shared<CPassRules>();
    indexed->m_encoding = rules.m_encoding;
    indexed->m_pBytes = rules.m_pBytes;
    indexed->m_arrKeys = rules.m_arrKeys;
    indexed->m_pLayout = rules.m_pLayout;
    indexed->m_arrEntries = rules.m_arrEntries;
    indexed->m_arrLines = rules.m_arrLines;
    indexed->m_arrLeftOut = rules.m_arrLeftOut;
    indexed->IndexKeys(sorted);
    return indexed;
}

std::shared_ptr<const CPassRules> WithIndex(const std::shared_ptr<const CPassRules>& rules, const CSortedKeys* sorted)
{
    if (rules->m_pIndex) return rules;
    return IndexedCopy(*rules, sorted);
}

namespace {

// The converted rules of `from` into `out`, some left out, groups merged
// where keys became equal; returns the groups in key order.
CSortedKeys Regroup(const CPassRules& from, const CPieceConverter& converter, CPassRules& out)
{
    const std::size_t keys = from.m_arrKeys.size();
    const EncodingId to = out.m_encoding;
    // Groups by converted key, in the order of the groups they come from;
    // keys that become equal share the first one's group, as a rule file
    // written in this encoding would have them. Distinct characters that
    // stay distinct keep distinct keys apart, so then no group merges.
    const std::string_view bytes = converter.m_bytes;
    std::vector<std::int32_t> target(keys, -1);
    std::vector<std::uint32_t> counts;
    const std::vector<std::uint32_t>& fromFirst = from.First();
    for (std::size_t g = 0; g < keys; ++g) {
        const std::uint32_t first = fromFirst[g], last = fromFirst[g + 1];
        std::uint32_t kept = 0;
        for (std::uint32_t e = first; e < last; ++e) {
            if (converter.Failed(g)) {
                out.m_arrLeftOut.push_back(LeftOut(from.m_arrLines[e], converter.Error(g), to));
            } else if (converter.Failed(keys + e)) {
                out.m_arrLeftOut.push_back(LeftOut(from.m_arrLines[e], converter.Error(keys + e), to));
            } else {
                ++kept;
            }
        }
        if (kept == 0) continue;
        target[g] = static_cast<std::int32_t>(out.m_arrKeys.size());
        out.m_arrKeys.push_back(converter.m_arrKeySpans[g]);
        counts.push_back(kept);
    }
    CKeyGroups groups = GroupKeys(bytes, out.m_arrKeys);
    if (!groups.m_arrGroupOf.empty()) {
        std::vector<CKeySpan> merged(groups.m_sorted.size());
        std::vector<std::uint32_t> mergedCounts(merged.size());
        for (std::size_t t = 0; t < counts.size(); ++t) {
            merged[groups.m_arrGroupOf[t]] = out.m_arrKeys[t];
            mergedCounts[groups.m_arrGroupOf[t]] += counts[t];
        }
        for (std::int32_t& t : target) {
            if (t >= 0) t = static_cast<std::int32_t>(groups.m_arrGroupOf[static_cast<std::size_t>(t)]);
        }
        out.m_arrKeys = std::move(merged);
        counts = std::move(mergedCounts);
    }
    CEntryLayout layout;
    layout.m_arrFirst.assign(out.m_arrKeys.size() + 1, 0);
    for (std::size_t t = 0; t < counts.size(); ++t)
        layout.m_arrFirst[t + 1] = layout.m_arrFirst[t] + counts[t];
    Release(counts);
    const std::size_t entries = layout.m_arrFirst.back();
    out.m_arrEntries.resize(entries);
    layout.m_arrModes.resize(entries);
    std::vector<std::uint32_t> next(layout.m_arrFirst.begin(), layout.m_arrFirst.end() - 1);
    for (std::size_t g = 0; g < keys; ++g) {
        if (target[g] < 0) continue;
        for (std::uint32_t e = fromFirst[g]; e < fromFirst[g + 1]; ++e) {
            if (converter.Failed(keys + e)) continue;
            const std::uint32_t at = next[static_cast<std::size_t>(target[g])]++;
            out.m_arrEntries[at] = converter.m_arrTextSpans[e];
            layout.m_arrModes[at] = from.Modes()[e];
        }
    }
    out.m_pLayout = std::make_shared<const CEntryLayout>(std::move(layout));
    return std::move(groups.m_sorted);
}

}  // namespace

namespace {

// The rules that `pieces` converted from `from`; with `groups`, the groups of
// `from` by their converted keys, in which distinct keys stayed apart; with
// `index`, the index of the converted keys, built before the texts came.
std::shared_ptr<const CPassRules> FromPieces(const CPassRules& from, std::optional<CPieceConverter>& pieces,
                                             EncodingId to, CKeyGroups* groups, std::unique_ptr<const CKeyIndex> index)
{
    CPieceConverter& converter = *pieces;
    auto out = std::make_shared<CPassRules>();
    out->m_encoding = to;
    CSortedKeys order;
    if (converter.m_bDistinct && !converter.Failed()) {
        // Nothing left out and no keys merged: the groups and their entries
        // stand as they were, in the converted bytes.
        out->m_arrKeys = std::move(converter.m_arrKeySpans);
        out->m_arrEntries = std::move(converter.m_arrTextSpans);
        out->m_pLayout = from.m_pLayout;
        if (groups) {
            if (!groups->m_arrGroupOf.empty())
                MergeGroups(*out, groups->m_arrGroupOf);
            order = std::move(groups->m_sorted);
        } else if (!index) {
            order = SortKeys(converter.m_bytes, out->m_arrKeys);
        }
    } else {
        order = Regroup(from, converter, *out);
    }
    std::stable_sort(out->m_arrLeftOut.begin(), out->m_arrLeftOut.end(),
                     [](const CLeftOutRule& a, const CLeftOutRule& b) { return a.m_nLine < b.m_nLine; });
    out->m_pBytes = std::move(converter.m_pBytes);
    // What the conversion kept beside the rules goes before the index is built.
    pieces.reset();
    if (index)
        out->m_pIndex = std::move(index);
    else
        out->IndexKeys(&order);
    return out;
}

}  // namespace

std::shared_ptr<const CPassRules> ConvertPassRules(const std::shared_ptr<const CPassRules>& rules, EncodingId to)
{
    const CPassRules& from = *rules;
    if (ServesUnconverted(*from.m_pBytes, from.m_encoding, to))
        return rules;
    std::optional<CPieceConverter> pieces(std::in_place, from, to);
    // Keys that changed and stayed apart are indexed before the texts are
    // converted, so that the texts may have the sorted keys' room.
    std::unique_ptr<const CKeyIndex> index;
    if (pieces->Apart())
        index = std::make_unique<const CKeyIndex>(pieces->m_pBytes, pieces->m_arrKeySpans);
    pieces->ConvertTexts();
    if (pieces->m_bSame)
        return rules;
    // The texts may undo what the keys promised: a text left out, or two
    // characters come out as one.
    if (!pieces->Apart())
        index.reset();
    return FromPieces(from, pieces, to, nullptr, std::move(index));
}

CConvertedRuns ConvertRuns(const std::shared_ptr<const CPassRules>& runs, EncodingId to)
{
    CConvertedRuns result;
    std::optional<CPieceConverter> pieces(std::in_place, *runs, to);
    CPieceConverter& converter = *pieces;
    // Keys that changed and stayed apart are grouped before the texts are
    // converted and, where no runs merge, indexed, so that the texts may
    // have the sorted keys' room.
    std::optional<CKeyGroups> early;
    std::unique_ptr<const CKeyIndex> index;
    if (converter.Apart()) {
        early = GroupKeys(converter.m_bytes, converter.m_arrKeySpans);
        if (early->m_arrGroupOf.empty()) {
            index = std::make_unique<const CKeyIndex>(converter.m_pBytes, converter.m_arrKeySpans, early->m_sorted);
            Release(early->m_sorted);
        }
    }
    converter.ConvertTexts();
    const bool apart = converter.Apart();
    // The texts may undo what the keys promised: a text left out, or two
    // characters come out as one.
    if (!apart) {
        early.reset();
        index.reset();
    }
    CKeyGroups groups = early   ? std::move(*early)
                        : apart ? GroupKeys(converter.m_bytes, converter.m_arrKeySpans)
                                : GroupKeys(*runs->m_pBytes, runs->m_arrKeys);
    // Where runs merge and the conversion does not keep keys apart, the
    // pieces are of runs, not of groups: the grouped rules are converted anew.
    if (converter.m_bSame) {
        result.m_pRules = runs;
        result.m_ownOrder = std::move(groups.m_sorted);
    } else if (apart || groups.m_arrGroupOf.empty()) {
        result.m_pRules = FromPieces(*runs, pieces, to, apart ? &groups : nullptr, std::move(index));
    }
    result.m_arrGroupOf = std::move(groups.m_arrGroupOf);
    return result;
}

void MergeGroups(CPassRules& rules, const std::vector<std::uint32_t>& groupOf)
{
    KeepGroupFirsts(rules.m_arrKeys, groupOf);
    // As Gathered places entries: first[g + 1] counts group g's, then is
    // where they start, then where the next goes.
    const std::vector<std::uint32_t>& runFirst = rules.First();
    std::vector<std::uint32_t> first(rules.m_arrKeys.size() + 1, 0);
    for (std::size_t r = 0; r < groupOf.size(); ++r)
        first[groupOf[r] + 1] += runFirst[r + 1] - runFirst[r];
    std::uint32_t start = 0;
    for (std::size_t g = 1; g < first.size(); ++g)
        start += std::exchange(first[g], start);
    const std::size_t entries = rules.m_arrEntries.size();
    const bool lines = !rules.m_arrLines.empty();
    std::vector<CPassRules::Entry> placed(entries);
    std::vector<std::uint8_t> modes(entries);
    std::vector<std::int32_t> lineOf(lines ? entries : 0);
    for (std::size_t r = 0; r < groupOf.size(); ++r) {
        for (std::uint32_t e = runFirst[r]; e < runFirst[r + 1]; ++e) {
            const std::uint32_t at = first[groupOf[r] + 1]++;
            placed[at] = rules.m_arrEntries[e];
            modes[at] = rules.Modes()[e];
            if (lines)
                lineOf[at] = rules.m_arrLines[e];
        }
    }
    rules.m_pLayout = std::make_shared<const CEntryLayout>(CEntryLayout{std::move(first), std::move(modes)});
    rules.m_arrEntries = std::move(placed);
    rules.m_arrLines = std::move(lineOf);
}
