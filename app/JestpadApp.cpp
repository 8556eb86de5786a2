#include "JestpadApp.h"

#include "Afx.h"
#include "CommandLineInfo.h"
#include "FrameWnd.h"
#include "JestpadDoc.h"
#include "JestpadView.h"
#include "MainFrm.h"
#include "NativePath.h"
#include "Resource.h"
#include "SingleDocTemplate.h"
#include "UiSeam.h"
#include "Version.h"
#include "ui_AboutDlg.h"

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPixmap>
#include <QSettings>
#include <QTranslator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// While -p or -pt runs: every message also goes to standard error, so that a
// script sees why it failed; the box itself only when someone can close it.
class CPrintRunSeam : public CUiSeam {
public:
    explicit CPrintRunSeam(bool showBoxes) : m_inner(CUiSeam::Get()), m_bShowBoxes(showBoxes)
    {
        CUiSeam::Set(this);
    }
    ~CPrintRunSeam() override { CUiSeam::Set(&m_inner); }
    CPrintRunSeam(const CPrintRunSeam&) = delete;
    CPrintRunSeam& operator=(const CPrintRunSeam&) = delete;

    void MessageBox(QWidget* parent, const QString& text) override
    {
        std::fprintf(stderr, "jestpad: %s\n", text.toUtf8().constData());
        std::fflush(stderr);
        if (m_bShowBoxes)
            m_inner.MessageBox(parent, text);
    }
    bool AskYesNo(QWidget* parent, const QString& text) override
    {
        return m_inner.AskYesNo(parent, text);
    }
    int DoModal(QDialog& dialog) override { return m_inner.DoModal(dialog); }
    std::optional<QString> GetOpenFileName(QWidget* parent, const QString& title,
                                           const QString& filter, const QString& start) override
    {
        return m_inner.GetOpenFileName(parent, title, filter, start);
    }
    std::optional<QString> GetSaveFileName(QWidget* parent, const QString& title,
                                           const QString& filter, const QString& start) override
    {
        return m_inner.GetSaveFileName(parent, title, filter, start);
    }
    std::optional<QString> GetAnyFileName(QWidget* parent, const QString& title, const QStringList& places) override
    {
        return m_inner.GetAnyFileName(parent, title, places);
    }
    std::optional<QFont> GetFont(QWidget* parent, const QFont& initial) override
    {
        return m_inner.GetFont(parent, initial);
    }
    bool RunPrintDialog(QWidget* parent, QPrinter& printer) override
    {
        return m_inner.RunPrintDialog(parent, printer);
    }
    std::time_t Now() override { return m_inner.Now(); }

private:
    CUiSeam& m_inner;
    bool m_bShowBoxes;
};

bool PrintsOnly(const CCommandLineInfo& info)
{
    return info.m_nShellCommand == CCommandLineInfo::FilePrint ||
           info.m_nShellCommand == CCommandLineInfo::FilePrintTo;
}

}  // namespace

CJestpadApp::CJestpadApp()
{
    LoadResources();
    m_strAppName = AfxLoadString(AFX_IDS_APP_TITLE);
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
}

CJestpadApp::~CJestpadApp() = default;

void CJestpadApp::LoadResources()
{
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    Q_INIT_RESOURCE(jestpad);
    // Qt's own dialogs would keep their history in ~/.config/QtProject.conf:
    // send it to a folder that cannot exist, so that nothing is written.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    AfxAddResourceIds(kJestpadIds);
    // The strings are part of the program: a table that does not load is a
    // fault of the build, not of the user's input.
    QString error;
    if (!AfxLoadStringTable(QString::fromLatin1(kStringTablePath), &error))
        qFatal("%s", qPrintable(error));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // Qt's own dialogs (file, font, print) in Japanese.
    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    // The Windows font names of the resources, on the installed IPA fonts.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"),
                               {QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")});
}

bool CJestpadApp::InitInstance(const QStringList& args)
{
    CCommandLineInfo cmdInfo;
    cmdInfo.Parse(args);
    for (const QString& flag : std::as_const(cmdInfo.m_unknownSwitches))
        std::fprintf(stderr, "jestpad: unknown switch %s ignored\n", PathToNative(flag).constData());
    for (const QString& arg : std::as_const(cmdInfo.m_extraArguments))
        std::fprintf(stderr, "jestpad: extra argument %s ignored\n", PathToNative(arg).constData());
    if (cmdInfo.m_nShellCommand == CCommandLineInfo::ShowHelp ||
        cmdInfo.m_nShellCommand == CCommandLineInfo::ShowVersion) {
        const QByteArray text =
            cmdInfo.m_nShellCommand == CCommandLineInfo::ShowHelp
                ? AfxLoadString(IDS_USAGE).toUtf8()
                : AfxFormatString(IDS_VERSION_TEXT, {QStringLiteral(JESTPAD_VERSION)}).toUtf8() + '\n';
        // A full disk or a closed output is an error, as in jestcat.
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
        if (!written)
            std::fprintf(stderr, "%s: write error: %s\n", qPrintable(m_strAppName.toLower()),
                         std::strerror(errno));
        m_nExitCode = written ? 0 : 1;
        m_bSaveSettings = false;
        return false;
    }

    SetRegistryKey(kSettingsKey);
    LoadStdProfileSettings(4);

    AddDocTemplate(std::make_unique<CSingleDocTemplate>(
        AfxLoadString(IDR_MAINFRAME), QString::fromLatin1(kMainFrameResourcePath),
        [] { return new CJestpadDoc; }, [] { return new CMainFrame; },
        [] { return new CJestpadView; }));

    if (PrintsOnly(cmdInfo)) {
        CPrintRunSeam seam(m_bInteractive);
        return ProcessShellCommand(cmdInfo);
    }
    if (!ProcessShellCommand(cmdInfo))
        return false;
    if (!m_pMainWnd)
        return false;
    {
        auto settings = OpenSettings();
        if (CMainFrame* frame = GetMainFrame())
            frame->RestoreLayout(*settings);
        if (CJestpadView* view = GetView())
            view->RestoreFont(*settings);
    }
    m_pMainWnd->show();
    m_pMainWnd->update();
    return true;
}

int CJestpadApp::ExitInstance()
{
    // Only a window that was shown has a layout of the user's (not -p).
    CMainFrame* frame = GetMainFrame();
    if (m_bSaveSettings && frame && frame->WasShown()) {
        auto settings = OpenSettings();
        frame->SaveLayout(*settings);
        if (CJestpadView* view = GetView())
            view->SaveFont(*settings);
    }
    return CWinApp::ExitInstance();
}

void CJestpadApp::OnAppAbout()
{
    // Caption with a close button, system menu, fixed frame.
    QDialog dialog(m_pMainWnd, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    Ui::AboutDlg ui;
    ui.setupUi(&dialog);
    ui.icon->setPixmap(QPixmap(QString::fromLatin1(kProgramIconPath)));
    ui.text->setText(AfxFormatString(IDS_VERSION_TEXT, {QStringLiteral(JESTPAD_VERSION)}));
    CUiSeam::Get().DoModal(dialog);
}

QString CJestpadApp::SettingsFileName()
{
    LoadResources();
    return CWinApp::SettingsFileName(kSettingsKey, AfxLoadString(AFX_IDS_APP_TITLE));
}

CJestpadDoc* CJestpadApp::GetDocument() const
{
    return m_pDocTemplate ? static_cast<CJestpadDoc*>(m_pDocTemplate->GetDocument()) : nullptr;
}

CJestpadView* CJestpadApp::GetView() const
{
    CJestpadDoc* doc = GetDocument();
    return doc ? doc->GetJestpadView() : nullptr;
}

CMainFrame* CJestpadApp::GetMainFrame() const
{
    return m_pDocTemplate ? static_cast<CMainFrame*>(m_pDocTemplate->GetFrame()) : nullptr;
}
