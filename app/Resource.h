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
    /* strings */                   \
    X(IDS_RULE_LOAD_FAILED, 201)    \
    X(IDS_VERSION_TEXT, 202)        \
    X(IDS_USAGE, 203)               \
    X(IDS_PASS_CUT_SHORT, 204)

enum : int { JESTPAD_IDS(AFX_RESOURCE_ENUM) };

inline constexpr CResourceId kJestpadIds[] = {JESTPAD_IDS(AFX_RESOURCE_NAME)};

// Resource files inside the program (res/jestpad.qrc).
inline constexpr char kStringTablePath[] = ":/res/strings.txt";
inline constexpr char kMainFrameResourcePath[] = ":/res/mainframe.txt";
inline constexpr char kProgramIconPath[] = ":/res/icons/jestpad-32.png";
