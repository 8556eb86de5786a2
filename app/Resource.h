// Ids of the program's own resources: commands, strings, dialogs.
#pragma once

#include "AfxRes.h"

enum : int {
    IDR_MAINFRAME = 128,  // menu, accelerators, tool bar, icon, template string
    IDD_ABOUTBOX = 100,
    IDD_JEST_SETTINGS = 130,

    ID_FILE_RELOAD = 32771,
    ID_SETTINGS_FONT = 32772,
    ID_SETTINGS_JEST = 32773,
    // 編集 > 検索, 次を検索, 前を検索; the find bar's and the drop's strings.
    ID_EDIT_FIND = 32774,
    ID_EDIT_FIND_NEXT = 32775,
    ID_EDIT_FIND_PREV = 32776,
    IDS_FIND_LABEL = 204,
    IDS_FIND_MATCH_CASE = 205,
    IDS_FIND_MATCH_WIDTH = 206,
    IDS_FIND_COUNT = 207,
    IDS_FIND_NOT_FOUND = 208,
    IDS_FIND_WRAPPED_TO_TOP = 209,
    IDS_FIND_WRAPPED_TO_END = 210,
    IDS_FIND_CLOSE = 211,
    IDS_DROP_IGNORED = 212,

    // "設定ファイルのロードに失敗しました。"
    IDS_RULE_LOAD_FAILED = 201,
    // "Jestpad Version 3.0β"
    IDS_VERSION_TEXT = 202,
    // Usage text of --help.
    IDS_USAGE = 203,
};

// Resource files inside the program (res/jestpad.qrc).
inline constexpr char kStringTablePath[] = ":/res/strings.txt";
inline constexpr char kMainFrameResourcePath[] = ":/res/mainframe.txt";
inline constexpr char kProgramIconPath[] = ":/res/icons/jestpad-32.png";
