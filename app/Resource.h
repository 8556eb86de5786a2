// Ids of the program's own resources, listed once: the enum and the names that
// res/strings.txt and res/mainframe.txt use are both made from the list.
#pragma once

#include "AfxRes.h"
#include "EncodingTable.h"

// IDR_MAINFRAME names the menu, accelerators, tool bar, icon and template string.
#define JESTPAD_IDS(X)              \
    X(IDR_MAINFRAME, 128)           \
    /* commands */                  \
    X(ID_FILE_RELOAD, 32771)        \
    X(ID_SETTINGS_FONT, 32772)      \
    X(ID_SETTINGS_JEST, 32773)      \
    X(ID_EDIT_FIND, 32774)          \
    X(ID_EDIT_FIND_NEXT, 32775)     \
    X(ID_EDIT_FIND_PREV, 32776)     \
    X(ID_FILE_REOPEN_AUTO, 32790)   \
    X(ID_FILE_REOPEN_CP932, 32791)  \
    X(ID_FILE_REOPEN_UTF8, 32792)   \
    X(ID_FILE_REOPEN_EUCJP, 32793)  \
    X(ID_FILE_REOPEN_JIS, 32794)    \
    X(ID_FILE_REOPEN_UTF16LE, 32795) \
    X(ID_FILE_REOPEN_UTF16BE, 32796) \
    X(ID_VIEW_ZOOM_IN, 32810)       \
    X(ID_VIEW_ZOOM_OUT, 32811)      \
    X(ID_VIEW_ZOOM_RESET, 32812)    \
    X(ID_VIEW_JEST_MARKS, 32813)    \
    X(ID_EDIT_GOTO_LINE, 32814)     \
    /* strings */                   \
    X(IDS_RULE_LOAD_FAILED, 201)    \
    X(IDS_VERSION_TEXT, 202)        \
    X(IDS_USAGE, 203)               \
    X(IDS_FIND_LABEL, 204)          \
    X(IDS_FIND_MATCH_CASE, 205)     \
    X(IDS_FIND_MATCH_WIDTH, 206)    \
    X(IDS_FIND_COUNT, 207)          \
    X(IDS_FIND_NOT_FOUND, 208)      \
    X(IDS_FIND_WRAPPED_TO_TOP, 209) \
    X(IDS_FIND_WRAPPED_TO_END, 210) \
    X(IDS_FIND_CLOSE, 211)          \
    X(IDS_DROP_IGNORED, 212)        \
    X(ID_INDICATOR_ENCODING, 220)   \
    X(IDS_SAVE_UNREPRESENTABLE, 221) \
    X(IDS_SAVE_CONVERT_FAILED, 222) \
    X(IDS_OPEN_ENCODING_FALLBACK, 223) \
    X(IDS_FILE_REOPEN_AS, 224) \
    X(IDS_OPEN_INVALID_BYTES, 225) \
    X(IDS_OPEN_UTF32, 226) \
    X(IDS_PASS_CUT_SHORT, 213)      \
    X(IDS_RULE_LINE_ERROR, 230)     \
    X(IDS_RULE_FILE_MISSING, 231)   \
    X(IDS_RULE_FILE_UNREADABLE, 232) \
    X(IDS_RULE_FILE_NOT_REGULAR, 233) \
    X(IDS_RULE_FILE_TOO_LARGE, 234) \
    X(IDS_RULE_FILE_NO_MEMORY, 235) \
    X(IDS_RULE_FILE_CR_ONLY, 236)   \
    X(IDS_RULES_LEFT_OUT, 237)      \
    X(IDS_RULE_LEFT_OUT_NAME, 238)  \
    X(IDS_RULE_LEFT_OUT_ITEM, 239)  \
    X(IDS_RULE_LEFT_OUT_UNNUMBERED, 240) \
    X(IDS_RULE_LEFT_OUT_BYTES, 241) \
    X(IDS_RULE_LEFT_OUT_SEPARATOR, 242) \
    X(IDS_RULE_LEFT_OUT_MORE, 243) \
    X(IDS_GOTO_LINE_TITLE, 250)     \
    X(IDS_GOTO_LINE_LABEL, 251)     \
    X(ID_INDICATOR_EDITS, 252)      \
    X(IDS_EDIT_COUNT, 253)          \
    X(IDS_RULE_FILE_CLEAR, 254)

AFX_DECLARE_IDS(JESTPAD_IDS, kJestpadIds);

// 開き直す: one command per row of the encoding table, in its order.
constexpr int ReopenCommand(EncodingId id) { return ID_FILE_REOPEN_CP932 + static_cast<int>(EncodingIndex(id)); }
static_assert(ReopenCommand(EncodingId::Cp932) == ID_FILE_REOPEN_CP932 &&
                  ReopenCommand(EncodingId::Utf8) == ID_FILE_REOPEN_UTF8 &&
                  ReopenCommand(EncodingId::EucJp) == ID_FILE_REOPEN_EUCJP &&
                  ReopenCommand(EncodingId::Iso2022Jp) == ID_FILE_REOPEN_JIS &&
                  ReopenCommand(EncodingId::Utf16Le) == ID_FILE_REOPEN_UTF16LE &&
                  ReopenCommand(EncodingId::Utf16Be) == ID_FILE_REOPEN_UTF16BE &&
                  ID_FILE_REOPEN_UTF16BE - ID_FILE_REOPEN_CP932 + 1 == int(kEncodingCount),
              "the reopen ids follow kEncodings, one each");

// Resource files inside the program (res/jestpad.qrc).
inline constexpr char kStringTablePath[] = ":/res/strings.txt";
inline constexpr char kMainFrameResourcePath[] = ":/res/mainframe.txt";
inline constexpr char kProgramIconPath[] = ":/res/icons/jestpad-32.png";
