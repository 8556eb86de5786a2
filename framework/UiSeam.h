// Every modal interaction with the user, and the clock that seeds the
// generator, pass through one seam, so that tests can answer them without a
// person. The default seam shows real Qt dialogs; a test installs its own.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <ctime>
#include <optional>

class QDialog;
class QWidget;
class QPrinter;

class CUiSeam {
public:
    virtual ~CUiSeam() = default;

    // Modal message box: the text, an OK button, the warning (exclamation)
    // icon, the application title (AFX_IDS_APP_TITLE) as caption.
    virtual void MessageBox(QWidget* parent, const QString& text);
    // Modal question with Yes and No buttons, the question icon and the same
    // caption: true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text);

    // Runs a modal dialog (about box, settings dialog, print preview, ...)
    // and returns 1 for OK (QDialog::Accepted) or 2 for cancel.
    virtual int DoModal(QDialog& dialog);

    // File dialogs: the chosen full path, or nothing when cancelled.
    // filter is a name filter ("<description> (*.*)"), empty for none. start is
    // the folder to start in, or a file path whose name is proposed; empty
    // for the platform's default.
    virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QString& title,
                                                   const QString& filter, const QString& start);
    virtual std::optional<QString> GetSaveFileName(QWidget* parent, const QString& title,
                                                   const QString& filter, const QString& start);
    // File-open dialog without file types that takes a name that does not
    // exist as well (the rule file's ロード...); places are folders offered
    // beside the usual ones.
    virtual std::optional<QString> GetAnyFileName(QWidget* parent, const QString& title,
                                                  const QStringList& places = {});

    // Font dialog with strike-out and underline: the chosen font, or nothing.
    virtual std::optional<QFont> GetFont(QWidget* parent, const QFont& initial);

    // Print dialog on the given printer: true when the user chose to print.
    virtual bool RunPrintDialog(QWidget* parent, QPrinter& printer);

    // The clock, in whole seconds since 1970-01-01 00:00:00 UTC.
    virtual std::time_t Now();

    // The seam in force. Set(nullptr) restores the default one.
    static CUiSeam& Get();
    static void Set(CUiSeam* seam);
};
