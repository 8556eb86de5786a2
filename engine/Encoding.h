// Text encodings of Japanese files (the table in EncodingTable.h): names,
// detection over bytes, checked conversion on glibc's iconv, and character
// stepping for the pass.
//
// A text is rewritten in its PassEncoding: CP932, UTF-8 and EUC-JP as their
// bytes, the others converted (Rewrite.h's ToPassText and FromPassText take
// the whole road). CP932 text is walked byte by byte, UTF-8 and EUC-JP by
// character. Rules are converted once per pass encoding.
#pragma once

#include "EncodingTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>


// An encoding and whether the text began with its byte-order mark.
struct CEncoding {
    EncodingId m_id = EncodingId::Cp932;
    bool m_bBom = false;
    bool operator==(const CEncoding&) const = default;
};

// ---- Names ----------------------------------------------------------------

// "auto", in any case: detect.
bool IsAutoEncodingName(std::string_view name);
// A row's option name or alias (shift_jis, sjis, eucjp, jis, ...),
// case-insensitive, "-", "_" and spaces ignored. nullopt for an unknown
// name and for "auto".
std::optional<EncodingId> ParseEncodingName(std::string_view name);
// The -e value: "cp932", "utf-8", ...
const char* OptionName(EncodingId id);
// The status-bar name: "Shift_JIS", "UTF-8 BOM", ...
std::string DisplayName(const CEncoding& encoding);
// The byte-order mark of an encoding; empty for those that have none.
std::string_view ByteOrderMark(EncodingId id);
// The bytes without the encoding's mark when the value says there is one.
std::string_view WithoutByteOrderMark(std::string_view bytes, const CEncoding& encoding);
// Whether its code units are wider than a byte, so that NUL bytes occur
// inside characters and a mark is needed to tell the text again.
constexpr bool HasWideUnits(EncodingId id) { return EncodingInfo(id).m_nUnitBytes > 1; }
// The iconv name the conversions use.
const char* ConverterName(EncodingId id);

// ---- Detection ------------------------------------------------------------

// The ladder: byte-order mark (a UTF-32 mark gives the UTF-16 of that order,
// which ToPassText refuses); UTF-16 without a mark where the text plainly is
// (NULs at alternate positions); 7-bit text with ISO-2022-JP escapes (7-bit
// text without counts as UTF-8); strict UTF-8. Then the 8-bit readings: one
// that alone is valid wins, unless UTF-8 with a little damage (each invalid
// run of bytes against at least two valid multi-byte sequences) weighs more; where
// EUC-JP and CP932 both are valid, the likelier reading, a tie going to
// CP932; where none is, damaged UTF-8 as above, else CP932. A last character
// cut short at the end does not make UTF-8 or EUC-JP invalid.
CEncoding DetectEncoding(std::string_view bytes);
// A named encoding for these bytes: m_bBom is set when they begin with its mark.
CEncoding EncodingForBytes(EncodingId id, std::string_view bytes);
// Strict validity, as detection uses it (a cut last character allowed).
bool IsValidUtf8(std::string_view bytes);
bool IsValidEucJp(std::string_view bytes);
bool IsValidCp932(std::string_view bytes);
// Whether text the pass runs on (CP932, UTF-8, EUC-JP) holds bytes invalid
// in that encoding, a character cut short at the end included.
bool HoldsInvalidBytes(std::string_view text, EncodingId pass);
// Whether the bytes begin with a UTF-32 byte-order mark (either order).
bool HasUtf32Mark(std::string_view bytes);

// ---- Conversion -----------------------------------------------------------

// Why a conversion stopped, as facts for the programs to word. Offsets and
// lines count in the input given.
struct CConvertError {
    enum class Kind : std::uint8_t {
        InvalidInput, IncompleteInput, Unrepresentable, NoConverter,
        Utf32Text,  // a UTF-32 mark: not read
    };
    Kind m_eKind = Kind::InvalidInput;
    std::size_t m_nOffset = 0;  // byte offset in the input
    std::size_t m_nLine = 1;    // line of that offset, from 1
    char32_t m_cChar = 0;       // Unrepresentable: the character
    EncodingId m_from = EncodingId::Cp932;
    EncodingId m_to = EncodingId::Cp932;
};

// Converts bytes in `from` to `to`. When from.m_bBom, a leading mark is
// dropped; when to.m_bBom, the mark is written. Equal encodings give the
// bytes back unchanged, invalid ones included. Into CP932, EUC-JP and
// ISO-2022-JP the characters that CP932 and JIS map differently (U+301C and
// U+FF5E, U+2016/U+2225, U+2212/U+FF0D, U+00A2/U+FFE0, U+00A3/U+FFE1,
// U+00AC/U+FFE2, U+2014/U+2015) are folded to the one form the target holds.
// Returns false at the first invalid input or unrepresentable character,
// with `out` untouched and `error` (when given) filled; never substitutes.
bool ConvertText(std::string_view bytes, const CEncoding& from, const CEncoding& to, std::string& out,
                 CConvertError* error = nullptr);
// EUC-JP and ISO-2022-JP read JIS X 0208's six codes that Windows maps
// otherwise as glibc's EUC-JP, nkf and Python do: A1C1 as U+301C, A1C2
// U+2016, A1DD U+2212, A1F1 U+00A2, A1F2 U+00A3, A2CC U+00AC (the NEC and
// IBM extensions keep their CP932 reading). The Unix reading of a code given
// as EUC-JP bytes, or 0 for every other code.
char32_t UnixReading(unsigned char b1, unsigned char b2);

// ConvertText to and from UTF-8 without a mark.
bool DecodeToUtf8(std::string_view bytes, const CEncoding& from, std::string& utf8, CConvertError* error = nullptr);
bool EncodeFromUtf8(std::string_view utf8, const CEncoding& to, std::string& bytes, CConvertError* error = nullptr);
// True when iconv can convert between UTF-8 and every encoding here.
bool ConvertersAvailable();

// ---- The pass -------------------------------------------------------------

// The encoding the pass runs on for a text in `id`: ISO-2022-JP is rewritten
// as EUC-JP, UTF-16 as UTF-8, the others as they are.
EncodingId PassEncoding(EncodingId id);
// Whether the pass skips positions inside characters (UTF-8 and EUC-JP).
constexpr bool StepsByCharacter(EncodingId id) { return EncodingInfo(id).m_bStepsByCharacter; }

// Length of the character that starts at pos: whole valid sequences only,
// anything else is one byte; 0 at or past the end. CP932: lead byte and the
// byte after it.
std::size_t CharLength(std::string_view text, std::size_t pos, EncodingId id);
// Whether a character starts at pos, as CharLength walks the text from its
// start (true at 0 and at the end). O(1) for UTF-8; for EUC-JP it looks back
// to the last byte outside 0xA1..0xFE, so prefer CharStartAtOrAfter in loops.
// Every position is a start in CP932 and the other encodings.
bool IsCharStart(std::string_view text, std::size_t pos, EncodingId id);
// The first character start at or after pos, walking from `from`, a known
// start at or before pos (if from > pos, from a point found looking back).
std::size_t CharStartAtOrAfter(std::string_view text, std::size_t pos, EncodingId id, std::size_t from);

// The pass's next position in UTF-8 and EUC-JP text, after the position
// before.size() (a character start) gave the length change `change`: the
// first character start at or after max(0, position + change + 1). Starts at
// or after the position are found walking `after` (the text from the
// position on) by CharLength; starts before it as CharStartAtOrAfter finds
// them in `before` (the text before the position), which a rewrite at the
// position never changes.
std::size_t NextPassPosition(std::string_view before, std::string_view after, std::int64_t change, EncodingId id);

// The UTF-8 fast path: whether the `left` bytes at p begin with a three-byte
// character led by E1..EF but ED, as most Japanese characters are (always
// valid, never a surrogate).
inline bool IsCommonUtf8Triple(const unsigned char* p, std::size_t left)
{
    return left >= 3 && p[0] - 0xE1u <= 0xEFu - 0xE1u && p[0] != 0xED && ((p[1] ^ 0x80) | (p[2] ^ 0x80)) < 0x40;
}

// Fast inline form for UTF-8: a byte that is not 10xxxxxx starts a character.
// (Stray continuation bytes count as no start here; IsCharStart treats them
// as single bytes.)
inline bool IsUtf8LeadByte(unsigned char b) { return (b & 0xC0) != 0x80; }
