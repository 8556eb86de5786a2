// Text encodings of Japanese files: one value naming the encoding, its names,
// detection over bytes, checked conversion on glibc's iconv, and character
// stepping for the pass.
//
// How the rest of the program uses it:
//  - Open (window and jestcat): read the file's bytes (the size limit applies
//    to these), take DetectEncoding(bytes), or EncodingForBytes(id, bytes) when
//    the user named the encoding. The pass runs on PassEncoding(id): CP932,
//    UTF-8 and EUC-JP bytes are rewritten as they stand (only a UTF-8 mark is
//    set aside with WithoutByteOrderMark); ISO-2022-JP is converted to EUC-JP
//    and UTF-16 to UTF-8 with ConvertText, which drops the mark; the CEncoding
//    value keeps it for Save As.
//  - Pass: where StepsByCharacter(PassEncoding(id)), positions inside a
//    character are never tried. After a position where nothing fired the next
//    one is pos + CharLength(text, pos, id); after a firing with length change
//    r it is CharStartAtOrAfter(text, max(0, pos + r + 1), id, pos). CP932
//    text is walked byte by byte as before.
//  - Rules: the built-in rules (CP932 bytes) are converted once per pass
//    encoding with ConvertText(bytes, {Cp932}, {PassEncoding(id)}). A rule
//    file is detected like a text; an ISO-2022-JP or UTF-16 one is converted
//    whole to its pass encoding first (escapes and byte pairs span lines),
//    then split, and each key and text converted for the text at hand the same
//    way; equal encodings give the bytes back unconverted. A failure gives the
//    character (m_cChar); the loader adds the rule file's line and leaves the
//    rule out.
//  - Display and copy: DecodeToUtf8. Save As and jestcat -t: ConvertText from
//    the pass encoding to the document's encoding (mark written when the value
//    has one); on failure nothing is written and DescribeConvertError names
//    the line and the character (U+XXXX).
//  - Status bar: DisplayName. jestcat -e/-t/--rules-encoding/--detect:
//    IsAutoEncodingName, ParseEncodingName, OptionName (plus " bom").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class EncodingId : std::uint8_t { Cp932, Utf8, EucJp, Iso2022Jp, Utf16Le, Utf16Be };
// Every encoding, in the order menus and help list them.
inline constexpr EncodingId kAllEncodings[] = {EncodingId::Cp932,     EncodingId::Utf8,    EncodingId::EucJp,
                                               EncodingId::Iso2022Jp, EncodingId::Utf16Le, EncodingId::Utf16Be};

// An encoding and whether the text began with its byte-order mark.
struct CEncoding {
    EncodingId m_id = EncodingId::Cp932;
    bool m_bBom = false;
    bool operator==(const CEncoding&) const = default;
};

// ---- Names ----------------------------------------------------------------

// "auto", in any case: detect.
bool IsAutoEncodingName(std::string_view name);
// Any accepted spelling (cp932, shift_jis, sjis, windows-31j, ms932, utf-8,
// utf8, euc-jp, eucjp, euc-jp-ms, ujis, iso-2022-jp, iso2022jp, jis,
// utf-16le, utf-16be, ...), case-insensitive, "-" and "_" alike. nullopt for
// an unknown name and for "auto".
std::optional<EncodingId> ParseEncodingName(std::string_view name);
// The -e value: "cp932", "utf-8", "euc-jp", "iso-2022-jp", "utf-16le", "utf-16be".
const char* OptionName(EncodingId id);
// The status-bar name: "Shift_JIS", "UTF-8", "UTF-8 BOM", "EUC-JP",
// "ISO-2022-JP", "UTF-16LE BOM", ...
std::string DisplayName(const CEncoding& encoding);
// The byte-order mark of an encoding; empty for those that have none.
std::string_view ByteOrderMark(EncodingId id);
// The bytes without the encoding's mark when the value says there is one.
std::string_view WithoutByteOrderMark(std::string_view bytes, const CEncoding& encoding);
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

// Why a conversion stopped. Offsets and lines count in the input given.
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
// One line of English for jestcat and the window, e.g.
// "line 3: U+2460 cannot be written in ISO-2022-JP" or
// "line 1: invalid EUC-JP bytes at byte 17 (A1 21)". The input is needed for
// the bytes; pass an empty view to leave them out.
std::string DescribeConvertError(const CConvertError& error, std::string_view input);

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
inline bool StepsByCharacter(EncodingId id) { return id == EncodingId::Utf8 || id == EncodingId::EucJp; }

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

// Fast inline form for UTF-8: a byte that is not 10xxxxxx starts a character.
// (Stray continuation bytes count as no start here; IsCharStart treats them
// as single bytes.)
inline bool IsUtf8LeadByte(unsigned char b) { return (b & 0xC0) != 0x80; }
