// Ids of the program's own resources, listed once: the enum and the names that
// res/strings.txt and res/mainframe.txt use are both made from the list.
#pragma once

#include "AfxRes.h"

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
    X(IDS_PASS_CUT_SHORT, 213)      \
    X(IDS_GOTO_LINE_TITLE, 240)     \
    X(IDS_GOTO_LINE_LABEL, 241)     \
    X(ID_INDICATOR_EDITS, 242)      \
    X(IDS_EDIT_COUNT, 243)          \
    X(IDS_RULE_FILE_CLEAR, 244)

AFX_DECLARE_IDS(JESTPAD_IDS, kJestpadIds);

// Resource files inside the program (res/jestpad.qrc).
inline constexpr char kStringTablePath[] = ":/res/strings.txt";
inline constexpr char kMainFrameResourcePath[] = ":/res/mainframe.txt";
inline constexpr char kProgramIconPath[] = ":/res/icons/jestpad-32.png";
