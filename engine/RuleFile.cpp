// The rule-file loader: one rule per line, "letter, skipped byte, key, space,
// text", in the rule file's encoding: CP932 bytes as they stand, stepping over
// double-byte characters; other encodings with plain byte searches.
#include "EncodingBytes.h"
#include "FileRead.h"
#include "PassRules.h"
#include "Rewrite.h"
#include "RuleSet.h"
#include "Sjis.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <stdexcept>
#include <string_view>

namespace {

// First occurrence of the ASCII character c at or after from, stepping over
// double-byte characters so that their second byte is never taken for c.
std::size_t FindSjisChar(std::string_view s, std::size_t from, char c)
{
    const enc::Bytes begin = enc::Begin(s), end = begin + s.size();
    for (enc::Bytes p = begin + from; p < end;) {
        p = enc::SkipAsciiBut(p, end, static_cast<unsigned char>(c));
        if (p == end)
            break;
        if (*p == static_cast<unsigned char>(c))
            return static_cast<std::size_t>(p - begin);
        if (!IsSjisLeadByte(*p))
            ++p;
        else if (end - p > 2)
            p += 2;
        else
            break;  // a lead byte ends the text, or its second byte does
    }
    return std::string_view::npos;
}

// First c at or after from: by CP932 characters, or byte by byte.
std::size_t FindChar(std::string_view s, std::size_t from, char c, bool sjis)
{
    if (sjis) return FindSjisChar(s, from, c);
    return s.find(c, from);
}

// One line split into its parts.
struct ParsedLine {
    enum { kNothing, kRule, kBad } kind = kNothing;
    int mode = 0;
    std::string_view key;
    std::string_view text;
};

ParsedLine ParseLine(std::string_view line, bool sjis = true)
{
    ParsedLine out;
    if (line.empty()) return out;
    switch (line[0]) {
    case 'r': out.mode = kModeReplace; break;
    case 'b': out.mode = kModeInsertBefore; break;
    case 'a': out.mode = kModeInsertAfter; break;
    case 'd': out.mode = kModeDelete; break;
    case 'c': return out;
    default: out.kind = ParsedLine::kBad; return out;
    }
    out.kind = ParsedLine::kRule;
    if (line.size() <= 2) return out;
    const std::size_t space = FindChar(line, 2, ' ', sjis);
    if (space == std::string_view::npos) {
        out.text = line.substr(2);
    } else {
        out.key = line.substr(2, space - 2);
        out.text = line.substr(space + 1);
    }
    return out;
}

// Lines that may hold a rule: at most one per LF whose next byte is an
// operation letter, and the first; room for that many rules is what a load
// asks for up front (a file of empty lines asks for none).
std::size_t RuleLinesAtMost(std::string_view text)
{
    const auto letter = [](char c) { return c == 'r' || c == 'b' || c == 'a' || c == 'd'; };
    std::size_t n = !text.empty() && letter(text[0]) ? 1 : 0;
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lf + 1))
        n += lf + 1 < text.size() && letter(text[lf + 1]);
    return n;
}

}  // namespace

CRuleLoadResult CRuleSet::LoadRuleFile(const CByteString& name, std::optional<EncodingId> encoding,
                                       std::optional<EncodingId> text, Ready ready)
{
    CByteString contents;
    int error = 0;
    try {
        error = ReadWholeFile(name, contents, true, kMaxRuleBytes);
    } catch (const std::bad_alloc&) {
        return CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory);
    }
    switch (error) {
    case 0:
        break;
    case EFBIG:
        // Over the ceiling: what lies past a NUL does not count.
        if (contents.find('\0') == CByteString::npos) return CRuleLoadResult::Failed(RuleLoadFailure::kTooLarge);
        break;
    case ENOENT:
    case ENOTDIR:
        return CRuleLoadResult::Failed(RuleLoadFailure::kMissing);
    case EISDIR:
    case EINVAL:
        // EINVAL: not a regular file, or a name holding a NUL, which names none.
        return CRuleLoadResult::Failed(name.find('\0') == CByteString::npos ? RuleLoadFailure::kNotRegular : RuleLoadFailure::kMissing);
    default:
        return CRuleLoadResult::Failed(RuleLoadFailure::kUnreadable, 0, error);
    }
    return Load(std::move(contents), name, encoding, text, ready);
}

CRuleLoadResult CRuleSet::LoadRuleBytes(const CByteString& contents, const CByteString& name,
                                        std::optional<EncodingId> encoding, std::optional<EncodingId> text,
                                        Ready ready)
{
    try {
        return Load(CByteString(contents), name, encoding, text, ready);
    } catch (const std::bad_alloc&) {
        return CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory);
    }
}

CRuleLoadResult CRuleSet::Load(CByteString contents, const CByteString& name, std::optional<EncodingId> encoding,
                               std::optional<EncodingId> textEncoding, Ready ready)
try {
    // UTF-16 holds NUL bytes in its characters, so only a mark is looked at
    // before the contents are cut at the first NUL.
    CEncoding found = encoding ? EncodingForBytes(*encoding, contents) : DetectEncoding(contents);
    const bool wide = HasWideUnits(found.m_id);
    if (!wide) {
        // The contents end at the first NUL.
        const std::size_t nul = contents.find('\0');
        if (nul != CByteString::npos) {
            contents.resize(nul);
            if (!encoding) found = DetectEncoding(contents);
        }
    }
    if (contents.size() > kMaxRuleBytes) return CRuleLoadResult::Failed(RuleLoadFailure::kTooLarge);
    // ISO-2022-JP and UTF-16 are converted whole, since their escapes and
    // byte pairs span lines; the rules are then held in the pass encoding.
    EncodingId held = found.m_id;
    if (found.m_id != PassEncoding(found.m_id)) {
        CByteString converted;
        CConvertError error;
        CTextEncoding pass{.m_forced = found.m_id};
        const bool ok = ToPassText(contents, pass, converted, &error);
        held = pass.m_pass;
        if (!ok)
            return CRuleLoadResult::Failed(RuleLoadFailure::kBadLine, static_cast<std::int64_t>(error.m_nLine));
        converted.resize(std::min(converted.size(), converted.find('\0')));
        contents.swap(converted);
    } else if (found.m_bBom) {
        contents.erase(0, ByteOrderMark(found.m_id).size());
    }
    const bool sjis = held == EncodingId::Cp932;

    // Parse into a fresh set, whose bytes are the contents themselves; the
    // rules in use are replaced only when every line was accepted, so a bad
    // line loses nothing. Each run of lines with one key is entered as a
    // group; runs with equal keys are merged once all are read (GroupRuns).
    // A line whose key a recent run has joins that run, so that a few keys
    // taking turns make a few runs, not one a line: the previous line's key,
    // then a table of recent keys by hash.
    CRuleSet fresh(nullptr, name, held);
    fresh.m_bytes = std::move(contents);
    const std::string_view text = fresh.m_bytes;
    const std::size_t most = RuleLinesAtMost(text);
    fresh.m_arrRules.reserve(most);
    fresh.m_arrKeys.reserve(most);
    const auto span = [&](std::string_view part) {
        if (part.empty()) return CKeySpan{};  // perhaps no view into the text at all
        return CKeySpan{static_cast<std::uint32_t>(part.data() - text.data()), static_cast<std::uint32_t>(part.size())};
    };
    // Lines are read a few ahead of their entry, so that the recent key a
    // new key looks for is fetched from memory while earlier lines go in.
    struct Line {
        CKeySpan key, text;
        std::uint32_t lineMode = 0;
        std::uint32_t hash = 0;
        bool newKey = false;  // not the previous rule's key
    };
    constexpr std::size_t kAhead = 8;
    std::array<Line, kAhead> ahead;
    std::size_t first = 0, pending = 0;  // the lines waiting: ahead[first] on
    std::size_t sinceNew = kAhead;       // lines read since the last new key
    std::uint32_t run = 0;
    constexpr std::size_t kRecent = std::size_t{1} << 16;
    struct Recent {
        std::uint32_t run = 0;  // + 1; 0 for none
        std::uint32_t hash = 0;
    };
    std::vector<Recent> recent(kRecent);
    // The table is asked while it finds keys: once it has found almost none
    // of a table's worth of new keys, they are taken to be distinct and go
    // in as they come, as rising keys do.
    bool lookUp = true;
    std::size_t asked = 0, joined = 0;
    // A run for a key that no run holds yet, and a line's rule in the run
    // entered last. Inlined, as they run once a line.
    const auto newRun = [&](CKeySpan key) __attribute__((always_inline))
    {
        run = static_cast<std::uint32_t>(fresh.m_arrKeys.size());
        fresh.m_arrKeys.push_back(key);
    };
    const auto addRule = [&](const Line& line) __attribute__((always_inline))
    {
        fresh.m_arrRules.push_back({line.text.offset, line.text.length, run, line.lineMode});
    };
    const auto enter = [&](const Line& line) __attribute__((always_inline)) {
        if (line.newKey) {
            Recent& seen = recent[line.hash & (kRecent - 1)];
            const std::string_view key = text.substr(line.key.offset, line.key.length);
            ++asked;
            if (seen.run != 0 && seen.hash == line.hash && fresh.KeyOf(seen.run - 1) == key) {
                run = seen.run - 1;
                ++joined;
            } else {
                newRun(line.key);
                seen = {run + 1, line.hash};
            }
        }
        addRule(line);
    };
    const auto enterOldest = [&] {
        enter(ahead[first]);
        first = (first + 1) % kAhead;
        --pending;
    };
    std::optional<std::string_view> previousKey;
    // Every new key so far sorts after the key before it, so no earlier run
    // has it: while that lasts, lines go in as they come, and the table of
    // recent keys is not asked (runs it would have joined are merged later).
    bool rising = true;
    std::int64_t lineNumber = 1;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = FindChar(text, start, '\n', sjis);
        if (lf == std::string_view::npos) break;  // an unterminated last line is ignored
        std::size_t end = lf;
        // A CR LF line break goes whole; with a bare LF the line keeps every byte.
        if (end > start && text[end - 1] == '\r') --end;
        const ParsedLine line = ParseLine(text.substr(start, end - start), sjis);
        if (line.kind == ParsedLine::kBad) return CRuleLoadResult::Failed(RuleLoadFailure::kBadLine, lineNumber);
        if (line.kind == ParsedLine::kRule) {
            bool newKey = !previousKey;
            if (previousKey && rising) {
                const int order = previousKey->compare(line.key);
                newKey = order != 0;
                rising = order <= 0;
            } else if (previousKey) {
                newKey = *previousKey != line.key;
            }
            previousKey = line.key;
            Line next{span(line.key), span(line.text),
                      static_cast<std::uint32_t>(lineNumber) << 2 | static_cast<std::uint32_t>(line.mode), 0, newKey};
            if (newKey && (rising || !lookUp)) {
                // Nothing waits while keys rise, or once the table is not asked.
                newRun(next.key);
                addRule(next);
            } else {
                if (newKey) {
                    next.hash = CKeyTable::Hash(line.key);
                    __builtin_prefetch(&recent[next.hash & (kRecent - 1)]);
                    sinceNew = 0;
                } else {
                    ++sinceNew;
                }
                if (pending == 0 && !newKey) {
                    enter(next);  // nothing waits, and nothing to fetch
                } else {
                    if (pending == kAhead)
                        enterOldest();
                    ahead[(first + pending++) % kAhead] = next;
                    // The last new key's slot has had its time: all go in.
                    while (sinceNew >= kAhead && pending > 0)
                        enterOldest();
                }
                if (asked >= kRecent) {
                    if (joined < asked / 64) {
                        while (pending > 0)
                            enterOldest();
                        lookUp = false;
                    }
                    asked = joined = 0;
                }
            }
        }
        start = lf + 1;
        ++lineNumber;
    }
    while (pending > 0)
        enterOldest();
    CRuleLoadResult result;
    // Lines broken by CR alone are one unterminated line: nothing was read.
    result.m_bCrOnly = start == 0 && text.find('\r') != std::string_view::npos;
    // Rules loaded for text in another encoding need no index of their own,
    // unless they serve that text unconverted.
    const bool ownIndex = textEncoding ? PassEncoding(*textEncoding) == held ||
                                             ServesUnconverted(text, held, PassEncoding(*textEncoding))
                                       : ready == Ready::kOwnEncoding;
    // Rules for text in another encoding are grouped as they are converted,
    // so that their keys are sorted once, in that encoding.
    const bool converted = textEncoding && !ownIndex;
    if (converted) {
        fresh.Freeze(true, false);
    } else {
        // The keys in order serve the index; they go before any conversion.
        CSortedKeys order = fresh.GroupRuns();
        fresh.Freeze(true, ownIndex, &order);
        if (!textEncoding && !ownIndex) fresh.m_pendingOrder = std::move(order);
    }
    if (textEncoding && !fresh.Prepare(*textEncoding, converted))
        return CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory);
    *this = std::move(fresh);
    return result;
} catch (const std::bad_alloc&) {
    return CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory);
} catch (const std::length_error&) {
    return CRuleLoadResult::Failed(RuleLoadFailure::kOutOfMemory);
}

bool CRuleSet::ParseRuleLine(const CByteString& line)
{
    const ParsedLine parsed = ParseLine(line, m_ruleEncoding == EncodingId::Cp932);
    if (parsed.kind == ParsedLine::kRule) AddRule(parsed.mode, CByteString(parsed.key), CByteString(parsed.text));
    return parsed.kind != ParsedLine::kBad;
}
