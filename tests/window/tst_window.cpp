// The Jestpad window run whole under the offscreen platform, with dialogs and
// the clock answered by the fake seam.
#include "Afx.h"
#include "CommandLineInfo.h"
#include "DisplayDecoder.h"
#include "FakeUiSeam.h"
#include "FindBar.h"
#include "JestpadHarness.h"
#include "Resource.h"
#include "RuleSet.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QApplication>
#include <QFontDialog>
#include <QTimer>
#include <QFontInfo>
#include <QInputDialog>
#include <QPrinter>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QStatusTipEvent>
#include <QStringEncoder>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMainWindow>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

namespace {

// Some prose with punctuation the built-in rules react to.
QByteArray SampleBytes()
{
    return QStringEncoder("windows-31j")
        .encode(QStringLiteral("今日は晴れです。散歩に行きました。\r\n"
                               "猫が寝ています。とても静かです。\r\n"
                               "夕方、雨が降りました。明日は晴れるでしょう。\r\n"));
}

// What the document must show for these bytes: one pass seeded with the clock
// at the default level, and no filters.
QByteArray Rewritten(const QByteArray& raw, std::time_t now)
{
    return Rewrite(CRuleSet(), raw, now, 2, false, false);
}

QByteArray Cp932(const QString& text)
{
    return QStringEncoder("windows-31j").encode(text);
}

// "line 1" to "line n", each ending in CR LF; one word for none.
QByteArray Lines(int n)
{
    QByteArray text = n ? QByteArray() : QByteArray("word");
    for (int i = 1; i <= n; ++i)
        text += "line " + QByteArray::number(i) + "\r\n";
    return text;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QSettings UserSettings()
{
    return QSettings(CJestpadApp::SettingsFileName(), QSettings::NativeFormat);
}

// Where each command of the frame's menus, keys and buttons must land, and
// whether its state can change (then an update handler decides it).
enum class ETarget { View, Document, Frame, App };
struct CCommandRow {
    int id;
    ETarget target;
    bool stateful;
};
const CCommandRow kCommands[] = {
    {ID_FILE_NEW, ETarget::App, false},          {ID_FILE_OPEN, ETarget::App, false},
    {ID_FILE_RELOAD, ETarget::Document, false},  {ID_FILE_SAVE_AS, ETarget::Document, false},
    {ID_FILE_PRINT, ETarget::View, false},       {ID_FILE_PRINT_PREVIEW, ETarget::View, false},
    {ID_FILE_PRINT_SETUP, ETarget::App, false},  {ID_FILE_MRU_FILE1, ETarget::App, true},
    {ID_APP_EXIT, ETarget::App, false},          {ID_EDIT_COPY, ETarget::View, true},
    {ID_EDIT_SELECT_ALL, ETarget::View, true},   {ID_VIEW_TOOLBAR, ETarget::Frame, true},
    {ID_VIEW_STATUS_BAR, ETarget::Frame, true},  {ID_SETTINGS_FONT, ETarget::View, false},
    {ID_SETTINGS_JEST, ETarget::Document, false}, {ID_APP_ABOUT, ETarget::App, false},
    {ID_EDIT_FIND, ETarget::Frame, false},       {ID_EDIT_FIND_NEXT, ETarget::Frame, false},
    {ID_EDIT_FIND_PREV, ETarget::Frame, false},
    {ID_FILE_REOPEN_AUTO, ETarget::Document, true},   {ID_FILE_REOPEN_CP932, ETarget::Document, true},
    {ID_FILE_REOPEN_UTF8, ETarget::Document, true},   {ID_FILE_REOPEN_EUCJP, ETarget::Document, true},
    {ID_FILE_REOPEN_JIS, ETarget::Document, true},    {ID_FILE_REOPEN_UTF16LE, ETarget::Document, true},
    {ID_FILE_REOPEN_UTF16BE, ETarget::Document, true},
    {ID_VIEW_ZOOM_IN, ETarget::View, false},     {ID_VIEW_ZOOM_OUT, ETarget::View, false},
    {ID_VIEW_ZOOM_RESET, ETarget::View, false},  {ID_EDIT_GOTO_LINE, ETarget::View, false},
    {ID_VIEW_JEST_MARKS, ETarget::View, true},
};

// A device that claims a size of its own, whatever it holds.
class CLyingDevice : public QBuffer {
public:
    CLyingDevice(const QByteArray& data, qint64 claimed) : m_nClaimed(claimed)
    {
        setData(data);
        open(QIODevice::ReadOnly);
    }
    qint64 size() const override { return m_nClaimed; }

private:
    qint64 m_nClaimed;
};

}  // namespace

class CWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString MakeFile(const QString& name, const QByteArray& bytes)
    {
        QString path = Path(name);
        if (!WriteFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    bool Command(CJestpadHarness& h, int id) { return h.frame()->RouteCommand(id); }
    bool IsEnabled(CJestpadHarness& h, int id)
    {
        h.frame()->UpdateCmdUI();
        return h.frame()->GetAction(id)->isEnabled();
    }

private slots:
    void init()
    {
        PrepareTestSettings();
        QVERIFY(m_dir.isValid());
    }

    void startWithoutFile()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QVERIFY(h.started);
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("無題 - Jestpad"));
        QVERIFY(h.view()->GetWindowText().isEmpty());
        QVERIFY(h.doc()->m_bViewReady);
        QVERIFY(h.view()->isReadOnly());
        QVERIFY(h.doc()->GetPathName().isEmpty());
        QCOMPARE(h.frame()->GetMessageText(), QStringLiteral("ﾚﾃﾞｨ"));
        QCOMPARE(h.frame()->toolBarArea(h.frame()->GetToolBar()), Qt::TopToolBarArea);
        QCOMPARE(seam.clockReads, 0);
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    void startWithFileShowsItRewrittenOnce()
    {
        CFakeUiSeam seam;
        const QByteArray raw = SampleBytes();
        const QString path = MakeFile(QStringLiteral("start.txt"), raw);
        auto h = StartJestpad({path});
        QVERIFY(h.started);
        // Loaded raw first (no draw), then rewritten once by the first
        // initial update: one clock read and exactly one pass.
        QCOMPARE(seam.clockReads, 1);
        const QByteArray expected = Rewritten(raw, seam.now);
        QVERIFY(expected != raw);
        QCOMPARE(h.view()->GetWindowText(), expected);
        QVERIFY(h.view()->isReadOnly());
        QCOMPARE(h.doc()->GetPathName(), path);
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("start.txt - Jestpad"));
        QVERIFY(!h.doc()->IsModified());
        h.Exit();
    }

    void startWithMissingFileEnds()
    {
        CFakeUiSeam seam;
        const QString path = Path(QStringLiteral("absent.txt"));
        auto h = StartJestpad({path});
        QVERIFY(!h.started);
        QVERIFY(h.app->m_nExitCode != 0);
        QCOMPARE(seam.messages, QStringList{path + QStringLiteral(" が見つかりません。")});
        QVERIFY(!h.frame());
        h.Exit();
    }

    void openAndReloadWithFixedClock()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        const QByteArray raw = SampleBytes();
        const QString path = MakeFile(QStringLiteral("open.txt"), raw);
        seam.now = 1234567890;
        seam.openAnswers.push_back(path);
        QVERIFY(Command(h, ID_FILE_OPEN));
        QCOMPARE(seam.fileDialogTitles, QStringList{QStringLiteral("開く")});
        QCOMPARE(h.view()->GetWindowText(), Rewritten(raw, 1234567890));
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("open.txt - Jestpad"));

        // Reload reads the file again, with a fresh seed, not the shown text.
        seam.now = 1234567999;
        QVERIFY(Command(h, ID_FILE_RELOAD));
        QCOMPARE(h.view()->GetWindowText(), Rewritten(raw, 1234567999));
        // Within the same second the same text again.
        QVERIFY(Command(h, ID_FILE_RELOAD));
        QCOMPARE(h.view()->GetWindowText(), Rewritten(raw, 1234567999));

        // Both filters: tags first, then comments.
        const QByteArray markup = "<b>a</b>/* c */b<!-- d -->// e\r\nf";
        WriteFile(path, markup);
        h.doc()->m_options.m_bHtmlFilter = true;
        h.doc()->m_options.m_bCommentFilter = true;
        h.doc()->m_options.m_nLevel = 0;
        h.doc()->Reload();
        QCOMPARE(h.view()->GetWindowText(), Rewrite(CRuleSet(), markup, seam.now, 0, true, true));
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    // Each open reads the clock once: a second pass with the same seed would
    // look the same on screen.
    void eachOpenReadsClockOnce_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("File > Open") << int(ID_FILE_OPEN);
        QTest::newRow("recent file") << int(ID_FILE_MRU_FIRST);
        QTest::newRow("reload") << int(ID_FILE_RELOAD);
    }

    void eachOpenReadsClockOnce()
    {
        QFETCH(int, command);
        CFakeUiSeam seam;
        const QString path = MakeFile(QStringLiteral("clock.txt"), SampleBytes());
        auto h = StartJestpad({path});
        const int reads = seam.clockReads;
        seam.openAnswers.push_back(path);
        QVERIFY(Command(h, command));
        QCOMPARE(seam.clockReads - reads, 1);
        h.Exit();
    }

    // A file named relative to the current folder is known by its full path.
    void relativeNameOnCommandLine()
    {
        CFakeUiSeam seam;
        const QString path = MakeFile(QStringLiteral("relative.txt"), SampleBytes());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        auto h = StartJestpad({QStringLiteral("relative.txt")});
        QDir::setCurrent(before);
        QCOMPARE(h.doc()->GetPathName(), path);
        QCOMPARE(h.app->GetRecentFileList()[0], path);
        h.Exit();
    }

    void endlessRuleChainStopsAtTheWindowsLimit()
    {
        // x and y insert each other before them without end. The window stops
        // the pass at the firing that would pass its limit, shows the text so far and
        // says so; a file without x is rewritten whole, without a word.
        // RewriteText's default (jestcat) keeps PassBound.
        CFakeUiSeam seam;
        auto h = StartJestpad();
        const QString rules = MakeFile(QStringLiteral("chain.rules"), "b x y\r\nb y x\r\n");
        QVERIFY(h.doc()->m_ruleSet.LoadRuleFile(QFile::encodeName(rules).toStdString()));
        h.doc()->m_options.m_nLevel = 4;
        const std::int64_t limit = CJestpadDoc::kPassLimit;
        QByteArray chain;
        // A firing that would pass the limit does not happen.
        for (std::int64_t i = 0; i < limit - 99999; ++i) chain += i % 2 ? 'y' : 'x';
        const QByteArray tail(99999, 'a');
        const struct {
            QByteArray raw, shown;
            QStringList messages;
        } cases[] = {{'x' + tail, chain + tail, {AfxLoadString(IDS_PASS_CUT_SHORT)}},
                     {'y' + tail, "xy" + tail, {}}};
        for (const auto& c : cases) {
            seam.messages.clear();
            seam.openAnswers.push_back(MakeFile(QStringLiteral("chain.txt"), c.raw));
            QVERIFY(Command(h, ID_FILE_OPEN));
            QCOMPARE(h.view()->GetWindowText(), c.shown);
            QCOMPARE(seam.messages, c.messages);
        }
        QCOMPARE(Rewrite(h.doc()->m_ruleSet, cases[0].raw, seam.now, 4, false, false).size(),
                 PassBound(100000));
        h.Exit();
    }

    void reloadOnUntitledDoesNothing()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QVERIFY(Command(h, ID_FILE_RELOAD));
        QCOMPARE(seam.clockReads, 0);
        QVERIFY(h.view()->GetWindowText().isEmpty());
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    void emptyFileShowsEmptyText()
    {
        CFakeUiSeam seam;
        const QString full = MakeFile(QStringLiteral("full.txt"), SampleBytes());
        const QString empty = MakeFile(QStringLiteral("empty.txt"), QByteArray());
        auto h = StartJestpad({full});
        QVERIFY(!h.view()->GetWindowText().isEmpty());
        seam.openAnswers.push_back(empty);
        Command(h, ID_FILE_OPEN);
        QVERIFY(h.view()->GetWindowText().isEmpty());
        QCOMPARE(h.doc()->GetPathName(), empty);
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("empty.txt - Jestpad"));
        QVERIFY(seam.messages.isEmpty());
        h.Exit();

        // At start-up as well.
        auto h2 = StartJestpad({empty});
        QVERIFY(h2.started);
        QVERIFY(h2.view()->GetWindowText().isEmpty());
        h2.Exit();
    }

    void sizeLimit_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("largest") << qsizetype(1048575) << true;
        QTest::newRow("one over") << qsizetype(1048576) << false;
        QTest::newRow("far over") << qsizetype(3 << 20) << false;
    }

    void sizeLimit()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, accepted);
        CFakeUiSeam seam;
        const QString small = MakeFile(QStringLiteral("small.txt"), SampleBytes());
        const QString big = MakeFile(QStringLiteral("big.txt"), QByteArray(size, 'a'));
        auto h = StartJestpad({small});
        seam.openAnswers.push_back(big);
        Command(h, ID_FILE_OPEN);
        if (accepted) {
            QVERIFY(seam.messages.isEmpty());
            QCOMPARE(h.view()->GetWindowText().size(), size);
            QCOMPARE(h.doc()->GetPathName(), big);
        } else {
            QCOMPARE(seam.messages, QStringList{QStringLiteral("ﾌｧｲﾙが大きすぎて開けません。")});
            // A failed open loses nothing: the document stays as it was.
            QCOMPARE(h.view()->GetWindowText(), Rewritten(SampleBytes(), seam.now));
            QCOMPARE(h.doc()->GetPathName(), small);
            QCOMPARE(h.frame()->windowTitle(), QStringLiteral("small.txt - Jestpad"));
            // The recent list does not take the refused file.
            QCOMPARE(h.app->GetRecentFileList()[0], small);
        }
        h.Exit();
    }

    // The raw load goes by the bytes it reads, never by the size a device
    // reports (files of the system report 0 and hold text).
    void rawLoadChecksSize_data()
    {
        QTest::addColumn<qsizetype>("held");
        QTest::addColumn<qint64>("reported");
        QTest::addColumn<int>("message");  // -1: loaded
        const qint64 limit = CJestpadView::kMaxTextBytes;
        QTest::newRow("true size") << qsizetype(100) << qint64(100) << -1;
        QTest::newRow("reports too much") << qsizetype(100) << limit + 1 << -1;
        QTest::newRow("reports nothing") << qsizetype(100) << qint64(0) << -1;
        QTest::newRow("holds too much") << qsizetype(limit + 1) << qint64(100) << int(AFX_IDP_FILE_TOO_LARGE);
        QTest::newRow("holds the limit") << qsizetype(limit) << limit + 1 << -1;
    }

    void rawLoadChecksSize()
    {
        QFETCH(qsizetype, held);
        QFETCH(qint64, reported);
        QFETCH(int, message);
        CEditView view;
        view.SetLimitText(CJestpadView::kMaxTextBytes);
        CLyingDevice device(QByteArray(held, 'a'), reported);
        CArchive ar(CArchive::load, &device);
        view.SerializeRaw(ar);
        QCOMPARE(ar.Failed(), message >= 0);
        QCOMPARE(ar.MessageId(), std::max(message, 0));
        QCOMPARE(view.GetWindowText(), message >= 0 ? QByteArray() : QByteArray(held, 'a'));
    }

    void reloadOfFileGrownTooLargeKeepsText()
    {
        CFakeUiSeam seam;
        const QString path = MakeFile(QStringLiteral("grow.txt"), SampleBytes());
        auto h = StartJestpad({path});
        const QByteArray shown = h.view()->GetWindowText();
        WriteFile(path, QByteArray(1048576, 'x'));
        Command(h, ID_FILE_RELOAD);
        QCOMPARE(seam.messages, QStringList{QStringLiteral("ﾌｧｲﾙが大きすぎて開けません。")});
        QCOMPARE(h.view()->GetWindowText(), shown);
        QCOMPARE(h.doc()->GetPathName(), path);
        h.Exit();
    }

    void missingFileKeepsText()
    {
        CFakeUiSeam seam;
        const QString path = MakeFile(QStringLiteral("here.txt"), SampleBytes());
        auto h = StartJestpad({path});
        const QByteArray shown = h.view()->GetWindowText();
        const QString gone = Path(QStringLiteral("gone.txt"));
        seam.openAnswers.push_back(gone);
        Command(h, ID_FILE_OPEN);
        QCOMPARE(seam.messages, QStringList{gone + QStringLiteral(" が見つかりません。")});
        QCOMPARE(h.view()->GetWindowText(), shown);
        QCOMPARE(h.doc()->GetPathName(), path);

        // The current file deleted behind the program's back: reload keeps all.
        QFile::remove(path);
        Command(h, ID_FILE_RELOAD);
        QCOMPARE(seam.messages.size(), 2);
        QCOMPARE(seam.messages[1], path + QStringLiteral(" が見つかりません。"));
        QCOMPARE(h.view()->GetWindowText(), shown);
        h.Exit();
    }

    void unopenable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder") << "/tmp" << "予期しないﾌｧｲﾙ形式です。";
        QTest::newRow("endless device") << "/dev/zero" << "予期しないﾌｧｲﾙ形式です。";
        QTest::newRow("missing folder") << "/no/such/dir/f.txt"
                                        << "/no/such/dir/f.txt が見つかりません。";
    }

    void unopenable()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        CFakeUiSeam seam;
        const QString file = MakeFile(QStringLiteral("kept.txt"), SampleBytes());
        auto h = StartJestpad({file});
        const QByteArray shown = h.view()->GetWindowText();
        seam.openAnswers.push_back(path);
        Command(h, ID_FILE_OPEN);
        QCOMPARE(seam.messages, QStringList{message});
        QCOMPARE(h.view()->GetWindowText(), shown);
        QCOMPARE(h.doc()->GetPathName(), file);
        h.Exit();
    }

    void saveAsWritesExactBytes()
    {
        CFakeUiSeam seam;
        // Invalid CP932 (a lone lead byte, 0x80, 0xFF, a pair without a
        // character), a NUL, and a lead byte at the very end.
        QByteArray raw = SampleBytes();
        raw += QByteArray("x\x80y\xFFz\x85\x40\0w\x82", 11);
        const QString path = MakeFile(QStringLiteral("odd.txt"), raw);
        auto h = StartJestpad({path});
        const QByteArray shown = h.view()->GetWindowText();
        QCOMPARE(shown, Rewritten(raw, seam.now));
        QVERIFY(h.view()->GetDisplayText().contains(QChar(0xFFFD)));
        QVERIFY(h.view()->GetDisplayText().contains(QChar(0x2205)));

        const QString target = Path(QStringLiteral("saved & sound.txt"));
        seam.saveAnswers.push_back(target);
        QVERIFY(Command(h, ID_FILE_SAVE_AS));
        QCOMPARE(seam.fileDialogTitles.last(), QStringLiteral("名前を付けて保存"));
        // The invalid bytes were said once, at the open.
        QCOMPARE(seam.messages, QStringList(AfxLoadString(IDS_OPEN_INVALID_BYTES).arg(QStringLiteral("Shift_JIS"))));
        QCOMPARE(ReadAll(target), shown);
        // The saved file is now the document's file.
        QCOMPARE(h.doc()->GetPathName(), target);
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("saved & sound.txt - Jestpad"));
        QCOMPARE(h.app->GetRecentFileList()[0], target);
        // Reload now rewrites the saved, already rewritten text again.
        seam.now += 10;
        Command(h, ID_FILE_RELOAD);
        QCOMPARE(h.view()->GetWindowText(), Rewritten(shown, seam.now));
        // The original file was never written.
        QCOMPARE(ReadAll(path), raw);

        // Saving over the opened file itself.
        seam.saveAnswers.push_back(target);
        const QByteArray again = h.view()->GetWindowText();
        Command(h, ID_FILE_SAVE_AS);
        QCOMPARE(ReadAll(target), again);
        h.Exit();
    }

    void saveAsFailureLeavesTarget()
    {
        CFakeUiSeam seam;
        const QString path = MakeFile(QStringLiteral("src.txt"), SampleBytes());
        auto h = StartJestpad({path});
        // Into a folder that does not exist.
        const QString nowhere = Path(QStringLiteral("no/such/folder/out.txt"));
        seam.saveAnswers.push_back(nowhere);
        Command(h, ID_FILE_SAVE_AS);
        QCOMPARE(seam.messages,
                 QStringList{nowhere + QStringLiteral(" には無効なﾊﾟｽが含まれています。")});
        QVERIFY(!QFileInfo::exists(nowhere));
        QCOMPARE(h.doc()->GetPathName(), path);
        // Onto a folder: it stays a folder.
        QDir(m_dir.path()).mkdir(QStringLiteral("afolder"));
        seam.saveAnswers.push_back(Path(QStringLiteral("afolder")));
        Command(h, ID_FILE_SAVE_AS);
        QCOMPARE(seam.messages.size(), 2);
        QVERIFY(QFileInfo(Path(QStringLiteral("afolder"))).isDir());
        QCOMPARE(h.doc()->GetPathName(), path);
        // Cancel writes nothing and says nothing.
        Command(h, ID_FILE_SAVE_AS);
        QCOMPARE(seam.messages.size(), 2);
        h.Exit();
    }

    void recentFileList()
    {
        CFakeUiSeam seam;
        QStringList paths;
        for (int i = 1; i <= 5; ++i)
            paths.append(MakeFile(QStringLiteral("r%1.txt").arg(i), SampleBytes()));
        auto h = StartJestpad();
        const CRecentFileList& list = h.app->GetRecentFileList();
        QAction* first = h.frame()->GetAction(ID_FILE_MRU_FIRST);
        h.frame()->UpdateRecentFileMenu();
        QCOMPARE(first->text(), QStringLiteral("最新のﾌｧｲﾙ"));
        QVERIFY(!IsEnabled(h, ID_FILE_MRU_FIRST));

        for (int i = 0; i < 3; ++i) {
            seam.openAnswers.push_back(paths[i]);
            Command(h, ID_FILE_OPEN);
        }
        QCOMPARE(list.GetCount(), 3);
        QCOMPARE(list[0], paths[2]);
        QCOMPARE(list[2], paths[0]);
        QVERIFY(IsEnabled(h, ID_FILE_MRU_FIRST));
        // Reopening moves an entry to the top.
        seam.openAnswers.push_back(paths[0]);
        Command(h, ID_FILE_OPEN);
        QCOMPARE(list[0], paths[0]);
        QCOMPARE(list[1], paths[2]);
        QCOMPARE(list.GetCount(), 3);
        // The fourth and fifth: the oldest drops out.
        for (int i = 3; i < 5; ++i) {
            seam.openAnswers.push_back(paths[i]);
            Command(h, ID_FILE_OPEN);
        }
        QCOMPARE(list.GetCount(), 4);
        const QStringList expected{paths[4], paths[3], paths[0], paths[2]};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list[i], expected[i]);
        // A recent entry opens its file and moves it up.
        seam.now = 42;
        QVERIFY(Command(h, ID_FILE_MRU_FIRST + 3));
        QCOMPARE(h.doc()->GetPathName(), paths[2]);
        QCOMPARE(list[0], paths[2]);
        QCOMPARE(h.view()->GetWindowText(), Rewritten(SampleBytes(), 42));
        h.frame()->UpdateRecentFileMenu();
        QVERIFY(first->text().startsWith(QStringLiteral("&1 ")));
        QVERIFY(h.frame()->GetAction(ID_FILE_MRU_FIRST + 3)->isVisible());

        // Written at exit, newest first.
        h.Exit();
        QSettings settings = UserSettings();
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(), paths[2]);
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File2")).toString(), paths[4]);
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File3")).toString(), paths[3]);
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File4")).toString(), paths[0]);
        QVERIFY(!settings.contains(QStringLiteral("Recent File List/File5")));
        QVERIFY(!settings.contains(QStringLiteral("Settings/PreviewPages")));

        // Read back at the next start; a shorter list clears the old entries.
        auto h2 = StartJestpad();
        QCOMPARE(h2.app->GetRecentFileList().GetCount(), 4);
        QCOMPARE(h2.app->GetRecentFileList()[0], paths[2]);
        h2.Exit();
    }

    void recentFileMenuText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("currentDir");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << "/tmp/a.txt" << "/home" << "/tmp/a.txt";
        QTest::newRow("current folder") << "/home/u/a.txt" << "/home/u" << "a.txt";
        QTest::newRow("current folder, slash") << "/home/u/a.txt" << "/home/u/" << "a.txt";
        QTest::newRow("sub folder of current") << "/home/u/d/a.txt" << "/home/u" << "/home/u/d/a.txt";
        QTest::newRow("long") << "/home/someone/documents/letters/2024/note.txt" << "/"
                              << "/.../letters/2024/note.txt";
        QTest::newRow("long name") << "/a/b/a-very-long-file-name-indeed-yes.txt" << "/"
                                   << "a-very-long-file-name-indeed-yes.txt";
        QTest::newRow("30 characters") << "/home/someone/doc/letter/n.txt" << "/"
                                       << "/home/someone/doc/letter/n.txt";
        QTest::newRow("shortened to 30") << "/home/someone/documents/letters1234/2024/note.txt"
                                         << "/" << "/.../letters1234/2024/note.txt";
    }

    void recentFileMenuText()
    {
        QFETCH(QString, path);
        QFETCH(QString, currentDir);
        QFETCH(QString, shown);
        const QString name = CRecentFileList::AbbreviateName(path, 30, currentDir);
        QCOMPARE(name, shown);
        QVERIFY(name.size() <= 30 || name == QFileInfo(path).fileName());
    }

    // An entry whose file has gone leaves the list when chosen and stays out
    // after exit; a name stored twice is read once.
    void recentFileGone()
    {
        CFakeUiSeam seam;
        QStringList paths;
        for (int i = 1; i <= 4; ++i)
            paths.append(MakeFile(QStringLiteral("g%1.txt").arg(i), SampleBytes()));
        const auto store = [](const QStringList& names) {
            QSettings settings = UserSettings();
            for (int i = 0; i < names.size(); ++i)
                settings.setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), names[i]);
        };
        store({paths[3], paths[2], paths[1], paths[0]});
        QFile::remove(paths[1]);
        auto h = StartJestpad();
        QVERIFY(Command(h, ID_FILE_MRU_FIRST + 2));
        QCOMPARE(seam.messages, QStringList{paths[1] + QStringLiteral(" が見つかりません。")});
        h.Exit();
        QSettings settings = UserSettings();
        QCOMPARE(settings.value(QStringLiteral("Recent File List/File3")).toString(), paths[0]);
        QVERIFY(!settings.contains(QStringLiteral("Recent File List/File4")));

        store({paths[0], paths[0], paths[2], paths[3]});
        auto h2 = StartJestpad();
        QCOMPARE(h2.app->GetRecentFileList().GetCount(), 3);
        QCOMPARE(h2.app->GetRecentFileList()[1], paths[2]);
        QCOMPARE(h2.app->GetRecentFileList()[2], paths[3]);
        h2.Exit();
    }

    void recentMenuDoublesAmpersand()
    {
        CRecentFileList list(4);
        list.Add(QStringLiteral("/x/R&D.txt"));
        QCOMPARE(list.GetMenuText(0), QStringLiteral("&1 /x/R&&D.txt"));
    }

    void copyAndSelectAllStates()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QVERIFY(!IsEnabled(h, ID_EDIT_SELECT_ALL));
        QVERIFY(!IsEnabled(h, ID_EDIT_COPY));
        const QString path = MakeFile(QStringLiteral("copy.txt"), "plain ascii text");
        seam.openAnswers.push_back(path);
        Command(h, ID_FILE_OPEN);
        QVERIFY(IsEnabled(h, ID_EDIT_SELECT_ALL));
        QVERIFY(!IsEnabled(h, ID_EDIT_COPY));
        QVERIFY(Command(h, ID_EDIT_SELECT_ALL));
        QVERIFY(IsEnabled(h, ID_EDIT_COPY));
        // The actions show the state too, without an explicit refresh.
        QVERIFY(h.frame()->GetAction(ID_EDIT_COPY)->isEnabled());
        QGuiApplication::clipboard()->clear();
        QVERIFY(Command(h, ID_EDIT_COPY));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("plain ascii text"));
        // Long runs without break points (letters, prolonged sound marks,
        // user-defined characters) get one every 4 characters on screen, and
        // are copied as they are shown, without them.
        for (const QByteArray& unit : {QByteArray("z"), QByteArray("\x81\x5B"),
                                       QByteArray("\xF0\x40")}) {
            const QByteArray run = unit.repeated(5000);
            seam.openAnswers.push_back(MakeFile(QStringLiteral("run.txt"), run));
            Command(h, ID_FILE_OPEN);
            const QString shown = Cp932ToDisplay(h.view()->GetWindowText());
            QCOMPARE(shown.size(), 5000);
            QCOMPARE(h.view()->GetDisplayText(), shown);
            QCOMPARE(h.view()->toPlainText().count(QChar(0x200B)), (5000 - 1) / 4);
            Command(h, ID_EDIT_SELECT_ALL);
            Command(h, ID_EDIT_COPY);
            QCOMPARE(QGuiApplication::clipboard()->text(), shown);
        }
        // Ctrl+Insert is the second key of copy.
        QVERIFY(h.frame()->GetAction(ID_EDIT_COPY)->shortcuts().contains(
            QKeySequence(Qt::CTRL | Qt::Key_Insert)));
        // New empties the text again.
        Command(h, ID_FILE_NEW);
        QVERIFY(!IsEnabled(h, ID_EDIT_SELECT_ALL));
        QVERIFY(!IsEnabled(h, ID_EDIT_COPY));
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("無題 - Jestpad"));
        h.Exit();
    }

    void viewBarsToggleWithChecks()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QAction* tool = h.frame()->GetAction(ID_VIEW_TOOLBAR);
        QAction* status = h.frame()->GetAction(ID_VIEW_STATUS_BAR);
        h.frame()->UpdateCmdUI();
        QVERIFY(tool->isChecked());
        QVERIFY(status->isChecked());
        Command(h, ID_VIEW_TOOLBAR);
        Command(h, ID_VIEW_STATUS_BAR);
        QVERIFY(!tool->isChecked());
        QVERIFY(!status->isChecked());
        QVERIFY(h.frame()->GetToolBar()->isHidden());
        QVERIFY(h.frame()->statusBar()->isHidden());
        Command(h, ID_VIEW_TOOLBAR);
        QVERIFY(tool->isChecked());
        QVERIFY(!h.frame()->GetToolBar()->isHidden());
        h.Exit();
    }

    void toolBarAndPrompts()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        const QList<int> order{ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE_AS, ID_FILE_PRINT, 0,
                               ID_EDIT_COPY, 0, ID_SETTINGS_FONT, ID_SETTINGS_JEST, 0,
                               ID_APP_ABOUT};
        const QList<QAction*> actions = h.frame()->GetToolBar()->actions();
        QCOMPARE(actions.size(), order.size());
        for (int i = 0; i < order.size(); ++i) {
            if (order[i] == 0)
                QVERIFY(actions[i]->isSeparator());
            else
                QCOMPARE(actions[i], h.frame()->GetAction(order[i]));
        }
        QCOMPARE(h.frame()->GetAction(ID_EDIT_COPY)->toolTip(), QStringLiteral("ｺﾋﾟ-"));
        QCOMPARE(h.frame()->GetAction(ID_FILE_RELOAD)->statusTip(),
                 QStringLiteral("ファイルを改めて開きます。"));
        QCOMPARE(h.frame()->GetAction(ID_SETTINGS_JEST)->toolTip(), QStringLiteral("詳細設定"));
        // A hovered item's prompt, then the idle text when nothing is hovered.
        QStatusTipEvent tip(QStringLiteral("既存のﾌｧｲﾙを開く"));
        QCoreApplication::sendEvent(h.frame(), &tip);
        QCOMPARE(h.frame()->GetMessageText(), QStringLiteral("既存のﾌｧｲﾙを開く"));
        QStatusTipEvent none{QString()};
        QCoreApplication::sendEvent(h.frame(), &none);
        QCOMPARE(h.frame()->GetMessageText(), QStringLiteral("ﾚﾃﾞｨ"));
        // The new document's encoding; locks cannot be read offscreen: their
        // panes stay blank.
        QCOMPARE(h.frame()->GetIndicatorTexts(),
                 QStringList({QStringLiteral("Shift_JIS"), {}, {}, {}, {}, {}}));
        h.Exit();
    }

    // Every menu item, key and button of the frame reaches its handler, is
    // updated where its state can change and has its prompt (and tool tip).
    void everyCommandReachesItsHandler()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QVERIFY(h.started);
        CCmdTarget* const targets[] = {h.view(), h.doc(), h.frame(), h.app.get()};
        QSet<int> seen;
        const auto check = [&](int id, bool button) {
            const auto* row = std::find_if(std::begin(kCommands), std::end(kCommands),
                                           [id](const CCommandRow& r) { return r.id == id; });
            CCmdTarget* target = h.frame()->CommandTarget(id);
            QString text = AfxLoadString(id);
            // The encodings' prompts are made from the encoding table.
            for (const CEncodingInfo& row : kEncodings) {
                if (id == ReopenCommand(row.m_id))
                    text = AfxFormatString(IDS_FILE_REOPEN_AS, {QString::fromUtf8(row.m_display.data())});
            }
            const QStringList prompt = text.split(u'\n');
            QAction* action = h.frame()->GetAction(id);
            QVERIFY2(row != std::end(kCommands) && target == targets[int(row->target)] &&
                         target->HasUpdateHandler(id) == row->stateful && !prompt[0].isEmpty() &&
                         action->statusTip() == prompt[0] &&
                         (!button || (prompt.value(1) != QString() && action->toolTip() == prompt[1])),
                     qPrintable(QString::number(id)));
            seen.insert(id);
        };
        const CMenuResource& res = h.frame()->GetResource();
        for (const auto& popup : res.popups + res.submenus) {
            for (const auto& item : popup.items) {
                if (item.kind != CMenuResource::Item::Separator &&
                    item.kind != CMenuResource::Item::Submenu)
                    check(item.id, false);
            }
        }
        for (const auto& accel : res.accels)
            check(accel.second, false);
        for (const auto& button : res.buttons) {
            if (button.id != 0)
                check(button.id, true);
        }
        QCOMPARE(seen.size(), int(std::size(kCommands)));
        // 開き直す lists the table's rows in its order, under their captions.
        QStringList shown, table;
        for (const auto& popup : res.submenus) {
            for (const auto& item : popup.items.value(0).id == ID_FILE_REOPEN_AUTO ? popup.items : QList<CMenuResource::Item>())
                shown << (item.kind == CMenuResource::Item::Command ? h.frame()->GetAction(item.id)->text() : "-");
        }
        for (const CEncodingInfo& row : kEncodings)
            table << QString::fromUtf8(row.m_reopen.data(), qsizetype(row.m_reopen.size()));
        QCOMPARE(shown, QStringList({QStringLiteral("自動判別(&A)"), "-"}) + table);
        h.Exit();
    }

    // Messages are filled in one pass: an argument's own "%2" stays, a
    // number without an argument stays, "%" before anything else stays.
    void messageArguments()
    {
        const struct {
            const char* pattern;
            QStringList args;
            const char* expected;
        } rows[] = {
            {"%1 行目の %2", {"3", "U+0041"}, "3 行目の U+0041"},
            {"%1 を開けません (%2)", {"a%2b.txt", "x"}, "a%2b.txt を開けません (x)"},
            {"%2/%1 %3 100%", {"1", "2"}, "2/1 %3 100%"},
        };
        for (const auto& row : rows)
            QCOMPARE(AfxFormatMessage(QString::fromUtf8(row.pattern), row.args), QString::fromUtf8(row.expected));
    }

    // A misspelt name or a key given twice fails the load, naming the line.
    void resourceTypos_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("error");
        const QString menu = QString::fromLatin1(kMainFrameResourcePath);
        const QString strings = QString::fromLatin1(kStringTablePath);
        QTest::newRow("item") << menu << "\tID_FILE_RELOAD\t" << "\tID_FILE_RELAOD\t"
                              << ": unknown id \"ID_FILE_RELAOD\"";
        QTest::newRow("accelerator") << menu << "\tID_EDIT_COPY\n" << "\tID_EDIT_COPPY\n"
                                     << ": unknown id \"ID_EDIT_COPPY\"";
        QTest::newRow("button") << menu << "BUTTON\tID_APP_ABOUT" << "BUTTON\tID_APP_ABUOT"
                                << ": unknown id \"ID_APP_ABUOT\"";
        QTest::newRow("key twice") << menu << "Ctrl+Ins" << "Ctrl+R"
                                   << ": bad or repeated key \"Ctrl+R\"";
        QTest::newRow("no key") << menu << "\tCtrl+A" << "\tCtrl+AA"
                                << ": bad or repeated key \"Ctrl+AA\"";
        QTest::newRow("string") << strings << "ID_SETTINGS_JEST\t" << "ID_SETTINGS_JETS\t"
                                << ": unknown string name \"ID_SETTINGS_JETS\"";
        QTest::newRow("bare number") << strings << "AFX_IDS_APP_TITLE\t" << "57344\t"
                                     << ": unknown string name \"57344\"";
    }

    void resourceTypos()
    {
        QFETCH(QString, file);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, error);
        CJestpadApp::LoadResources();
        QString text = QString::fromUtf8(ReadAll(file));
        QVERIFY(text.contains(from));
        const qsizetype line = text.left(text.indexOf(from) + 1).count(u'\n') + 1;
        text.replace(from, to);
        const QString path = MakeFile(QStringLiteral("resource.txt"), text.toUtf8());
        QString reason;
        CMenuResource menu;
        QVERIFY(file == QString::fromLatin1(kMainFrameResourcePath) ? !menu.Load(path, &reason)
                                                                    : !AfxLoadStringTable(path, &reason));
        QCOMPARE(reason, path + u':' + QString::number(line) + error);
    }

    void aboutBox()
    {
        CFakeUiSeam seam;
        QString title, text;
        seam.doModal = [&](QDialog& dialog) {
            title = dialog.windowTitle();
            for (auto* label : dialog.findChildren<QLabel*>())
                text += label->text();
            return 1;
        };
        auto h = StartJestpad();
        QVERIFY(Command(h, ID_APP_ABOUT));
        QCOMPARE(seam.modalCount, 1);
        QCOMPARE(title, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(Jestpad)"));
        QCOMPARE(text, QStringLiteral("Jestpad Version 3.0β"));
        h.Exit();
    }

    void fontDialog()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad({MakeFile(QStringLiteral("font.txt"), SampleBytes())});
        const QFont before = h.view()->font();
        // The screen starts in the font the dialog starts from, "ＭＳ 明朝" 12.
        QCOMPARE(before, QFont(QStringLiteral("ＭＳ 明朝"), 12));
        QVERIFY(Command(h, ID_SETTINGS_FONT));
        QCOMPARE(seam.fontDialogStarts, QList<QFont>{before});
        QCOMPARE(h.view()->font(), before);
        // OK: the control takes the chosen font, underline included.
        QFont chosen(QStringLiteral("IPAGothic"), 20);
        chosen.setUnderline(true);
        seam.fontAnswers.push_back(chosen);
        Command(h, ID_SETTINGS_FONT);
        QCOMPARE(h.view()->font(), chosen);
        QCOMPARE(h.view()->m_font, chosen);
        // The next dialog starts from the chosen font.
        Command(h, ID_SETTINGS_FONT);
        QCOMPARE(seam.fontDialogStarts.last(), chosen);
        QCOMPARE(h.view()->font(), chosen);
        h.Exit();
    }

    void realFontDialogStartsOnTheMappedFamily()
    {
        // The default seam's real dialog, answered by a queued call on it.
        auto h = StartJestpad();
        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = dialog->currentFont().family();
            dialog->reject();
        });
        const auto chosen = CUiSeam::Get().GetFont(nullptr, QFont(QStringLiteral("ＭＳ 明朝"), 12));
        QVERIFY(!chosen);
        QCOMPARE(shown, QStringLiteral("IPAMincho"));
        h.Exit();
    }

    void japaneseFontsAndDialogs()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        // The Windows font names resolve to the installed IPA fonts.
        QCOMPARE(QFontInfo(QFont(QStringLiteral("ＭＳ 明朝"))).family(), QStringLiteral("IPAMincho"));
        QCOMPARE(QFontInfo(QFont(QStringLiteral("ＭＳ Ｐゴシック"))).family(),
                 QStringLiteral("IPAPGothic"));
        // Qt's own dialogs speak Japanese.
        QVERIFY(QCoreApplication::translate("QFileDialog", "File &name:") !=
                QStringLiteral("File &name:"));
        h.Exit();
    }

    void previewPagesRemembered()
    {
        CFakeUiSeam seam;
        seam.doModal = [](QDialog& dialog) {
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            if (!preview)
                return 0;
            preview->setViewMode(QPrintPreviewWidget::FacingPagesView);
            return 2;
        };
        auto h = StartJestpad({MakeFile(QStringLiteral("preview.txt"), SampleBytes())});
        QVERIFY(Command(h, ID_FILE_PRINT_PREVIEW));
        QCOMPARE(seam.modalCount, 1);
        QCOMPARE(h.app->GetPreviewPages(), 2);
        h.Exit();
        QCOMPARE(UserSettings().value(QStringLiteral("Settings/PreviewPages")).toInt(), 2);
        // The next preview opens with two pages, its button pressed, and
        // where the last one was.
        bool facing = false;
        QRect place;
        seam.doModal = [&](QDialog& dialog) {
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            facing = preview && preview->viewMode() == QPrintPreviewWidget::FacingPagesView &&
                     !dialog.findChild<QAction*>(QStringLiteral("singleModeAction"))->isChecked();
            place = place.isNull() ? QRect(30, 40, 500, 400) : dialog.geometry();
            dialog.setGeometry(place);
            return 2;
        };
        for (int run = 0; run < 2; ++run) {
            auto h2 = StartJestpad();
            Command(h2, ID_FILE_PRINT_PREVIEW);
            QVERIFY(facing);
            QCOMPARE(place, QRect(30, 40, 500, 400));
            h2.Exit();
        }
    }

    void unregister_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("message");
        QTest::newRow("Unregister") << QStringList{"-Unregister"} << true;
        QTest::newRow("case ignored") << QStringList{"-unregserver"} << true;
        QTest::newRow("Embedding") << QStringList{"-Unregister", "-EMBEDDING"} << false;
    }

    void unregister()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, message);
        CFakeUiSeam seam;
        QString file;
        {
            QSettings settings = UserSettings();
            settings.setValue(QStringLiteral("Recent File List/File1"), QStringLiteral("/x"));
            settings.sync();
            file = settings.fileName();
        }
        QVERIFY(QFileInfo::exists(file));
        auto h = StartJestpad(args);
        QVERIFY(!h.started);
        QVERIFY(!h.frame());
        h.Exit();  // must not write the settings back
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!QFileInfo::exists(QFileInfo(file).absolutePath()));
        if (message)
            QCOMPARE(seam.messages, QStringList{QStringLiteral("Jestpad の設定ﾌｧｲﾙを削除しました。")});
        else
            QVERIFY(seam.messages.isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("file");
        QTest::newRow("none") << QStringList{} << int(CCommandLineInfo::FileNew) << "";
        QTest::newRow("absolute path") << QStringList{"/home/u/a.txt"}
                                       << int(CCommandLineInfo::FileOpen) << "/home/u/a.txt";
        QTest::newRow("print") << QStringList{"-p", "a.txt"} << int(CCommandLineInfo::FilePrint)
                               << "a.txt";
        QTest::newRow("print is exact") << QStringList{"-P", "a.txt"}
                                        << int(CCommandLineInfo::FileOpen) << "a.txt";
        QTest::newRow("dde") << QStringList{"-dde"} << int(CCommandLineInfo::FileDDE) << "";
        QTest::newRow("dde is exact") << QStringList{"-DDE"} << int(CCommandLineInfo::FileNew)
                                      << "";
        QTest::newRow("automation") << QStringList{"-aUtOmAtIoN", "b"}
                                    << int(CCommandLineInfo::FileOpen) << "b";
        QTest::newRow("after --") << QStringList{"--", "-p", "--help"}
                                  << int(CCommandLineInfo::FileOpen) << "-p";
        QTest::newRow("print after --") << QStringList{"-p", "--", "-x.txt"}
                                        << int(CCommandLineInfo::FilePrint) << "-x.txt";
        QTest::newRow("help") << QStringList{"--help"} << int(CCommandLineInfo::ShowHelp) << "";
        QTest::newRow("version") << QStringList{"--version"}
                                 << int(CCommandLineInfo::ShowVersion) << "";
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, command);
        QFETCH(QString, file);
        CCommandLineInfo info;
        info.Parse(args);
        QCOMPARE(int(info.m_nShellCommand), command);
        QCOMPARE(info.m_strFileName, file);
    }

    void printToPdf()
    {
        CFakeUiSeam seam;
        const QString path = MakeFile(QStringLiteral("print.txt"), SampleBytes());
        const QString pdf = Path(QStringLiteral("out.pdf"));
        auto h = StartJestpad({QStringLiteral("-pt"), path, pdf, QStringLiteral("drv"),
                               QStringLiteral("port")});
        QVERIFY(!h.started);
        QCOMPARE(h.app->m_nExitCode, 0);
        QVERIFY(seam.messages.isEmpty());
        // Printed hidden, rewritten, and the window never shown.
        QVERIFY(!h.frame()->isVisible());
        QCOMPARE(h.view()->GetWindowText(), Rewritten(SampleBytes(), seam.now));
        QVERIFY(ReadAll(pdf).startsWith("%PDF"));
        QVERIFY(QFileInfo(pdf).size() > 1000);
        h.Exit();
    }

    void printToMissingFileEnds()
    {
        CFakeUiSeam seam;
        const QString pdf = Path(QStringLiteral("never.pdf"));
        auto h = StartJestpad({QStringLiteral("-pt"), Path(QStringLiteral("none.txt")), pdf,
                               QStringLiteral("d"), QStringLiteral("p")});
        QVERIFY(!h.started);
        QVERIFY(h.app->m_nExitCode != 0);
        QCOMPARE(seam.messages.size(), 1);
        QVERIFY(!QFileInfo::exists(pdf));
        h.Exit();
    }

    void cp932Display_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("yen sign and tilde stay ASCII") << QByteArray("\\~") << "\\~";
        QTest::newRow("NEC circled one") << QByteArray("\x87\x40") << QString(QChar(0x2460));
        QTest::newRow("wave dash as Windows") << QByteArray("\x81\x60") << QString(QChar(0xFF5E));
        QTest::newRow("IBM extension") << QByteArray("\xED\x40") << QString(QChar(0x7E8A));
        QTest::newRow("half-width kana") << QByteArray("\xB1") << QString(QChar(0xFF71));
        QTest::newRow("first half-width kana") << QByteArray("\xA1") << QString(QChar(0xFF61));
        QTest::newRow("last half-width kana") << QByteArray("\xDF") << QString(QChar(0xFF9F));
        QTest::newRow("NUL visible") << QByteArray("a\0b", 3) << QStringLiteral("a\u2205b");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\rc") << "a\nb\nc";
        QTest::newRow("lone lead byte at end") << QByteArray("a\x82") << QStringLiteral("a\uFFFD");
        QTest::newRow("lead without trail") << QByteArray("\x82 ") << QStringLiteral("\uFFFD ");
        QTest::newRow("bytes never used") << QByteArray("\x80\xA0\xFF")
                                          << QStringLiteral("\uFFFD\uFFFD\uFFFD");
        QTest::newRow("pair without character") << QByteArray("\x85\x40")
                                                << QStringLiteral("\uFFFD");
    }

    void cp932Display()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(Cp932ToDisplay(bytes), shown);
    }


    // Zoom changes the screen's font only: the printout keeps its pages.
    void zoomLeavesPrintout()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad({MakeFile(QStringLiteral("zoom.txt"), Lines(300))});
        const auto pages = [&] {
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(Path(QStringLiteral("zoom.pdf")));
            const QByteArray pdf = ReadAll(h.view()->PrintDocument(printer).isEmpty() ? printer.outputFileName() : "");
            return pdf.count("/Type /Page") - pdf.count("/Type /Pages");
        };
        const auto before = pages();
        QVERIFY(before > 1);
        for (const auto& [id, size] : {std::pair(ID_VIEW_ZOOM_IN, 13), {ID_VIEW_ZOOM_IN, 14}, {ID_VIEW_ZOOM_RESET, 12},
                                       {ID_VIEW_ZOOM_OUT, 11}}) {
            Command(h, id);
            QCOMPARE(h.view()->font().pointSize(), size);
        }
        QCOMPARE(pages(), before);
        h.Exit();
    }

    // 指定行へ移動 through the seam: OK moves the caret, Cancel does not.
    void gotoLine()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad({MakeFile(QStringLiteral("goto.txt"), Lines(300))});
        QString label;
        for (const int answer : {1, 2}) {
            seam.doModal = [&](QDialog& dialog) {
                auto* input = qobject_cast<QInputDialog*>(&dialog);
                label = input->labelText() + u' ' + QString::number(input->intMaximum());
                input->setIntValue(250 - answer);
                return answer;
            };
            QVERIFY(Command(h, ID_EDIT_GOTO_LINE));
            QCOMPARE(label, QStringLiteral("行番号 (1 - 301): 301"));
            QCOMPARE(h.view()->textCursor().blockNumber(), 248);
        }
        h.Exit();
    }

    // Reload, OK in 詳細設定 and another encoding keep the first line shown;
    // a text that lost that line keeps the same fraction.
    void readingPlaceKept_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("linesAfter");
        QTest::addColumn<int>("expected");
        QTest::newRow("reload") << int(ID_FILE_RELOAD) << 300 << 150;
        QTest::newRow("settings OK") << int(ID_SETTINGS_JEST) << 300 << 150;
        QTest::newRow("other encoding") << int(ID_FILE_REOPEN_UTF8) << 300 << 150;
        QTest::newRow("line gone") << int(ID_FILE_RELOAD) << 100 << 50;
        QTest::newRow("one-line file") << int(ID_FILE_RELOAD) << 0 << 0;
    }

    void readingPlaceKept()
    {
        QFETCH(int, command);
        QFETCH(int, linesAfter);
        QFETCH(int, expected);
        CFakeUiSeam seam;
        seam.doModal = [](QDialog&) { return 1; };
        const QString path = MakeFile(QStringLiteral("place.txt"), Lines(300));
        auto h = StartJestpad({path});
        QVERIFY(QTest::qWaitForWindowExposed(h.frame()));
        h.view()->SetReadingPlace({150, 301});
        QVERIFY(WriteFile(path, Lines(linesAfter)));
        QVERIFY(Command(h, command));
        QCOMPARE(h.view()->GetReadingPlace().m_nLine, expected);
        // Another file starts at its top.
        seam.openAnswers.push_back(MakeFile(QStringLiteral("other.txt"), Lines(300)));
        Command(h, ID_FILE_OPEN);
        QCOMPARE(h.view()->GetReadingPlace().m_nLine, 0);
        h.Exit();
    }

    // 書き換え箇所を強調 marks what the rules put in and where they deleted,
    // counts the firings, and leaves find as it was.
    void rewritesMarked()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QVERIFY(h.doc()->m_ruleSet.LoadRuleFile(QFile::encodeName(MakeFile(
            QStringLiteral("marks.rules"), Cp932(QStringLiteral("r です でござる\r\na 。 にゃ\r\nd ね x\r\n")))).toStdString()));
        h.doc()->m_options.m_nLevel = 4;
        // A run without break points gets hints on screen, which the marks skip.
        seam.openAnswers.push_back(MakeFile(
            QStringLiteral("marks.txt"), Cp932(QStringLiteral("abcdefghijkl 猫です。\r\n犬ですよね。"))));
        Command(h, ID_FILE_OPEN);
        QCOMPARE(h.view()->GetDisplayText(), QStringLiteral("abcdefghijkl 猫でござる。にゃ\n犬でござるよ。にゃ"));
        QStringList marked;
        for (const auto& mark : h.view()->GetMarks())
            marked << h.view()->toPlainText().mid(mark.m_nStart, mark.m_nEnd - mark.m_nStart) +
                          QLatin1String(mark.m_bDeleted ? "-" : "");
        QCOMPARE(marked.join(u' '), QStringLiteral("でござる にゃ でござる 。- にゃ"));
        QVERIFY(h.view()->extraSelections().isEmpty());
        QVERIFY(Command(h, ID_VIEW_JEST_MARKS));
        QVERIFY(h.frame()->GetAction(ID_VIEW_JEST_MARKS)->isChecked());
        QCOMPARE(h.view()->extraSelections().size(), 5);
        QCOMPARE(h.frame()->GetIndicatorTexts().value(1), QStringLiteral("書き換え 5 箇所"));
        // Find draws over the marks and gives them back when it closes.
        CFindBar* bar = h.frame()->GetFindBar();
        Command(h, ID_EDIT_FIND);
        bar->GetEdit()->setText(QStringLiteral("にゃ"));
        Command(h, ID_EDIT_FIND_NEXT);
        QCOMPARE(h.view()->extraSelections().size(), 7);
        bar->Close();
        QCOMPARE(h.view()->extraSelections().size(), 5);
        h.Exit();
        // Remembered; an untitled text has nothing to mark.
        auto h2 = StartJestpad();
        QVERIFY(h2.view()->IsShowingEdits() && h2.view()->GetMarks().empty());
        h2.Exit();
    }

    void cleanupTestCase() { PrepareTestSettings(); }
};

QTEST_MAIN(CWindowTest)
#include "tst_window.moc"
