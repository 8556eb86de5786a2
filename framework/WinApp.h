// Application object: settings store, recent-file list, the one document
// template, carrying out the command line and the application's standard
// commands.
#pragma once

#include "CmdTarget.h"
#include "CommandLineInfo.h"
#include "RecentFileList.h"
#include "SingleDocTemplate.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CDocument;
class CEditView;
class CFrameWnd;
class QPrinter;
class QSettings;

class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;

    static CWinApp* s_pApp;

    // Start-up; false ends the program at once with m_nExitCode.
    virtual bool InitInstance(const QStringList& args) = 0;
    // Writes the settings back (not after unregistering).
    virtual int ExitInstance();
    // Runs the message loop, then ExitInstance.
    int Run();

    void SetRegistryKey(const QString& key) { m_strRegistryKey = key; }
    void LoadStdProfileSettings(int mruSize);
    void SaveStdProfileSettings();
    std::unique_ptr<QSettings> OpenSettings() const;
    // False (with a note on stderr) when a settings file exists but is not a
    // regular file: then defaults are used and nothing is written back.
    bool SettingsStoreUsable();

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate);
    CDocument* OpenDocumentFile(const QString& path);
    void AddToRecentFileList(const QString& path);
    const CRecentFileList& GetRecentFileList() const { return m_recentFiles; }
    QPrinter& GetPrinter();

    // Carries out the command line; false ends the program.
    bool ProcessShellCommand(const CCommandLineInfo& info);

    // The framework's application commands.
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppExit();
    void OnOpenRecentFile(int id);

    CFrameWnd* m_pMainWnd = nullptr;
    QString m_strAppName;
    int m_nNumPreviewPages = 0;
    // Size and place of the print preview (QWidget::saveGeometry), empty
    // until one was shown; kept as "Window/PreviewGeometry".
    QByteArray m_previewGeometry;
    int m_nExitCode = 0;
    // Folder of the file last opened or saved in this run (the document's,
    // while it has one); 開く starts there.
    QString m_strLastFolder;

protected:
    bool Unregister(bool quiet);
    bool PrintFile(const CCommandLineInfo& info);

    QString m_strRegistryKey;
    bool m_bSaveSettings = true;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
    std::unique_ptr<QPrinter> m_pPrinter;
};
