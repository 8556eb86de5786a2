// Global services of the framework: the string table, message boxes and the
// application and main window in force.
#pragma once

#include "AfxRes.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

class CWinApp;
class CFrameWnd;
class QWidget;

// Adds a layer's ids to the names that the resource files may use; the
// framework's standard ids are always there.
void AfxAddResourceIds(std::span<const CResourceId> ids);
// The id that a resource file means by name; nothing for an unknown name.
std::optional<int> AfxLookupResourceId(QStringView name);

// Reads a string table (UTF-8 lines "NAME<TAB>text" with a name from the id
// lists; "\n", "\t" and "\\" are escapes; lines starting with "#" are
// comments) and adds its strings to the table in force. Returns false, with
// the reason in *error, when the file cannot be read or a line is not such a
// line.
bool AfxLoadStringTable(const QString& path, QString* error = nullptr);
// The string of that id; empty when the table has none.
QString AfxLoadString(int id);
// The pattern with %1 .. %9 replaced by args[0] .. args[8], in one pass (an
// argument's own "%2" stays as it is); a number without an argument stays.
QString AfxFormatMessage(QStringView pattern, const QStringList& args);
// AfxFormatMessage on the string of that id: every worded message.
QString AfxFormatString(int id, const QStringList& args);

CWinApp* AfxGetApp();
// The application's main window, or nullptr while there is none.
CFrameWnd* AfxGetMainWnd();

// Modal message box through the dialog seam, parented to the main window.
void AfxMessageBox(const QString& text);
void AfxMessageBox(int stringId);
