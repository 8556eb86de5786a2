// The framework's standard ids of commands and strings, listed once: the enum
// and the names that the resource files use are both made from the list. The
// program's own ids live in app/Resource.h.
#pragma once

// One id as the resource files name it.
struct CResourceId {
    const char* name;
    int id;
};

// From an X-macro list of X(name, value): the enum of the ids and the array
// `names` of their names.
#define AFX_RESOURCE_ENUM(name, value) name = (value),
#define AFX_RESOURCE_NAME(name, value) CResourceId{#name, (value)},
#define AFX_DECLARE_IDS(LIST, names)    \
    enum : int { LIST(AFX_RESOURCE_ENUM) }; \
    inline constexpr CResourceId names[] = {LIST(AFX_RESOURCE_NAME)}

#define AFX_STANDARD_IDS(X)                 \
    /* commands */                          \
    X(ID_FILE_NEW, 57600)                   \
    X(ID_FILE_OPEN, 57601)                  \
    X(ID_FILE_SAVE_AS, 57604)               \
    X(ID_FILE_PRINT_SETUP, 57606)           \
    X(ID_FILE_PRINT, 57607)                 \
    X(ID_FILE_PRINT_PREVIEW, 57609)         \
    X(ID_FILE_MRU_FIRST, 57616)             \
    X(ID_FILE_MRU_FILE1, 57616)             \
    X(ID_FILE_MRU_FILE2, 57617)             \
    X(ID_FILE_MRU_FILE3, 57618)             \
    X(ID_FILE_MRU_FILE4, 57619)             \
    X(ID_FILE_MRU_LAST, 57631)              \
    X(ID_EDIT_COPY, 57634)                  \
    X(ID_EDIT_SELECT_ALL, 57642)            \
    X(ID_APP_ABOUT, 57664)                  \
    X(ID_APP_EXIT, 57665)                   \
    X(ID_VIEW_TOOLBAR, 59392)               \
    X(ID_VIEW_STATUS_BAR, 59393)            \
    /* status bar panes */                  \
    X(ID_SEPARATOR, 0)                      \
    X(ID_INDICATOR_CAPS, 59137)             \
    X(ID_INDICATOR_NUM, 59138)              \
    X(ID_INDICATOR_SCRL, 59139)             \
    X(ID_INDICATOR_KANA, 59142)             \
    /* strings */                           \
    X(AFX_IDS_APP_TITLE, 57344)             \
    X(AFX_IDS_IDLEMESSAGE, 57345)           \
    X(AFX_IDS_OPENFILE, 61440)              \
    X(AFX_IDS_SAVEFILE, 61441)              \
    X(AFX_IDS_ALLFILTER, 61442)             \
    X(AFX_IDS_UNTITLED, 61443)              \
    X(AFX_IDS_PREVIEW_CLOSE, 61445)         \
    X(AFX_IDS_UNNAMED_FILE, 61446)          \
    X(AFX_IDP_FAILED_TO_OPEN_DOC, 61697)    \
    X(AFX_IDP_FAILED_TO_SAVE_DOC, 61698)    \
    X(AFX_IDP_FAILED_TO_CREATE_DOC, 61700)  \
    X(AFX_IDP_FILE_TOO_LARGE, 61701)        \
    X(AFX_IDP_FAILED_TO_START_PRINT, 61702) \
    X(AFX_IDS_UNREG_DONE, 61707)            \
    X(AFX_IDP_FAILED_INVALID_FORMAT, 61728) \
    X(AFX_IDP_FILE_GENERIC, 61857)          \
    X(AFX_IDP_FILE_NOT_FOUND, 61858)        \
    X(AFX_IDP_FILE_BAD_PATH, 61859)         \
    X(AFX_IDP_FILE_TOO_MANY_OPEN, 61860)    \
    X(AFX_IDP_FILE_ACCESS_DENIED, 61861)    \
    X(AFX_IDP_FILE_HARD_IO, 61866)          \
    X(AFX_IDP_FILE_DISKFULL, 61869)         \
    X(AFX_IDS_NO_PRINTER, 61888)

AFX_DECLARE_IDS(AFX_STANDARD_IDS, kAfxStandardIds);
