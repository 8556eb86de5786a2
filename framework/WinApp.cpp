#include "WinApp.h"

#include "Afx.h"
#include "Document.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "NativePath.h"
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

#include <algorithm>
#include <climits>
#include <cstdio>

#include <sys/stat.h>

// ---- recent-file list -------------------------------------------------------

void CRecentFileList::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    m_arrNames.removeAll(path);
    m_arrNames.prepend(path);
    while (m_arrNames.size() > m_nSize)
        m_arrNames.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_arrNames.size())
        m_arrNames.removeAt(index);
}

QString CRecentFileList::AbbreviateName(const QString& path, int maxLength,
                                        const QString& currentDir)
{
    QString name = path;
    QString dir = currentDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    if (name.startsWith(dir) && name.indexOf(u'/', dir.size()) < 0)
        name = name.mid(dir.size());
    if (name.size() <= maxLength)
        return name;
    const QString fileName = name.mid(name.lastIndexOf(u'/') + 1);
    const QString head = QStringLiteral("/...");
    QString tail = u'/' + fileName;
    // A name far too long even alone (up to 255 bytes) keeps its start and
    // its end, so that the menu stays on screen.
    if (fileName.size() > 2 * maxLength) {
        const QString dots = QStringLiteral("...");
        const qsizetype keep = std::max<qsizetype>(2 * maxLength - dots.size(), 2);
        return fileName.left(keep - keep / 2) + dots + fileName.right(keep / 2);
    }
    if (head.size() + tail.size() > maxLength)
        return fileName;
    // Add trailing folders while the result still fits.
    QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    parts.removeLast();
    while (!parts.isEmpty()) {
        const QString longer = u'/' + parts.last() + tail;
        if (head.size() + longer.size() > maxLength)
            break;
        tail = longer;
        parts.removeLast();
    }
    return head + tail;
}

QString CRecentFileList::GetMenuText(int index) const
{
    QString name = AbbreviateName(PathForDisplay(m_arrNames.value(index)), 30,
                                  QDir::currentPath());
    name.replace(QStringLiteral("&"), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(name);
}

void CRecentFileList::ReadList(QSettings& settings)
{
    m_arrNames.clear();
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= m_nSize; ++i) {
        const QVariant value = settings.value(QStringLiteral("File%1").arg(i));
        // Names that are not UTF-8 are kept as their bytes.
        const QString name = value.typeId() == QMetaType::QByteArray
                                 ? PathFromNative(value.toByteArray())
                                 : value.toString();
        // An entry no file name can be (beyond PATH_MAX) is dropped.
        if (!name.isEmpty() && PathToNative(name).size() < PATH_MAX &&
            !m_arrNames.contains(name))
            m_arrNames.append(name);
    }
    settings.endGroup();
}

void CRecentFileList::WriteList(QSettings& settings) const
{
    settings.remove(QStringLiteral("Recent File List"));
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 0; i < m_arrNames.size(); ++i) {
        if (m_arrNames[i].isEmpty())
            continue;
        const QString key = QStringLiteral("File%1").arg(i + 1);
        if (PathHasRawBytes(m_arrNames[i]))
            settings.setValue(key, PathToNative(m_arrNames[i]));
        else
            settings.setValue(key, m_arrNames[i]);
    }
    settings.endGroup();
}

// ---- document template ----------------------------------------------------

CSingleDocTemplate::CSingleDocTemplate(const QString& templateString, const QString& resourcePath,
                                       DocFactory doc, FrameFactory frame, ViewFactory view)
    : m_fields(templateString.split(u'\n')),
      m_strResourcePath(resourcePath),
      m_docFactory(std::move(doc)),
      m_frameFactory(std::move(frame)),
      m_viewFactory(std::move(view))
{
}

CSingleDocTemplate::~CSingleDocTemplate()
{
    DestroyFrame();
}

void CSingleDocTemplate::DestroyFrame()
{
    if (CWinApp::s_pApp && CWinApp::s_pApp->m_pMainWnd == m_pFrame.get())
        CWinApp::s_pApp->m_pMainWnd = nullptr;
    m_pFrame.reset();
    m_pDocument.reset();
}

bool CSingleDocTemplate::CreateFrame()
{
    m_pDocument.reset(m_docFactory());
    m_pFrame.reset(m_frameFactory());
    CEditView* view = m_viewFactory();
    view->Attach(m_pDocument.get(), m_pFrame.get());
    m_pFrame->SetDocument(m_pDocument.get());
    m_pFrame->SetView(view);
    if (CWinApp::s_pApp && !CWinApp::s_pApp->m_pMainWnd)
        CWinApp::s_pApp->m_pMainWnd = m_pFrame.get();
    if (!m_pFrame->LoadFrame(m_strResourcePath, m_fields.value(0))) {
        DestroyFrame();
        AfxMessageBox(AFX_IDP_FAILED_TO_CREATE_DOC);
        return false;
    }
    return true;
}

void CSingleDocTemplate::SetDefaultTitle()
{
    const QString name = m_fields.value(1);
    m_pDocument->SetTitle(name.isEmpty() ? AfxLoadString(AFX_IDS_UNTITLED) : name);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const QString& path)
{
    bool created = false;
    if (!m_pDocument) {
        if (!CreateFrame())
            return nullptr;
        created = true;
    }
    CDocument* doc = m_pDocument.get();
    if (path.isEmpty()) {
        SetDefaultTitle();
        if (!doc->OnNewDocument()) {
            if (created)
                DestroyFrame();
            return nullptr;
        }
    } else {
        if (!doc->OnOpenDocument(path)) {
            // A failed open leaves the document as it was: text, name, all.
            if (created)
                DestroyFrame();
            return nullptr;
        }
        doc->SetPathName(path);
    }
    // The view's initial update, once the document operation has returned.
    if (CEditView* view = doc->GetFirstView())
        view->OnInitialUpdate();
    m_pFrame->OnUpdateFrameTitle();
    m_pFrame->UpdateCmdUI();
    return doc;
}

// ---- command line -----------------------------------------------------------

void CCommandLineInfo::ParseSwitch(const QString& flag)
{
    if (flag == u"pt")
        m_nShellCommand = FilePrintTo;
    else if (flag == u"p")
        m_nShellCommand = FilePrint;
    else if (flag.compare(u"Unregister", Qt::CaseInsensitive) == 0 ||
             flag.compare(u"Unregserver", Qt::CaseInsensitive) == 0)
        m_nShellCommand = AppUnregister;
    else if (flag == u"dde")
        m_nShellCommand = FileDDE;
    else if (flag.compare(u"Embedding", Qt::CaseInsensitive) == 0)
        m_bRunEmbedded = true;
}

void CCommandLineInfo::Parse(const QStringList& args)
{
    bool switchesEnded = false;
    for (const QString& arg : args) {
        if (!switchesEnded) {
            // "--" ends the switches, so that a file named "-x" can be opened.
            if (arg == u"--") {
                switchesEnded = true;
                continue;
            }
            if (arg == u"--help") {
                m_nShellCommand = ShowHelp;
                return;
            }
            if (arg == u"--version") {
                m_nShellCommand = ShowVersion;
                return;
            }
            if (arg.size() > 1 && arg.startsWith(u'-')) {
                ParseSwitch(arg.mid(1));
                continue;
            }
        }
        if (m_strFileName.isEmpty())
            m_strFileName = arg;
        else if (m_nShellCommand == FilePrintTo && m_strPrinterName.isEmpty())
            m_strPrinterName = arg;
        else if (m_nShellCommand == FilePrintTo && m_strDriverName.isEmpty())
            m_strDriverName = arg;
        else if (m_nShellCommand == FilePrintTo && m_strPortName.isEmpty())
            m_strPortName = arg;
    }
    if (m_nShellCommand == FileNew && !m_strFileName.isEmpty())
        m_nShellCommand = FileOpen;
}

// ---- application --------------------------------------------------------------

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

std::unique_ptr<QSettings> CWinApp::OpenSettings() const
{
    return std::make_unique<QSettings>(m_strRegistryKey, m_strAppName);
}

bool CWinApp::SettingsStoreUsable()
{
    // QSettings reads the application's file and the settings key's own.
    const QString base =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/';
    for (const QString& name : QStringList{base + m_strRegistryKey + u'/' + m_strAppName + QStringLiteral(".conf"),
                                base + m_strRegistryKey + QStringLiteral(".conf")}) {
        struct stat st {};
        if (::stat(QFile::encodeName(name).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
            // A pipe or device would hang the start or the exit.
            std::fprintf(stderr,
                         "%s: %s is not a regular file; starting with default settings, "
                         "which will not be saved.\n",
                         qPrintable(m_strAppName.toLower()), qPrintable(name));
            return false;
        }
    }
    return true;
}

void CWinApp::LoadStdProfileSettings(int mruSize)
{
    m_recentFiles = CRecentFileList(mruSize);
    if (!SettingsStoreUsable()) {
        m_bSaveSettings = false;
        return;
    }
    auto settings = OpenSettings();
    m_recentFiles.ReadList(*settings);
    m_nNumPreviewPages = settings->value(QStringLiteral("Settings/PreviewPages"), 0).toInt();
}

void CWinApp::SaveStdProfileSettings()
{
    auto settings = OpenSettings();
    m_recentFiles.WriteList(*settings);
    if (m_nNumPreviewPages != 0)
        settings->setValue(QStringLiteral("Settings/PreviewPages"), m_nNumPreviewPages);
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

QPrinter& CWinApp::GetPrinter()
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_pPrinter;
}

bool CWinApp::Unregister(bool quiet)
{
    if (SettingsStoreUsable()) {
        auto settings = OpenSettings();
        const QString file = settings->fileName();
        settings->clear();
        settings->sync();
        QFile::remove(file);
        // The settings key's folder goes too when nothing else is left in it.
        QDir().rmdir(QFileInfo(file).absolutePath());
    }
    if (!quiet)
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
