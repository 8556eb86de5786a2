#include "WinApp.h"

#include "Afx.h"
#include "CommandLineInfo.h"
#include "Document.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "SingleDocTemplate.h"
#include "UiSeam.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

#include <sys/stat.h>

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp()
{
    s_pApp = this;
    OnCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    OnCommand(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
    OnCommand(ID_APP_EXIT, [this] { OnAppExit(); });
    OnCommandRange(ID_FILE_MRU_FIRST, ID_FILE_MRU_LAST, [this](int id) { OnOpenRecentFile(id); });
    for (int id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id)
        OnUpdate(id, [this](CCmdUI& ui) { ui.Enable(m_recentFiles.GetCount() > 0); });
}

CWinApp::~CWinApp()
{
    m_pDocTemplate.reset();
    if (s_pApp == this)
        s_pApp = nullptr;
}

QString CWinApp::SettingsFileName(const QString& key, const QString& appName)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + key +
           u'/' + appName + QStringLiteral(".conf");
}

namespace {

// Far more than the settings ever take: a larger file is not ours, and
// reading it would slow every start and exit.
constexpr qint64 kMaxSettingsBytes = 1 << 20;

// Why the settings file cannot be used, or nothing when it can (or is absent).
const char* SettingsFileProblem(const QString& name)
{
    struct stat st {};
    if (::stat(QFile::encodeName(name).constData(), &st) != 0)
        return nullptr;
    // A pipe or device would hang the start or the exit.
    if (!S_ISREG(st.st_mode))
        return "is not a regular file";
    if (st.st_size > kMaxSettingsBytes)
        return "is larger than 1 MiB";
    return nullptr;
}

}  // namespace

std::unique_ptr<QSettings> CWinApp::OpenSettings()
{
    const QString name = SettingsFileName(m_strRegistryKey, m_strAppName);
    if (!m_bSettingsRefused) {
        const char* problem = SettingsFileProblem(name);
        if (!problem)
            return std::make_unique<QSettings>(name, QSettings::NativeFormat);
        std::fprintf(stderr, "%s: %s %s; default settings are used and none are saved.\n",
                     qPrintable(m_strAppName.toLower()), QFile::encodeName(name).constData(),
                     problem);
        m_bSettingsRefused = true;
        m_bSaveSettings = false;
    }
    // A file that can never exist: reads nothing, keeps nothing.
    return std::make_unique<QSettings>(QStringLiteral("/dev/null/refused.conf"),
                                       QSettings::NativeFormat);
}

void CWinApp::LoadStdProfileSettings(int mruSize)
{
    m_recentFiles = CRecentFileList(mruSize);
    auto settings = OpenSettings();
    m_recentFiles.ReadList(*settings);
    m_nNumPreviewPages = settings->value(QStringLiteral("Settings/PreviewPages"), 0).toInt();
    m_previewGeometry = settings->value(QStringLiteral("Window/PreviewGeometry")).toByteArray();
}

void CWinApp::SaveStdProfileSettings()
{
    auto settings = OpenSettings();
    // Another window may have stored its files since this one started.
    CRecentFileList stored(m_recentFiles.GetSize());
    stored.ReadList(*settings);
    m_recentFiles.Merge(stored);
    m_recentFiles.WriteList(*settings);
    if (m_nNumPreviewPages != 0)
        settings->setValue(QStringLiteral("Settings/PreviewPages"), m_nNumPreviewPages);
    if (!m_previewGeometry.isEmpty())
        settings->setValue(QStringLiteral("Window/PreviewGeometry"), m_previewGeometry);
    settings->sync();
}

int CWinApp::ExitInstance()
{
    if (m_bSaveSettings)
        SaveStdProfileSettings();
    return m_nExitCode;
}

int CWinApp::Run()
{
    const int rc = QApplication::exec();
    ExitInstance();
    return rc;
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate)
{
    m_pDocTemplate = std::move(docTemplate);
    if (m_pDocTemplate)
        m_pDocTemplate->SetAppContext(this);
}

CDocument* CWinApp::OpenDocumentFile(const QString& path)
{
    return m_pDocTemplate ? m_pDocTemplate->OpenDocumentFile(path) : nullptr;
}

void CWinApp::AddToRecentFileList(const QString& path)
{
    m_recentFiles.Add(path);
    if (m_pMainWnd)
        m_pMainWnd->UpdateRecentFileMenu();
}

void CWinApp::OnDocumentNamed(const QString& path, bool addToMru)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    m_strLastFolder = slash > 0 ? path.left(slash) : QStringLiteral("/");
    if (addToMru)
        AddToRecentFileList(path);
}

void CWinApp::OnDocumentTitleChanged()
{
    if (m_pMainWnd)
        m_pMainWnd->OnUpdateFrameTitle();
}

void CWinApp::OnFrameCreated(CFrameWnd* frame)
{
    if (!m_pMainWnd)
        m_pMainWnd = frame;
}

void CWinApp::OnFrameDestroyed(CFrameWnd* frame)
{
    if (m_pMainWnd == frame)
        m_pMainWnd = nullptr;
}

QPrinter& CWinApp::GetPrinter()
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_pPrinter;
}

bool CWinApp::Unregister(bool quiet)
{
    const QString file = SettingsFileName(m_strRegistryKey, m_strAppName);
    // What is not a settings file (a pipe, a huge file) is left alone.
    const bool removed = !SettingsFileProblem(file) && (QFile::remove(file) || !QFile::exists(file));
    // The settings key's folder goes too when nothing else is left in it.
    QDir().rmdir(QFileInfo(file).absolutePath());
    if (!removed)
        std::fprintf(stderr, "%s: %s was not removed.\n", qPrintable(m_strAppName.toLower()),
                     QFile::encodeName(file).constData());
    else if (!quiet)
        AfxMessageBox(AFX_IDS_UNREG_DONE);
    m_bSaveSettings = false;
    return false;
}

bool CWinApp::PrintFile(const CCommandLineInfo& info)
{
    m_nExitCode = 1;
    if (info.m_strFileName.isEmpty()) {
        std::fprintf(stderr, "%s: -p and -pt need the name of the file to print.\n",
                     qPrintable(m_strAppName.toLower()));
        return false;
    }
    if (!m_pDocTemplate)
        return false;
    CDocument* doc = m_pDocTemplate->OpenDocumentFile(info.m_strFileName);
    if (!doc || !doc->GetFirstView())
        return false;
    QPrinter& printer = GetPrinter();
    if (info.m_nShellCommand == CCommandLineInfo::FilePrintTo) {
        if (info.m_strPrinterName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(info.m_strPrinterName);
        } else if (QPrinterInfo::printerInfo(info.m_strPrinterName).isNull()) {
            // No such printer: Qt would quietly print to nowhere.
            AfxMessageBox(AFX_IDS_NO_PRINTER);
            return false;
        } else {
            printer.setPrinterName(info.m_strPrinterName);
        }
    } else if (QPrinterInfo::defaultPrinter().isNull()) {
        AfxMessageBox(AFX_IDS_NO_PRINTER);
        return false;
    }
    const QString failure = doc->GetFirstView()->PrintDocument(printer);
    if (!failure.isEmpty()) {
        AfxMessageBox(failure);
        return false;
    }
    m_nExitCode = 0;
    return false;
}

bool CWinApp::ProcessShellCommand(const CCommandLineInfo& info)
{
    m_nExitCode = 0;
    switch (info.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
        if (!OpenDocumentFile(QString())) {
            m_nExitCode = 1;
            return false;
        }
        return true;
    case CCommandLineInfo::FileOpen:
        if (!OpenDocumentFile(info.m_strFileName)) {
            m_nExitCode = 1;
            return false;
        }
        return true;
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo:
        return PrintFile(info);
    case CCommandLineInfo::AppUnregister:
        return Unregister(info.m_bRunEmbedded);
    case CCommandLineInfo::FileDDE:
        // No shell sends requests here: nothing to serve, no window.
        std::fprintf(stderr, "%s: -dde: DDE is not used on this platform.\n",
                     qPrintable(m_strAppName.toLower()));
        return false;
    case CCommandLineInfo::ShowHelp:
    case CCommandLineInfo::ShowVersion:
        return false;
    }
    return false;
}

void CWinApp::OnFileNew()
{
    OpenDocumentFile(QString());
}

void CWinApp::OnFileOpen()
{
    // The document's folder, or the last one used: every name the document
    // takes sets it (CDocument::SetPathName).
    const auto path = CUiSeam::Get().GetOpenFileName(
        m_pMainWnd, AfxLoadString(AFX_IDS_OPENFILE), AfxLoadString(AFX_IDS_ALLFILTER), m_strLastFolder);
    if (path && !path->isEmpty())
        OpenDocumentFile(*path);
}

void CWinApp::OnFilePrintSetup()
{
    QPageSetupDialog dialog(&GetPrinter(), m_pMainWnd);
    CUiSeam::Get().DoModal(dialog);
}

void CWinApp::OnAppExit()
{
    if (m_pMainWnd)
        m_pMainWnd->close();
    QApplication::quit();
}

void CWinApp::OnOpenRecentFile(int id)
{
    const int index = id - ID_FILE_MRU_FIRST;
    const QString path = m_recentFiles[index];
    if (path.isEmpty())
        return;
    // An entry that no longer opens leaves the list.
    if (!OpenDocumentFile(path)) {
        m_recentFiles.Remove(index);
        if (m_pMainWnd)
            m_pMainWnd->UpdateRecentFileMenu();
    }
}
