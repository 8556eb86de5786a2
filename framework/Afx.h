// Global services of the framework: the string table, message boxes and the
// application and main window in force.
#pragma once

#include "AfxRes.h"

#include <QString>

class CWinApp;
class CFrameWnd;
class QWidget;

// Reads a string table (UTF-8 lines "id<TAB>text"; "\n", "\t" and "\\" are
// escapes; lines starting with "#" are comments) and adds its strings to the
// table in force. Returns false when the file cannot be read.
bool AfxLoadStringTable(const QString& path);
// The string of that id; empty when the table has none.
QString AfxLoadString(int id);
// The string of that id with %1 replaced by arg.
QString AfxFormatString1(int id, const QString& arg);

CWinApp* AfxGetApp();
// The application's main window, or nullptr while there is none.
CFrameWnd* AfxGetMainWnd();

// Modal message box through the dialog seam, parented to the main window.
void AfxMessageBox(const QString& text);
void AfxMessageBox(int stringId);
