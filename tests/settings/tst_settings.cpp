// The settings dialog "詳細設定" and the settings command, driven as a user
// would: through the dialog seam, with a fixed clock, offscreen.
#include "FakeUiSeam.h"
#include "JestSettingsDlg.h"
#include "JestpadHarness.h"

#include "MarkupFilters.h"
#include "RuleSet.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// Shift-JIS prose with the built-in rules' keys ("です。", "。", "、").
const QByteArray kText = QByteArray(
    "\x82\xB1\x82\xEA\x82\xCD\x83\x65\x83\x58\x83\x67\x82\xC5\x82\xB7\x81\x42\r\n"
    "\x82\xBB\x82\xB5\x82\xC4\x81\x41\x82\xDC\x82\xBD\x81\x42\r\n").repeated(12);

// Rule files (CR LF lines): replace "。" by "!!" / insert "<X>" after "、".
const QByteArray kRulesA = "c rules A\r\nr \x81\x42 !!\r\na \x81\x41 <X>\r\n";
const QByteArray kRulesB = "r \x81\x42 ??\r\nb \x81\x41 [B]\r\n";
// Two good lines, then a bad operation letter on line 3.
const QByteArray kRulesBadLine3 = "r \x81\x42 ##\r\nd \x81\x41 \r\nR x y\r\nr a b\r\n";

const QString kLoadFailed = QStringLiteral("設定ファイルのロードに失敗しました。");

CByteString Bytes(const QByteArray& a)
{
    return CByteString(a.constData(), static_cast<size_t>(a.size()));
}

CRuleSet RulesFrom(const QByteArray& content, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    CRuleSet rules;
    if (!rules.LoadRuleFile(Bytes(QFile::encodeName(path))))
        qFatal("engine refused %s", qPrintable(path));
    return rules;
}

// Every group's key and entries, for comparing two rule sets.
QByteArray Dump(const CRuleSet& rules)
{
    QByteArray out = QByteArray::fromStdString(rules.GetFileName()) + '\n';
    for (int i = 0; i < rules.GetGroupCount(); ++i) {
        const CRuleGroup group = rules.GetGroup(i);
        out += "[" + QByteArray::fromStdString(group.GetKey()) + "]";
        for (size_t j = 0; j < group.GetModes().size(); ++j)
            out += " " + QByteArray::number(group.GetModes()[j]) + ":" +
                   QByteArray::fromStdString(group.GetTexts()[j]);
        out += '\n';
    }
    return out;
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

template <typename T>
T* Control(QWidget& dlg, const char* name)
{
    T* w = dlg.findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// Clicks near the left end, where radio and check boxes have their mark.
void Click(QWidget& dlg, const char* name)
{
    auto* button = Control<QAbstractButton>(dlg, name);
    const QPoint at(qMin(button->width() / 2, 8), button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
}

// How the user ends the dialog.
enum class End { Ok, Cancel, Close, Escape };

// A DoModal answer that shows the dialog, lets `act` work on it as the user,
// ends it as `end` says and reports the result the way exec() would.
std::function<int(QDialog&)> User(std::function<void(CJestSettingsDlg&)> act, End end = End::Ok)
{
    return [act = std::move(act), end](QDialog& dialog) {
        auto& dlg = dynamic_cast<CJestSettingsDlg&>(dialog);
        dlg.show();
        if (act)
            act(dlg);
        switch (end) {
        case End::Ok: Click(dlg, "okButton"); break;
        case End::Cancel: Click(dlg, "cancelButton"); break;
        case End::Close: dlg.close(); break;
        case End::Escape: QTest::keyClick(&dlg, Qt::Key_Escape); break;
        }
        if (dlg.isVisible())
            qFatal("the dialog did not close");
        return dlg.result() == QDialog::Accepted ? 1 : 2;
    };
}

// Picks a file with "ロード..." as the user would.
void PickRuleFile(CFakeUiSeam& seam, CJestSettingsDlg& dlg, const QString& path)
{
    seam.openAnswers.push_back(path);
    Click(dlg, "loadButton");
}

const char* const kLevelButtons[] = {"levelButton0", "levelButton1", "levelButton2", "levelButton3", "levelButton4"};

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_textPath;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // The program started on a copy of kText (or untitled), with a fake seam.
    CJestpadHarness Start(bool untitled = false)
    {
        CJestpadHarness h = StartJestpad(untitled ? QStringList() : QStringList{m_textPath});
        if (!h.started || !h.doc() || !h.view())
            qFatal("Jestpad did not start");
        return h;
    }

private slots:
    void initTestCase()
    {
        PrepareTestSettings();
        // The dialog is also built on its own, before any program start.
        CJestpadApp::LoadResources();
        QVERIFY(m_dir.isValid());
        m_textPath = Path(QStringLiteral("text.txt"));
        WriteFile(m_textPath, kText);
    }

    // ---- the dialog on its own ----

    void framingTabOrderAndDefault()
    {
        CJestSettingsDlg dlg;
        auto* frequency = Control<QGroupBox>(dlg, "frequencyGroup");
        auto* filter = Control<QGroupBox>(dlg, "filterGroup");
        for (const char* name : {"fileNameLabel", "ruleFileEdit", "loadButton", "levelButton0",
                                 "levelButton1", "levelButton2", "levelButton3", "levelButton4"})
            QVERIFY2(frequency->isAncestorOf(Control<QWidget>(dlg, name)), name);
        for (const char* name : {"htmlCheck", "commentCheck"})
            QVERIFY2(filter->isAncestorOf(Control<QWidget>(dlg, name)), name);
        for (const char* name : {"okButton", "cancelButton"})
            QVERIFY2(!frequency->isAncestorOf(Control<QWidget>(dlg, name)) &&
                         !filter->isAncestorOf(Control<QWidget>(dlg, name)),
                     name);

        QVERIFY(Control<QPushButton>(dlg, "okButton")->isDefault());
        QVERIFY(!Control<QPushButton>(dlg, "cancelButton")->isDefault());

        // Tab order: the template order, without the path box; the level
        // group is one stop (its checked button, here none: the first).
        dlg.show();
        QStringList order;
        QWidget* w = Control<QWidget>(dlg, "okButton");
        do {
            if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isVisibleTo(&dlg))
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != Control<QWidget>(dlg, "okButton") && order.size() < 50);
        QCOMPARE(order, QStringList({"okButton", "cancelButton", "loadButton", "levelButton0",
                                     "htmlCheck", "commentCheck"}));
    }

    // Template arrangement: OK and Cancel at the top right, the file row above
    // the five level buttons, all controls whole and apart, at the dialog
    // font and at a much larger one.
    void arrangement_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::newRow("dialog font 9 pt") << 0;
        QTest::newRow("large font 20 pt") << 20;
    }

    void arrangement()
    {
        QFETCH(int, pointSize);
        CJestSettingsDlg dlg;
        if (pointSize) {
            QFont big = dlg.font();
            big.setPointSize(pointSize);
            dlg.setFont(big);
        }
        dlg.m_strRuleFile = "/a/rather/long/path/to/a/rule/file/named/jest.rules";
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const auto rect = [&dlg](const char* name) {
            QWidget* w = Control<QWidget>(dlg, name);
            return QRect(w->mapTo(&dlg, QPoint(0, 0)), w->size());
        };
        const QRect ok = rect("okButton"), cancel = rect("cancelButton"), group = rect("frequencyGroup"),
                    filter = rect("filterGroup"), path = rect("ruleFileEdit");
        QVERIFY(ok.left() > group.right() && ok.bottom() < cancel.top());
        QVERIFY(ok.top() < dlg.height() / 4 && ok.right() > dlg.width() * 3 / 4);
        QVERIFY(cancel.bottom() < filter.top() && filter.left() > group.right());
        QVERIFY(rect("fileNameLabel").right() < path.left());
        QVERIFY(path.right() < rect("loadButton").left());
        QVERIFY(path.bottom() < rect("levelButton0").top());
        QVERIFY(rect("levelButton0").left() > rect("fileNameLabel").left());  // indented
        for (int i = 1; i < 5; ++i)
            QVERIFY(rect(kLevelButtons[i - 1]).bottom() < rect(kLevelButtons[i]).top());
        QVERIFY(rect("htmlCheck").bottom() < rect("commentCheck").top());

        // Every control shows its whole text and overlaps no other one.
        const char* const leaves[] = {"okButton", "cancelButton", "loadButton", "levelButton0", "levelButton1",
                                      "levelButton2", "levelButton3", "levelButton4", "htmlCheck",
                                      "commentCheck", "fileNameLabel", "ruleFileEdit"};
        for (const char* a : leaves) {
            QWidget* w = Control<QWidget>(dlg, a);
            QVERIFY2(w->width() >= w->minimumSizeHint().width() &&
                         w->height() >= w->minimumSizeHint().height(),
                     a);
            QVERIFY2(dlg.rect().contains(rect(a)), a);
            for (const char* b : leaves)
                if (a != b)
                    QVERIFY2(!rect(a).intersects(rect(b)), qPrintable(QStringLiteral("%1 / %2").arg(a, b)));
        }
        QVERIFY(group.contains(rect("levelButton4")) && filter.contains(rect("commentCheck")));
    }

    // Members go to the controls when the dialog opens.
    void exchangeToControls_data()
    {
        QTest::addColumn<int>("frequency");
        QTest::addColumn<int>("html");
        QTest::addColumn<int>("comment");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("construction values") << -1 << 0 << 0 << QByteArray();
        QTest::newRow("level 0, HTML") << 0 << 1 << 0 << QByteArray("/tmp/a.rules");
        QTest::newRow("level 2, comments") << 2 << 0 << 1 << QByteArray("/x/y");
        QTest::newRow("level 4, both") << 4 << 1 << 1 << QFile::encodeName(QStringLiteral("/tmp/規則.txt"));
        QTest::newRow("out of range") << 7 << 0 << 0 << QByteArray();
    }

    void exchangeToControls()
    {
        QFETCH(int, frequency);
        QFETCH(int, html);
        QFETCH(int, comment);
        QFETCH(QByteArray, path);
        CJestSettingsDlg dlg;
        QCOMPARE(dlg.m_nFrequency, -1);
        // A button checked before opening must not survive the exchange.
        Control<QRadioButton>(dlg, "levelButton1")->setChecked(true);
        dlg.m_nFrequency = frequency;
        dlg.m_bHtml = html;
        dlg.m_bCppComment = comment;
        dlg.m_strRuleFile = Bytes(path);
        dlg.show();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(Control<QRadioButton>(dlg, kLevelButtons[i])->isChecked(), i == frequency);
        QCOMPARE(Control<QCheckBox>(dlg, "htmlCheck")->isChecked(), html != 0);
        QCOMPARE(Control<QCheckBox>(dlg, "commentCheck")->isChecked(), comment != 0);
        QCOMPARE(Control<QLineEdit>(dlg, "ruleFileEdit")->text(), QFile::decodeName(path));
    }

    // Controls go back to the members on OK only; each level button gives its
    // index.
    void exchangeBack_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("stored");
        for (int i = 0; i < 5; ++i)
            QTest::addRow("OK, %s", kLevelButtons[i]) << i << int(End::Ok) << true;
        QTest::newRow("Cancel") << 4 << int(End::Cancel) << false;
        QTest::newRow("window closed") << 4 << int(End::Close) << false;
        QTest::newRow("Escape") << 0 << int(End::Escape) << false;
    }

    void exchangeBack()
    {
        QFETCH(int, button);
        QFETCH(int, end);
        QFETCH(bool, stored);
        CFakeUiSeam seam;
        CJestSettingsDlg dlg;
        dlg.m_nFrequency = 2;
        dlg.m_strRuleFile = "/old.rules";
        const int result = User(
            [&](CJestSettingsDlg& d) {
                Click(d, kLevelButtons[button]);
                Click(d, "htmlCheck");
                Click(d, "commentCheck");
                PickRuleFile(seam, d, QStringLiteral("/new.rules"));
                // The pick alone already sets the member; OK is what counts
                // for the others.
                QCOMPARE(d.m_nFrequency, 2);
                QCOMPARE(d.m_bHtml, 0);
            },
            End(end))(dlg);
        QCOMPARE(result, stored ? 1 : 2);
        QCOMPARE(dlg.m_nFrequency, stored ? button : 2);
        QCOMPARE(dlg.m_bHtml, stored ? 1 : 0);
        QCOMPARE(dlg.m_bCppComment, stored ? 1 : 0);
    }

    void noLevelCheckedGivesMinusOne()
    {
        CJestSettingsDlg dlg;  // -1: no button checked, none can be unchecked
        QCOMPARE(User([](CJestSettingsDlg& d) { Click(d, "levelButton2"); Click(d, "levelButton2"); })(dlg), 1);
        QCOMPARE(dlg.m_nFrequency, 2);
        CJestSettingsDlg untouched;
        QCOMPARE(User(nullptr)(untouched), 1);
        QCOMPARE(untouched.m_nFrequency, -1);
    }

    // A rule-file name that is not valid UTF-8 comes back byte for byte.
    void ruleFileBytesKept()
    {
        const CByteString name("/tmp/\x82\xA0\xFF.rules");
        CJestSettingsDlg dlg;
        dlg.m_strRuleFile = name;
        QCOMPARE(User(nullptr)(dlg), 1);
        QCOMPARE(dlg.m_strRuleFile, name);
    }

    // The user cannot type into the path box, paste into it or clear it.
    void pathBoxReadOnly()
    {
        CJestSettingsDlg dlg;
        dlg.m_strRuleFile = "/kept.rules";
        dlg.show();
        auto* box = Control<QLineEdit>(dlg, "ruleFileEdit");
        QVERIFY(box->isReadOnly());
        QVERIFY(!(box->focusPolicy() & Qt::TabFocus));
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("typed"));
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->text(), QStringLiteral("/kept.rules"));
        Click(dlg, "okButton");
        QCOMPARE(dlg.m_strRuleFile, CByteString("/kept.rules"));
    }

    // "ロード...": a cancelled pick changes nothing, the last pick wins, the
    // file is not looked at.
    void loadButton()
    {
        CFakeUiSeam seam;
        CJestSettingsDlg dlg;
        dlg.m_strRuleFile = "/before.rules";
        dlg.show();
        auto* box = Control<QLineEdit>(dlg, "ruleFileEdit");
        seam.openAnswers.push_back(std::nullopt);
        Click(dlg, "loadButton");
        QCOMPARE(box->text(), QStringLiteral("/before.rules"));
        QCOMPARE(dlg.m_strRuleFile, CByteString("/before.rules"));
        const QString missing = Path(QStringLiteral("does-not-exist/規則.rules"));
        PickRuleFile(seam, dlg, Path(QStringLiteral("first.rules")));
        PickRuleFile(seam, dlg, missing);
        QCOMPARE(box->text(), missing);
        QCOMPARE(dlg.m_strRuleFile, Bytes(QFile::encodeName(missing)));
        QCOMPARE(seam.fileDialogTitles, QStringList(3, QStringLiteral("開く")));
        QVERIFY(seam.messages.isEmpty());
    }

    // ---- the settings command ----

    // The dialog opens with the document's settings; Cancel rewrites nothing.
    void opensWithInitialSettings()
    {
        CFakeUiSeam seam;
        auto h = Start();
        const QByteArray before = h.view()->GetWindowText();
        const int reads = seam.clockReads;
        bool seen = false;
        seam.doModal = User(
            [&](CJestSettingsDlg& d) {
                seen = true;
                for (int i = 0; i < 5; ++i)
                    QCOMPARE(Control<QRadioButton>(d, kLevelButtons[i])->isChecked(), i == 2);
                QVERIFY(!Control<QCheckBox>(d, "htmlCheck")->isChecked());
                QVERIFY(!Control<QCheckBox>(d, "commentCheck")->isChecked());
                QVERIFY(Control<QLineEdit>(d, "ruleFileEdit")->text().isEmpty());
            },
            End::Cancel);
        h.doc()->OnSettingsJest();
        QVERIFY(seen);
        QCOMPARE(seam.modalCount, 1);
        QCOMPARE(h.view()->GetWindowText(), before);
        QCOMPARE(seam.clockReads, reads);
        h.Exit();
    }

    // OK with a new rule file, then OK without change: the file is read once
    // (edits to it take no effect), every OK rewrites with a fresh seed.
    void okLoadsOnceAndReloadsEveryTime()
    {
        CFakeUiSeam seam;
        auto h = Start();
        const QString rulesPath = Path(QStringLiteral("a.rules"));
        const CRuleSet rulesA = RulesFrom(kRulesA, rulesPath);

        seam.now = 1111111111;
        seam.doModal = User([&](CJestSettingsDlg& d) { PickRuleFile(seam, d, rulesPath); });
        h.doc()->OnSettingsJest();
        QVERIFY(seam.messages.isEmpty());
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesA));
        QCOMPARE(h.view()->GetWindowText(), Rewrite(rulesA, kText, seam.now, 2, false, false));

        // The rule file changes on disk; OK without change keeps the rules.
        WriteFile(rulesPath, kRulesB);
        const CRuleSet edited = RulesFrom(kRulesB, Path(QStringLiteral("b-copy.rules")));
        seam.now = 1222222222;
        QVERIFY(Rewrite(rulesA, kText, seam.now, 2, false, false) !=
                Rewrite(rulesA, kText, 1111111111, 2, false, false));
        QVERIFY(Rewrite(rulesA, kText, seam.now, 2, false, false) !=
                Rewrite(edited, kText, seam.now, 2, false, false));
        const int reads = seam.clockReads;
        bool shown = false;
        seam.doModal = User([&](CJestSettingsDlg& d) {
            shown = true;
            QCOMPARE(Control<QLineEdit>(d, "ruleFileEdit")->text(), rulesPath);
        });
        h.doc()->OnSettingsJest();
        QVERIFY(shown);
        QVERIFY(seam.clockReads > reads);
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesA));
        QCOMPARE(h.view()->GetWindowText(), Rewrite(rulesA, kText, seam.now, 2, false, false));

        // Picking the same file again gives an equal name: still not read.
        seam.doModal = User([&](CJestSettingsDlg& d) { PickRuleFile(seam, d, rulesPath); });
        h.doc()->OnSettingsJest();
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesA));
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    // The box emptied by its button: OK goes back to the built-in rules,
    // without a word.
    void emptiedBoxMeansBuiltInRules()
    {
        CFakeUiSeam seam;
        auto h = Start();
        h.doc()->m_ruleSet = RulesFrom(kRulesA, Path(QStringLiteral("a.rules")));
        seam.doModal = User([&](CJestSettingsDlg& d) {
            d.findChild<QAction*>(QStringLiteral("clearRuleFileAction"))->trigger();
        });
        h.doc()->OnSettingsJest();
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(CRuleSet()));
        QCOMPARE(h.view()->GetWindowText(), Rewrite(CRuleSet(), kText, seam.now, 2, false, false));
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    // Level and filters are stored on OK and the text is the engine's.
    void settingsTakeEffect_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("html");
        QTest::addColumn<bool>("comments");
        QTest::newRow("level 0") << 0 << false << false;
        QTest::newRow("level 1, HTML") << 1 << true << false;
        QTest::newRow("level 3, comments") << 3 << false << true;
        QTest::newRow("level 4, both filters") << 4 << true << true;
    }

    void settingsTakeEffect()
    {
        QFETCH(int, level);
        QFETCH(bool, html);
        QFETCH(bool, comments);
        // Markup whose result depends on the filters' order: tags first, the
        // comment "/*->b*/" is then gone with its tag.
        const QByteArray raw = kText + "a<!-- /* -->b*/c<i>d</i> // e <f>\r\ng /* h */ i\r\n";
        const QString path = Path(QStringLiteral("markup.txt"));
        WriteFile(path, raw);
        CFakeUiSeam seam;
        auto h = StartJestpad({path});
        QVERIFY(h.started);
        const CRuleSet builtIn;
        seam.now = 1333333333 + level;
        seam.doModal = User([&](CJestSettingsDlg& d) {
            Click(d, kLevelButtons[level]);
            if (html)
                Click(d, "htmlCheck");
            if (comments)
                Click(d, "commentCheck");
        });
        h.doc()->OnSettingsJest();
        QCOMPARE(h.doc()->m_options.m_nLevel, level);
        QCOMPARE(h.doc()->m_options.m_bHtmlFilter, html);
        QCOMPARE(h.doc()->m_options.m_bCommentFilter, comments);
        const QByteArray expected = Rewrite(builtIn, raw, seam.now, level, html, comments);
        QCOMPARE(h.view()->GetWindowText(), expected);
        if (html && comments) {
            CByteString other = Bytes(Rewrite(builtIn, raw, seam.now, level, false, false));
            StripComments(other);
            StripHtmlTags(other);
            QVERIFY(QByteArray::fromStdString(other) != expected);
        }
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    // Failed loads keep the rules in use and their name; the reload uses them.
    void failedLoad_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");  // empty: the file is not there
        QTest::addColumn<QStringList>("messages");
        // %1: the file's path.
        QTest::newRow("missing file") << QStringLiteral("missing.rules") << QByteArray()
                                      << QStringList{QStringLiteral("設定ファイル「%1」が見つかりません。"), kLoadFailed};
        QTest::newRow("a directory")
            << QStringLiteral("adir") << QByteArray()
            << QStringList{QStringLiteral("「%1」は通常のファイルではないので、設定ファイルとして読み込めません。"),
                           kLoadFailed};
        QTest::newRow("bad line 3") << QStringLiteral("bad.rules") << kRulesBadLine3
                                    << QStringList{QStringLiteral("第3行で読み込みエラーが起きました。"),
                                                   kLoadFailed};
    }

    void failedLoad()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, messages);
        QDir(m_dir.path()).mkdir(QStringLiteral("adir"));
        const QString goodPath = Path(QStringLiteral("good.rules"));
        const CRuleSet rulesA = RulesFrom(kRulesA, goodPath);
        const QString badPath = Path(file);
        if (!content.isEmpty())
            WriteFile(badPath, content);

        CFakeUiSeam seam;
        auto h = Start();
        seam.doModal = User([&](CJestSettingsDlg& d) { PickRuleFile(seam, d, goodPath); });
        h.doc()->OnSettingsJest();
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesA));

        seam.now = 1444444444;
        seam.doModal = User([&](CJestSettingsDlg& d) {
            Click(d, "levelButton4");
            PickRuleFile(seam, d, badPath);
        });
        h.doc()->OnSettingsJest();
        for (QString& message : messages)
            message.replace(QStringLiteral("%1"), badPath);
        QCOMPARE(seam.messages, messages);
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesA));
        QCOMPARE(h.doc()->m_options.m_nLevel, 4);
        QCOMPARE(h.view()->GetWindowText(), Rewrite(rulesA, kText, seam.now, 4, false, false));

        // The dialog names the rules in use next time.
        bool shown = false;
        seam.doModal = User(
            [&](CJestSettingsDlg& d) {
                shown = true;
                QCOMPARE(Control<QLineEdit>(d, "ruleFileEdit")->text(), goodPath);
            },
            End::Cancel);
        h.doc()->OnSettingsJest();
        QVERIFY(shown);
        h.Exit();
    }

    // A rule file broken by CR alone loads no rule, and the user is told.
    void crOnlyRuleFile()
    {
        const QString path = Path(QStringLiteral("cr.rules"));
        WriteFile(path, "r \x81\x42 !!\rb \x81\x41 <X>\r");
        CFakeUiSeam seam;
        auto h = Start();
        seam.doModal = User([&](CJestSettingsDlg& d) { PickRuleFile(seam, d, path); });
        h.doc()->OnSettingsJest();
        QCOMPARE(seam.messages, QStringList{QStringLiteral("設定ファイル「%1」には LF の改行がない (CR だけの改行です) "
                                                           "ため、規則を1つも読み込みませんでした。").arg(path)});
        QCOMPARE(h.doc()->m_ruleSet.GetGroupCount(), 0);
        QCOMPARE(h.view()->GetWindowText(), kText);
        h.Exit();
    }

    // Cancel after a pick: settings, rules and text stay, nothing is reloaded.
    void cancelAfterPick()
    {
        const QString rulesPath = Path(QStringLiteral("cancel.rules"));
        WriteFile(rulesPath, kRulesB);
        CFakeUiSeam seam;
        auto h = Start();
        const QByteArray rulesBefore = Dump(h.doc()->m_ruleSet);
        const QByteArray textBefore = h.view()->GetWindowText();
        const int reads = seam.clockReads;
        seam.now += 100;
        seam.doModal = User(
            [&](CJestSettingsDlg& d) {
                PickRuleFile(seam, d, rulesPath);
                Click(d, "levelButton3");
                Click(d, "htmlCheck");
            },
            End::Cancel);
        h.doc()->OnSettingsJest();
        QCOMPARE(Dump(h.doc()->m_ruleSet), rulesBefore);
        QCOMPARE(h.doc()->m_options.m_nLevel, 2);
        QCOMPARE(h.doc()->m_options.m_bHtmlFilter, false);
        QCOMPARE(h.view()->GetWindowText(), textBefore);
        QCOMPARE(seam.clockReads, reads);
        QVERIFY(seam.messages.isEmpty());
        h.Exit();
    }

    // Untitled: OK stores the settings and loads the rules, rewrites nothing.
    void untitledStoresOnly()
    {
        const QString rulesPath = Path(QStringLiteral("untitled.rules"));
        const CRuleSet rulesB = RulesFrom(kRulesB, rulesPath);
        CFakeUiSeam seam;
        auto h = Start(true);
        QVERIFY(h.doc()->GetPathName().isEmpty());
        const QByteArray textBefore = h.view()->GetWindowText();
        const int reads = seam.clockReads;
        seam.doModal = User([&](CJestSettingsDlg& d) {
            Click(d, "levelButton0");
            Click(d, "commentCheck");
            PickRuleFile(seam, d, rulesPath);
        });
        h.doc()->OnSettingsJest();
        QCOMPARE(h.doc()->m_options.m_nLevel, 0);
        QCOMPARE(h.doc()->m_options.m_bCommentFilter, true);
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesB));
        QCOMPARE(h.view()->GetWindowText(), textBefore);
        QCOMPARE(seam.clockReads, reads);
        h.Exit();
    }

    // A rule file under a Japanese folder and name loads by its bytes.
    void japanesePathLoads()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("ルール集")));
        const QString rulesPath = Path(QStringLiteral("ルール集/冗談の規則.txt"));
        const CRuleSet rulesB = RulesFrom(kRulesB, rulesPath);
        CFakeUiSeam seam;
        auto h = Start();
        seam.now = 1555555555;
        seam.doModal = User([&](CJestSettingsDlg& d) { PickRuleFile(seam, d, rulesPath); });
        h.doc()->OnSettingsJest();
        QVERIFY(seam.messages.isEmpty());
        QCOMPARE(h.doc()->m_ruleSet.GetFileName(), Bytes(QFile::encodeName(rulesPath)));
        QCOMPARE(Dump(h.doc()->m_ruleSet), Dump(rulesB));
        QCOMPARE(h.view()->GetWindowText(), Rewrite(rulesB, kText, seam.now, 2, false, false));
        h.Exit();
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
