// Starts the whole Jestpad program inside a test, the way main() does, and
// hands out its document, view and frame. Needs a QApplication (QTEST_MAIN)
// and, to keep the user's settings untouched, PrepareTestSettings() first.
#pragma once

#include "JestpadApp.h"
#include "JestpadDoc.h"
#include "JestpadView.h"
#include "MainFrm.h"
#include "Rewrite.h"
#include "RuleSet.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <ctime>
#include <memory>

// Settings go to Qt's test location under a temporary HOME (set by ctest);
// this also empties them so that every test starts from none.
inline void PrepareTestSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings settings(CJestpadApp::SettingsFileName(), QSettings::NativeFormat);
    settings.clear();
    settings.sync();
}

struct CJestpadHarness {
    std::unique_ptr<CJestpadApp> app;
    bool started = false;  // InitInstance's result

    CJestpadDoc* doc() const { return app->GetDocument(); }
    CJestpadView* view() const { return app->GetView(); }
    CMainFrame* frame() const { return app->GetMainFrame(); }

    // Ends the program as its message loop would: settings written back.
    int Exit()
    {
        const int rc = app->ExitInstance();
        app.reset();
        return rc;
    }
};

// args: the command line without the program's name.
inline CJestpadHarness StartJestpad(const QStringList& args = {})
{
    CJestpadHarness h;
    h.app = std::make_unique<CJestpadApp>();
    h.started = h.app->InitInstance(args);
    return h;
}

// What the open pipeline must make of raw text: the engine's own rewriting
// with these rules, seeded with that clock.
inline QByteArray Rewrite(const CRuleSet& rules, const QByteArray& raw, std::time_t seed,
                          int level, bool html, bool comments)
{
    CByteString text(raw.constData(), static_cast<size_t>(raw.size()));
    RewriteText(rules, text, static_cast<std::uint32_t>(seed), CRewriteOptions{.m_nLevel = level, .m_bHtmlFilter = html, .m_bCommentFilter = comments});
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}
