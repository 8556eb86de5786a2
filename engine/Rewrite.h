// One open's rewriting, as the window and jestcat both run it, and the way a
// file's bytes come to the pass and go back.
#pragma once

#include "EditReport.h"
#include "Encoding.h"
#include "Iso2022Jp.h"
#include "RuleSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Seeds the generator, runs the pass at the level's threshold (without the
// rules that cannot be expressed in options.m_encoding: the caller names them
// from LeftOutRules), then the enabled filters: HTML tags first, then
// comments. Returns false when the pass stopped at its bound (the
// filters still ran). With a report, fills it with what the pass and the
// filters changed (EditReport.h); asking for it changes no byte and no draw.
bool RewriteText(const CRuleSet& rules, CByteString& text, std::uint32_t seed,
                 const CRewriteOptions& options, CRewriteReport* report = nullptr);

// Where a pass text came from, kept by ToPassText for FromPassText: the
// file's bytes and encoding, the text the pass got, and for ISO-2022-JP the
// source map (where each character's bytes begin, and the state there).
struct CPassOrigin {
    CEncoding m_encoding;
    EncodingId m_pass = EncodingId::Cp932;
    std::string m_fileBytes;
    std::string m_passText;
    std::vector<jis::CMark> m_marks;
    std::uint32_t m_nSets = 0;  // ISO-2022-JP: the sets the file designates (bit per jis::Set, G2 above)
};

// How a text is held: the encoding the user named, the file's encoding (mark
// included) and the encoding the pass and the view hold its text in.
struct CTextEncoding {
    std::optional<EncodingId> m_forced{};   // nullopt: detected
    CEncoding m_file{};                     // as read, and as Save As writes
    EncodingId m_pass = EncodingId::Cp932;  // of the pass text (CRewriteOptions::m_encoding)
    bool operator==(const CTextEncoding&) const = default;
};

// A file's bytes to the text the pass runs on, for the window's open, jestcat
// and rule files alike. Reads encoding.m_forced (EncodingForBytes for it, or
// DetectEncoding) and sets m_file and m_pass:
//  - CP932, UTF-8 and EUC-JP: the bytes as they stand, invalid ones included
//    (a UTF-8 mark set aside when the value has one); never fails.
//  - ISO-2022-JP (every set of ISO-2022-JP-2 and -2004, SO/SI katakana):
//    read as written into EUC-JP, or into UTF-8 when it holds a character
//    that EUC-JP cannot (U+00A5 through ESC ( J, JIS X 0213, GB2312, ...).
//  - UTF-16: converted to UTF-8. A UTF-32 mark is refused (Utf32Text).
// `origin`, when given, receives what FromPassText needs to give the file's
// own bytes back.
// On failure (bytes invalid in the encoding) returns false with `text`
// untouched, m_file the encoding tried and `error` filled.
bool ToPassText(std::string_view fileBytes, CTextEncoding& encoding, CByteString& text,
                CConvertError* error = nullptr, CPassOrigin* origin = nullptr);

// The pass's text back to bytes in `encoding` (the document's, for Save As
// and jestcat's output; another for jestcat -t), the mark written when the
// value has one. Text in its own encoding comes back as it stands; otherwise
// a character that `encoding` cannot hold makes it return false with `bytes`
// untouched and `error` naming the line and the character.
// With the text's `origin` and the pass's `report`, into the origin's own
// encoding: where the pass changed nothing the result is the file's bytes,
// whatever escapes, marks or invalid bytes they hold; in ISO-2022-JP only
// the changed stretches are written anew (in the sets the file uses, then
// back to the state the file's following bytes expect).
bool FromPassText(std::string_view text, EncodingId pass, const CEncoding& encoding, CByteString& bytes,
                  CConvertError* error = nullptr, const CPassOrigin* origin = nullptr,
                  const CRewriteReport* report = nullptr);
