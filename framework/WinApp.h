// Application object: settings store, recent-file list, the one document
// template, the command line and the application's standard commands.
#pragma once

#include "CmdTarget.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CDocument;
class CEditView;
class CFrameWnd;
class QPrinter;
class QSettings;

// The last files opened or saved, newest first.
class CRecentFileList {
public:
    explicit CRecentFileList(int size = 4) : m_nSize(size) {}

    int GetSize() const { return m_nSize; }
    int GetCount() const { return static_cast<int>(m_arrNames.size()); }
    QString operator[](int i) const { return m_arrNames.value(i); }
    // Puts the path first; an entry already there moves up, the oldest drops out.
    void Add(const QString& path);
    void Remove(int index);
    // Menu text "&<n> <shortened path>" with every "&" of the path doubled.
    QString GetMenuText(int index) const;
    // A file in the current folder without its folder; then, when longer than
    // maxLength, "/.../" and as many trailing folders as fit, at least the name;
    // a name longer than twice maxLength keeps its start and end around "...".
    static QString AbbreviateName(const QString& path, int maxLength, const QString& currentDir);

    void ReadList(QSettings& settings);
    // Clears the section, then writes the non-empty entries.
    void WriteList(QSettings& settings) const;

private:
    QStringList m_arrNames;
    int m_nSize;
};

// One document, one frame, one view, created once and reused.
class CSingleDocTemplate {
public:
    using DocFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CFrameWnd*()>;
    using ViewFactory = std::function<CEditView*()>;

    // templateString: the seven "\n"-separated fields; the first is the
    // frame's title. resourcePath: menus, accelerators and tool bar.
    CSingleDocTemplate(const QString& templateString, const QString& resourcePath,
                       DocFactory doc, FrameFactory frame, ViewFactory view);
    ~CSingleDocTemplate();

    // Empty path: a new document. Returns nullptr after a reported failure.
    CDocument* OpenDocumentFile(const QString& path);
    CDocument* GetDocument() const { return m_pDocument.get(); }
    CFrameWnd* GetFrame() const { return m_pFrame.get(); }

private:
    bool CreateFrame();
    void DestroyFrame();
    void SetDefaultTitle();

    QStringList m_fields;
    QString m_strResourcePath;
    DocFactory m_docFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    std::unique_ptr<CDocument> m_pDocument;
    std::unique_ptr<CFrameWnd> m_pFrame;
};

// What the command line asks for.
struct CCommandLineInfo {
    enum ShellCommand { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppUnregister,
                        ShowHelp, ShowVersion };
    ShellCommand m_nShellCommand = FileNew;
    QString m_strFileName;
    QString m_strPrinterName;
    QString m_strDriverName;
    QString m_strPortName;
    bool m_bRunEmbedded = false;

    // Switches begin with "-" (a path begins with "/"). "p", "pt" and "dde"
    // are exact; "Unregister", "Unregserver" and "Embedding" ignore case;
    // other switches ("Automation" among them) are ignored. "--" ends the
    // switches.
    void Parse(const QStringList& args);

private:
    void ParseSwitch(const QString& flag);
};

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
