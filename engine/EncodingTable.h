// The encodings Jestpad reads and writes, listed once. Names, converters,
// marks, the pass's encoding, jestcat's lists and the window's 開き直す menu
// all come from this table; a new encoding is a new row (at the end, with its
// reopen id after the others in app/Resource.h), its converter and its tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

enum class EncodingId : std::uint8_t { Cp932, Utf8, EucJp, Iso2022Jp, Utf16Le, Utf16Be };

struct CEncodingInfo {
    EncodingId m_id;
    std::string_view m_option;     // jestcat's -e value and --detect name
    std::string_view m_aliases;    // further spellings, lower case without "-", "_", space
    std::string_view m_display;    // status bar and messages
    const char* m_pszConverter;    // iconv's name
    std::string_view m_bom;        // byte-order mark; empty when none
    std::uint8_t m_nUnitBytes;     // bytes of a code unit: 2 puts NUL bytes in characters
    bool m_bStepsByCharacter;      // the pass never starts inside a character
    bool m_bUnicode;               // holds every character (no folding on output)
    EncodingId m_pass;             // the encoding the pass runs in
    std::string_view m_reopen;     // caption in 開き直す
};

inline constexpr CEncodingInfo kEncodings[] = {
    {EncodingId::Cp932, "cp932",
     "ms932 windows31j windows932 shiftjis sjis xsjis csshiftjis cswindows31j mskanji sjiswin sjisopen", "Shift_JIS",
     "CP932", {}, 1, false, false, EncodingId::Cp932, "Shift_JIS(&S)"},
    {EncodingId::Utf8, "utf-8", "", "UTF-8", "UTF-8", "\xEF\xBB\xBF", 1, true, true, EncodingId::Utf8, "UTF-8(&U)"},
    // The Microsoft mapping: every CP932 character has a form in it, and it
    // reads the seven differing characters as CP932 does.
    {EncodingId::EucJp, "euc-jp", "eucjpms eucjpwin eucjpopen xeucjp ujis cp51932 cseucpkdfmtjapanese", "EUC-JP",
     "EUC-JP-MS", {}, 1, true, false, EncodingId::EucJp, "EUC-JP(&E)"},
    // Reads half-width katakana (ESC ( I) and JIS X 0213 as well; writes
    // JIS X 0208 text exactly as ISO-2022-JP.
    {EncodingId::Iso2022Jp, "iso-2022-jp", "iso2022jp3 csiso2022jp jis", "ISO-2022-JP", "ISO-2022-JP-3", {}, 1,
     false, false, EncodingId::EucJp, "ISO-2022-JP(&J)"},
    {EncodingId::Utf16Le, "utf-16le", "", "UTF-16LE", "UTF-16LE", "\xFF\xFE", 2, false, true, EncodingId::Utf8,
     "UTF-16LE(&L)"},
    {EncodingId::Utf16Be, "utf-16be", "", "UTF-16BE", "UTF-16BE", "\xFE\xFF", 2, false, true, EncodingId::Utf8,
     "UTF-16BE(&B)"},
};
inline constexpr std::size_t kEncodingCount = std::size(kEncodings);
// Every encoding's id, in table order.
inline constexpr auto kAllEncodings = [] {
    std::array<EncodingId, kEncodingCount> ids{};
    for (std::size_t i = 0; i < kEncodingCount; ++i) ids[i] = kEncodings[i].m_id;
    return ids;
}();

constexpr std::size_t EncodingIndex(EncodingId id) { return static_cast<std::size_t>(id); }
constexpr const CEncodingInfo& EncodingInfo(EncodingId id) { return kEncodings[EncodingIndex(id)]; }

// The pass's encodings, numbered from 0 in table order (a cache slot each).
constexpr std::size_t PassEncodingSlot(EncodingId id)
{
    std::size_t slot = 0;
    for (const CEncodingInfo& row : kEncodings) {
        if (row.m_id == id) return slot;
        if (row.m_pass == row.m_id) ++slot;
    }
    return slot;
}
inline constexpr std::size_t kPassEncodingCount = PassEncodingSlot(static_cast<EncodingId>(kEncodingCount));

consteval bool TableIsSound()
{
    for (std::size_t i = 0; i < kEncodingCount; ++i) {
        const CEncodingInfo& row = kEncodings[i];
        if (EncodingIndex(row.m_id) != i) return false;
        // The pass runs in an encoding that runs in itself.
        if (EncodingInfo(row.m_pass).m_pass != row.m_pass) return false;
    }
    return true;
}
static_assert(TableIsSound(), "rows follow EncodingId, and each pass encoding passes in itself");
