// One open's rewriting, as the window and jestcat both run it, and the way a
// file's bytes come to the pass and go back.
#pragma once

#include "EditReport.h"
#include "Encoding.h"
#include "RuleSet.h"

#include <cstdint>
#include <string_view>

// How a text is rewritten: everything but the rules and the seed. New options
// are added here, with a default that keeps today's behaviour, so that
// callers that do not set them need no change.
struct CRewriteOptions {
    int m_nLevel = 2;               // frequency level 0..4 (LevelToThreshold)
    bool m_bHtmlFilter = false;     // strip HTML tags after the pass
    bool m_bCommentFilter = false;  // strip C/C++ comments after the tags
    // Encoding of the bytes handed to the pass: CP932, UTF-8 or EUC-JP
    // (ToPassText gives it). The rules are applied converted to it.
    EncodingId m_encoding = EncodingId::Cp932;
    // Tighter bound on the pass than PassBound (TransformText's limit); -1:
    // PassBound alone. The window keeps what it shows small enough to lay out.
    std::int64_t m_nPassLimit = -1;

    bool operator==(const CRewriteOptions&) const = default;
};

// Seeds the generator, reports once through the rule set's sink the rules
// that cannot be expressed in options.m_encoding (they are left out), runs
// the pass at the level's threshold, then the enabled filters: HTML tags
// first, then comments. Returns false when the pass stopped at its bound (the
// filters still ran). With a report, fills it with what the pass and the
// filters changed (EditReport.h); asking for it changes no byte and no draw.
bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options, CRewriteReport* report = nullptr);

// A file's bytes to the text the pass runs on, for the window's open and
// jestcat alike. `encoding` is the file's (DetectEncoding, or
// EncodingForBytes for a named one); `pass` receives the encoding of `text`,
// for CRewriteOptions::m_encoding and FromPassText:
//  - CP932, UTF-8 and EUC-JP: the bytes as they stand, invalid ones included
//    (a UTF-8 mark set aside when the value has one); never fails.
//  - ISO-2022-JP: converted to EUC-JP, or to UTF-8 when it holds a character
//    that EUC-JP cannot (U+00A5 through ESC ( J, JIS X 0213).
//  - UTF-16: converted to UTF-8.
// On failure (bytes invalid in the encoding) returns false with `text`
// untouched and `error` filled (DescribeConvertError).
bool ToPassText(std::string_view fileBytes, const CEncoding& encoding, CByteString& text, EncodingId& pass,
                CConvertError* error = nullptr);

// The pass's text back to bytes in `encoding` (the document's, for Save As
// and jestcat's output; another for jestcat -t), the mark written when the
// value has one. Text in its own encoding comes back as it stands; otherwise
// a character that `encoding` cannot hold makes it return false with `bytes`
// untouched and `error` naming the line and the character.
bool FromPassText(std::string_view text, EncodingId pass, const CEncoding& encoding, CByteString& bytes,
                  CConvertError* error = nullptr);
