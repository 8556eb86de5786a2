// The rule-file loader: one rule per line, "letter, skipped byte, key, space,
// text", in the rule file's encoding: CP932 bytes as they stand, stepping over
// double-byte characters; other encodings with plain byte searches.
#include "FileRead.h"
#include "Rewrite.h"
#include "RuleSet.h"
#include "Sjis.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>

namespace {

// First occurrence of the single-byte character c at or after from, stepping
// over double-byte characters so that their second byte is never taken for c.
std::size_t FindSjisChar(std::string_view s, std::size_t from, char c)
{
    std::size_t i = from;
    while (i < s.size()) {
        if (IsSjisLeadByte(static_cast<unsigned char>(s[i]))) {
            i += 2;
        } else if (s[i] == c) {
            return i;
        } else {
            ++i;
        }
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

}  // namespace

bool CRuleSet::LoadRuleFile(const CByteString& name, std::optional<EncodingId> encoding)
{
    CByteString contents;
    const int error = ReadWholeFile(name, contents, true, kMaxRuleBytes);
    // Over the ceiling: what lies past a NUL does not count.
    if (error == EFBIG && contents.find('\0') == CByteString::npos) {
        ReportTooLarge();
        return false;
    }
    if (error != 0 && error != EFBIG) return false;
    return LoadRuleBytes(contents, name, encoding);
}

bool CRuleSet::LoadRuleBytes(const CByteString& contents, const CByteString& name, std::optional<EncodingId> encoding)
{
    // UTF-16 holds NUL bytes in its characters, so only a mark is looked at
    // before the contents are cut at the first NUL.
    CEncoding found = encoding ? EncodingForBytes(*encoding, contents) : DetectEncoding(contents);
    const bool wide = HasWideUnits(found.m_id);
    std::string_view text = contents;
    if (!wide) {
        // The contents end at the first NUL.
        text = text.substr(0, contents.find('\0'));
        if (!encoding && text.size() != contents.size()) found = DetectEncoding(text);
    }
    if (text.size() > kMaxRuleBytes) {
        ReportTooLarge();
        return false;
    }
    // ISO-2022-JP and UTF-16 are converted whole, since their escapes and
    // byte pairs span lines; the rules are then held in the pass encoding.
    EncodingId held = found.m_id;
    CByteString converted;
    if (found.m_id != PassEncoding(found.m_id)) {
        CConvertError error;
        CTextEncoding pass{.m_forced = found.m_id};
        const bool ok = ToPassText(text, pass, converted, &error);
        held = pass.m_pass;
        if (!ok) {
            ReportLineError(static_cast<int>(error.m_nLine));
            return false;
        }
        text = converted;
        text = text.substr(0, text.find('\0'));
    } else {
        text = WithoutByteOrderMark(text, found);
    }
    const bool sjis = held == EncodingId::Cp932;

    // Parse into a fresh set; the rules in use are replaced only when every
    // line was accepted, so a bad line loses nothing. Rules are added a batch
    // at a time, so that the key table's slots of a batch are fetched
    // together rather than waited for one by one.
    CRuleSet fresh;
    fresh.RemoveAllGroups();
    // Room for a group per line: the array never moves while it fills, and
    // pages that stay unused are never touched.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    fresh.m_arrGroups.reserve(lines);
    fresh.m_arrOrigins.reserve(lines);
    constexpr int kBatch = 16;
    ParsedLine batch[kBatch];
    std::uint32_t hashes[kBatch];
    int batchLines[kBatch];
    int pending = 0;
    const auto flush = [&] {
        for (int i = 0; i < pending; ++i)
            fresh.AddRuleHashed(batch[i].mode, batch[i].key, batch[i].text, hashes[i], batchLines[i]);
        pending = 0;
    };
    int lineNumber = 1;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = FindChar(text, start, '\n', sjis);
        if (lf == std::string_view::npos) break;  // an unterminated last line is ignored
        std::size_t end = lf;
        // A CR LF line break goes whole; with a bare LF the line keeps every byte.
        if (end > start && text[end - 1] == '\r') --end;
        const ParsedLine line = ParseLine(text.substr(start, end - start), sjis);
        if (line.kind == ParsedLine::kBad) {
            ReportLineError(lineNumber);
            return false;
        }
        if (line.kind == ParsedLine::kRule) {
            hashes[pending] = KeyHash(line.key);
            fresh.PrefetchKey(hashes[pending]);
            batchLines[pending] = lineNumber;
            batch[pending++] = line;
            if (pending == kBatch) flush();
        }
        start = lf + 1;
        ++lineNumber;
    }
    flush();
    if (fresh.m_arrGroups.size() < fresh.m_arrGroups.capacity() / 2) fresh.m_arrGroups.shrink_to_fit();
    m_arrGroups.swap(fresh.m_arrGroups);
    m_arrKeySlots.swap(fresh.m_arrKeySlots);
    m_arrOrigins.swap(fresh.m_arrOrigins);
    ForgetKeyIndex();
    m_ruleEncoding = held;
    SetFileName(name);
    return true;
}

bool CRuleSet::ParseRuleLine(const CByteString& line)
{
    const ParsedLine parsed = ParseLine(line, m_ruleEncoding == EncodingId::Cp932);
    if (parsed.kind == ParsedLine::kRule) AddRuleHashed(parsed.mode, parsed.key, parsed.text, KeyHash(parsed.key));
    return parsed.kind != ParsedLine::kBad;
}

void CRuleSet::ReportLineError(int lineNumber) const
{
    if (!m_pSink) return;
    char message[128];
    std::snprintf(message, sizeof message, "第%d行で読み込みエラーが起きました。", lineNumber);
    m_pSink->ShowMessage(message);
}

void CRuleSet::ReportTooLarge() const
{
    if (m_pSink) m_pSink->ShowMessage("設定ファイルが大きすぎます（64 MiBまで）。");
}
