// Application object: settings store, recent-file list, the one document
// template, carrying out the command line and the application's standard
// commands.
#pragma once

#include "AppContext.h"
#include "CmdTarget.h"
#include "RecentFileList.h"

#include <QString>
#include <QStringList>

#include <memory>

class CDocument;
class CFrameWnd;
class CSingleDocTemplate;
class QPrinter;
class QSettings;
struct CCommandLineInfo;

class CWinApp : public CCmdTarget, public CAppContext {
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
    // The one way to the settings store. A settings file that is not a
    // regular file or is far too large is refused (with a note on stderr):
    // then this and every later call give an empty store that keeps nothing.
    std::unique_ptr<QSettings> OpenSettings();
    // The settings file of the given settings key and application.
    static QString SettingsFileName(const QString& key, const QString& appName);

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate);
    CDocument* OpenDocumentFile(const QString& path);
    void AddToRecentFileList(const QString& path);
    // The main window: the first frame made, while it lasts.
    CFrameWnd* GetMainWnd() const { return m_pMainWnd; }

    // What the document, frame and view use of the application.
    QString GetAppName() const override { return m_strAppName; }
    void OnDocumentNamed(const QString& path, bool addToMru) override;
    QString GetLastFolder() const override { return m_strLastFolder; }
    void OnDocumentTitleChanged() override;
    const CRecentFileList& GetRecentFileList() const override { return m_recentFiles; }
    CCmdTarget* GetCommandTarget() override { return this; }
    void OnFrameCreated(CFrameWnd* frame) override;
    void OnFrameDestroyed(CFrameWnd* frame) override;
    QPrinter& GetPrinter() override;
    int GetPreviewPages() const override { return m_nNumPreviewPages; }
    void SetPreviewPages(int pages) override { m_nNumPreviewPages = pages; }
    QByteArray GetPreviewGeometry() const override { return m_previewGeometry; }
    void SetPreviewGeometry(const QByteArray& geometry) override { m_previewGeometry = geometry; }

    // Carries out the command line; false ends the program.
    bool ProcessShellCommand(const CCommandLineInfo& info);

    // The framework's application commands.
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppExit();
    void OnOpenRecentFile(int id);

    QString m_strAppName;
    int m_nExitCode = 0;

protected:
    bool Unregister(bool quiet);
    bool PrintFile(const CCommandLineInfo& info);

    QString m_strRegistryKey;
    bool m_bSaveSettings = true;
    bool m_bSettingsRefused = false;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
    std::unique_ptr<QPrinter> m_pPrinter;
    CFrameWnd* m_pMainWnd = nullptr;

private:
    int m_nNumPreviewPages = 0;
    // Size and place of the print preview (QWidget::saveGeometry), empty
    // until one was shown; kept as "Window/PreviewGeometry".
    QByteArray m_previewGeometry;
    // Folder of the file last opened or saved in this run (the document's,
    // while it has one); 開く starts there.
    QString m_strLastFolder;
};
