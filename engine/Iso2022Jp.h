// The ISO-2022-JP family read as it is written: every set of ISO-2022-JP-2
// and ISO-2022-JP-2004, SO/SI half-width katakana, lines that end without
// their return to ASCII, redundant escapes. The decoder keeps a source map
// (where each character's bytes begin and the state there), so that the
// stretches a pass left alone are copied back as the file's own bytes and
// only changed ones are written anew.
#pragma once

#include "Encoding.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jis {

// The set a stretch of 7-bit bytes is in.
enum class Set : std::uint8_t {
    Ascii,      // ESC ( B
    Roman,      // ESC ( J: 0x5C is U+00A5, 0x7E U+203E
    Kana,       // ESC ( I: half-width katakana
    Jis1978,    // ESC $ @
    Jis0208,    // ESC $ B
    Jis0212,    // ESC $ ( D
    Gb2312,     // ESC $ A
    Ksc5601,    // ESC $ ( C
    Jis2000,    // ESC $ ( O: JIS X 0213 plane 1
    Jis2004,    // ESC $ ( Q: the same, 2004
    Jis0213P2,  // ESC $ ( P: JIS X 0213 plane 2
};

// The decoder's state: the set in G0, whether SO invoked half-width
// katakana, and the ISO 8859 high half in G2 ('A' Latin-1, 'F' Greek, 0 none).
struct CState {
    Set m_g0 = Set::Ascii;
    bool m_bShifted = false;
    char m_cG2 = 0;
    bool operator==(const CState&) const = default;
};

// A character of the decoded text: its offset there, the file offset where
// its bytes (escapes before it included) begin, and the state at that offset.
struct CMark {
    std::int64_t m_nPass = 0;
    std::int64_t m_nFile = 0;
    CState m_state;
};

struct CDecoded {
    std::string m_text;
    EncodingId m_pass = EncodingId::EucJp;  // EUC-JP, or UTF-8 when EUC-JP cannot hold the text
    // One mark a character, ascending, then one at the end of the text
    // (file offset after the last character; escapes after it follow).
    std::vector<CMark> m_marks;
};

// Decodes a whole file (no mark). Text that only JIS X 0208, JIS X 0212,
// half-width katakana and ASCII hold becomes EUC-JP, unless `utf8`; anything
// else becomes UTF-8 (JIS X 0208's six differing characters in their JIS
// form). False at the first byte that no set reads, or an escape that names
// none, with `error` filled (offset and line in the file).
bool Decode(std::string_view file, bool utf8, CDecoded& out, CConvertError* error);

// The sets a decoded text's states name (bit 1 << Set; kG2Latin, kG2Greek),
// with those every ISO-2022-JP text may use (ASCII, JIS X 0201, JIS X 0208).
inline constexpr std::uint32_t kG2Latin = 1u << 16, kG2Greek = 1u << 17;
std::uint32_t SetsOf(const std::vector<CMark>& marks);

// Encodes text of the pass (EUC-JP or UTF-8) starting in state `from`, in
// the sets `allowed` only, and leaves the state `to` at its end. False, with
// the offset in `text` and the character (0 for bytes invalid in the pass
// encoding), when no allowed set holds a character (and for ESC, SO, SI).
bool Encode(std::string_view text, EncodingId pass, const CState& from, const CState& to, std::uint32_t allowed,
            std::string& out, std::size_t& failedAt, char32_t& failedChar);

}  // namespace jis
