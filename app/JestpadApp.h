// The Jestpad application object: start-up and the about box.
#pragma once

#include "WinApp.h"

class CJestpadDoc;
class CJestpadView;
class CMainFrame;

class CJestpadApp : public CWinApp {
public:
    // The settings key: the folder of the settings file under ~/.config.
    static inline const QString kSettingsKey = QStringLiteral("Local AppWizard-Generated Applications");
    // ~/.config/<settings key>/Jestpad.conf
    static QString SettingsFileName();

    CJestpadApp();
    ~CJestpadApp() override;

    // args: the command line without the program's name.
    bool InitInstance(const QStringList& args) override;
    // Also keeps the window's layout and the view's font for the next run.
    int ExitInstance() override;
    void OnAppAbout();

    CJestpadDoc* GetDocument() const;
    CJestpadView* GetView() const;
    CMainFrame* GetMainFrame() const;

    // Loads strings, Japanese translations and font names once per process.
    static void LoadResources();

    // False when nobody may be there to close a message box (standard input
    // is not a terminal): then -p and -pt show none, as they print no window.
    bool m_bInteractive = true;
};
