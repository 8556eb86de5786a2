#include "UiSeam.h"

#include "Afx.h"

#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace {
CUiSeam g_defaultSeam;
CUiSeam* g_pSeam = &g_defaultSeam;

// "(*.*)" shown as is, but matching every name, dotted or not: Qt uses the last
// parenthesised pattern and hides the patterns from the user.
QString QtFilter(const QString& filter)
{
    if (filter.endsWith(QStringLiteral("(*.*)")))
        return filter + QStringLiteral(" (*)");
    return filter;
}
}  // namespace

void CUiSeam::MessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, AfxLoadString(AFX_IDS_APP_TITLE), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool CUiSeam::AskYesNo(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, AfxLoadString(AFX_IDS_APP_TITLE), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int CUiSeam::DoModal(QDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted ? 1 : 2;
}

std::optional<QString> CUiSeam::GetOpenFileName(QWidget* parent, const QString& title,
                                                const QString& filter, const QString& start)
{
    const QString path = QFileDialog::getOpenFileName(parent, title, start, QtFilter(filter),
                                                      nullptr, QFileDialog::HideNameFilterDetails);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> CUiSeam::GetSaveFileName(QWidget* parent, const QString& title,
                                                const QString& filter, const QString& start)
{
    const QString path = QFileDialog::getSaveFileName(parent, title, start, QtFilter(filter),
                                                      nullptr, QFileDialog::HideNameFilterDetails);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> CUiSeam::GetAnyFileName(QWidget* parent, const QString& title,
                                               const QStringList& places)
{
    // Qt's own dialog, so that the file-type row can be taken away.
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    QList<QUrl> sidebar = dialog.sidebarUrls();
    for (const QString& place : places)
        sidebar.append(QUrl::fromLocalFile(place));
    dialog.setSidebarUrls(sidebar);
    for (const char* name : {"fileTypeCombo", "fileTypeLabel"}) {
        if (QWidget* row = dialog.findChild<QWidget*>(QLatin1String(name)))
            row->hide();
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QFont> CUiSeam::GetFont(QWidget* parent, const QFont& initial)
{
    // The dialog lists installed families only: start it on the family that
    // the given name resolves to (a substituted name would not be found).
    QFont start = initial;
    start.setFamily(QFontInfo(initial).family());
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, start, parent);
    if (!ok)
        return std::nullopt;
    return font;
}

bool CUiSeam::RunPrintDialog(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

std::time_t CUiSeam::Now()
{
    return std::time(nullptr);
}

CUiSeam& CUiSeam::Get()
{
    return *g_pSeam;
}

void CUiSeam::Set(CUiSeam* seam)
{
    g_pSeam = seam ? seam : &g_defaultSeam;
}
