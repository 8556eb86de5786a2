// Everyday use of the window: find, the layout kept between runs, dropped
// files, the file dialogs' starting places, and the preview, menu and
// settings dialog details.
#include "Afx.h"
#include "DisplayDecoder.h"
#include "FakeUiSeam.h"
#include "FindBar.h"
#include "JestSettingsDlg.h"
#include "JestpadHarness.h"
#include "NativePath.h"
#include "Resource.h"
#include "TextFinder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsItem>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrintPreviewWidget>
#include <QStatusBar>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

QByteArray Cp932(const QString& text)
{
    return QStringEncoder("windows-31j").encode(text);
}

QString Matches(const QList<CTextMatch>& matches)
{
    QStringList parts;
    for (const CTextMatch& m : matches)
        parts << QStringLiteral("%1-%2").arg(m.start).arg(m.end);
    return parts.join(u',');
}

}  // namespace

class CUseTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString MakeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }
    static void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }

private slots:
    void init() { PrepareTestSettings(); }
    void cleanupTestCase() { PrepareTestSettings(); }

    void finder_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("matchWidth");
        QTest::addColumn<QString>("expected");
        const QString abc = QStringLiteral("abcABCａｂｃ");
        QTest::newRow("neither") << abc << "abc" << false << false << "0-3,3-6,6-9";
        QTest::newRow("case") << abc << "abc" << true << false << "0-3,6-9";
        QTest::newRow("width") << abc << "abc" << false << true << "0-3,3-6";
        QTest::newRow("both") << abc << "abc" << true << true << "0-3";
        QTest::newRow("half-width kana") << QStringLiteral("ｶﾀｶﾅとカタカナ") << "カタカナ" << false
                                         << false << "0-4,5-9";
        QTest::newRow("voiced marks compose") << QStringLiteral("ｶﾞｷﾞ") << "ギ" << false << false
                                              << "2-4";
        QTest::newRow("voiced kana is not plain") << QStringLiteral("ｷﾞ") << "ｷ" << false << false
                                                  << "";
        QTest::newRow("across a break hint") << QStringLiteral("ab\u200Bcd") << "bc" << true << true
                                             << "1-4";
        QTest::newRow("hint before a voiced mark") << QStringLiteral("ｶ\u200Bﾞ") << "ガ" << false
                                                   << false << "0-3";
        QTest::newRow("one expanded character") << QStringLiteral("⑪") << "1" << false << false
                                                << "0-1";
        QTest::newRow("empty word") << abc << "" << false << false << "";
    }

    void finder()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, matchCase);
        QFETCH(bool, matchWidth);
        QFETCH(QString, expected);
        CTextFinder finder;
        finder.SetText(text, QChar(0x200B));
        finder.SetOptions({matchCase, matchWidth});
        QCOMPARE(Matches(finder.FindAll(pattern)), expected);
    }

    // Typing, Enter/F3 and back, wrap-around, the options, copy and Esc.
    void findBar()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad(
            {MakeFile(QStringLiteral("find.txt"), Cp932(QStringLiteral("abc ABC ＡＢＣ x\r\nabc")))});
        QVERIFY(QTest::qWaitForWindowActive(h.frame()));
        CFindBar* bar = h.frame()->GetFindBar();
        QVERIFY(bar->isHidden());
        Key(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), bar->GetEdit());
        const auto state = [&] {
            const QTextCursor c = h.view()->textCursor();
            return QStringLiteral("%1-%2 %3").arg(c.selectionStart()).arg(c.selectionEnd()).arg(
                bar->GetStatusText());
        };
        QTest::keyClicks(bar->GetEdit(), QStringLiteral("ab"));
        QCOMPARE(state(), QStringLiteral("0-2 1 / 4 件"));
        QTest::keyClicks(bar->GetEdit(), QStringLiteral("c"));
        QCOMPARE(state(), QStringLiteral("0-3 1 / 4 件"));
        QCOMPARE(h.view()->extraSelections().size(), 4);
        const QStringList steps = {
            "2:Return:4-7 2 / 4 件",
            "0:F3:8-11 3 / 4 件",
            "0:F3:14-17 4 / 4 件",
            "0:F3:0-3 1 / 4 件  末尾に達したので先頭から検索しました",
            "1:F3:14-17 4 / 4 件  先頭に達したので末尾から検索しました",
            "1:Return:8-11 3 / 4 件",
        };
        for (const QString& step : steps) {
            const QStringList f = step.split(u':');
            const int key = f[1] == u"F3" ? Qt::Key_F3 : Qt::Key_Return;
            Key(key, f[0] == u"1" ? Qt::ShiftModifier : Qt::NoModifier);
            QCOMPARE(state(), f[2]);
        }
        // Ctrl+C in the box copies the selected match.
        Key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ＡＢＣ"));
        // Options search again from the current place.
        bar->GetMatchWidth()->setChecked(true);
        QCOMPARE(state(), QStringLiteral("14-17 3 / 3 件"));
        bar->GetMatchCase()->setChecked(true);
        QCOMPARE(state(), QStringLiteral("14-17 2 / 2 件"));
        QTest::keyClicks(bar->GetEdit(), QStringLiteral("q"));
        QCOMPARE(state(), QStringLiteral("14-14 見つかりません"));
        QVERIFY(h.view()->extraSelections().isEmpty());
        QVERIFY(bar->GetEdit()->palette().color(QPalette::Base) !=
                bar->palette().color(QPalette::Base));
        Key(Qt::Key_Escape);
        QVERIFY(bar->isHidden());
        QCOMPARE(QApplication::focusWidget(), h.view());
        h.Exit();
    }

    void layoutRestored_data()
    {
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<bool>("onScreen");
        QTest::newRow("on screen") << QPoint(60, 40) << true;
        QTest::newRow("off every screen") << QPoint(5000, 4000) << false;
        QTest::newRow("99 % off") << QPoint(795, 40) << false;
    }

    // Size, place, tool bar side, status bar and font come back next time.
    void layoutRestored()
    {
        QFETCH(QPoint, place);
        QFETCH(bool, onScreen);
        CFakeUiSeam seam;
        QFont font(QStringLiteral("IPAGothic"), 15);
        seam.fontAnswers.push_back(font);
        {
            auto h = StartJestpad();
            QVERIFY(QTest::qWaitForWindowExposed(h.frame()));
            h.frame()->resize(500, 380);
            h.frame()->move(place);
            h.frame()->addToolBar(Qt::LeftToolBarArea, h.frame()->GetToolBar());
            h.frame()->RouteCommand(ID_VIEW_STATUS_BAR);
            h.frame()->RouteCommand(ID_SETTINGS_FONT);
            h.Exit();
        }
        auto h = StartJestpad();
        QVERIFY(QTest::qWaitForWindowExposed(h.frame()));
        QCOMPARE(h.frame()->size(), QSize(500, 380));
        // A window (almost) off the screen comes back whole onto it.
        if (onScreen)
            QCOMPARE(h.frame()->pos(), place);
        else
            QVERIFY(h.frame()->screen()->availableGeometry().contains(h.frame()->frameGeometry()));
        QCOMPARE(h.frame()->toolBarArea(h.frame()->GetToolBar()), Qt::LeftToolBarArea);
        QVERIFY(h.frame()->statusBar()->isHidden());
        QCOMPARE(h.view()->font(), font);
        h.Exit();
    }

    // The find bar fits the window it is given, notes and all, and never
    // widens it.
    void findBarFits_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("note");
        QTest::newRow("narrow: rows below") << 300 << 2 << "1 / 2 件  末尾に達したので先頭から検索しました";
        QTest::newRow("wide: one row") << 790 << 1 << "2 / 2 件";
    }

    void findBarFits()
    {
        QFETCH(int, width);
        QFETCH(int, steps);
        QFETCH(QString, note);
        CFakeUiSeam seam;
        auto h = StartJestpad({MakeFile(QStringLiteral("fit.txt"), "abc abc")});
        QVERIFY(QTest::qWaitForWindowExposed(h.frame()));
        h.frame()->resize(width, 300);
        CFindBar* bar = h.frame()->GetFindBar();
        h.frame()->RouteCommand(ID_EDIT_FIND);
        QTest::keyClicks(bar->GetEdit(), QStringLiteral("abc"));
        for (int i = 0; i < steps; ++i)
            h.frame()->RouteCommand(ID_EDIT_FIND_NEXT);
        QApplication::processEvents();
        QCOMPARE(h.frame()->width(), width);
        // The notes whole: wide enough, or wrapped and tall enough.
        QLabel* status = bar->findChildren<QLabel*>().last();
        QCOMPARE(status->text(), note);
        QVERIFY(status->height() >= status->heightForWidth(status->width()));
        QCOMPARE(status->y() < bar->GetEdit()->geometry().bottom(), width > 300);
        h.Exit();
    }

    void drop_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("message");
        QTest::newRow("one file") << 1 << QStringLiteral("ﾚﾃﾞｨ");
        QTest::newRow("three files")
            << 3 << QStringLiteral("最初のﾌｧｲﾙだけを開きました。ほかの 2 個は無視しました。");
    }

    void drop()
    {
        QFETCH(int, count);
        QFETCH(QString, message);
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls << QUrl::fromLocalFile(MakeFile(QStringLiteral("drop%1.txt").arg(i), "x"));
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.frame(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.frame(), &drop);
        QCOMPARE(h.doc()->GetPathName(), urls.first().toLocalFile());
        QCOMPARE(h.frame()->GetMessageText(), message);
        QVERIFY(!h.view()->viewport()->acceptDrops());
        // The next open makes the note old news.
        seam.openAnswers.push_back(urls.last().toLocalFile());
        h.frame()->RouteCommand(ID_FILE_OPEN);
        QCOMPARE(h.frame()->GetMessageText(), QStringLiteral("ﾚﾃﾞｨ"));
        h.Exit();
    }

    // Where 開く and 名前を付けて保存 start, through the seam.
    void dialogStarts()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        const QString path = MakeFile(QStringLiteral("note.txt"), "x");
        const QString folder = m_dir.path();
        const auto run = [&](int id) {
            h.frame()->RouteCommand(id);
            return seam.fileDialogStarts.takeLast();
        };
        QCOMPARE(run(ID_FILE_SAVE_AS), QStringLiteral("無題.txt"));
        seam.openAnswers.push_back(path);
        QCOMPARE(run(ID_FILE_OPEN), QString());
        QCOMPARE(run(ID_FILE_SAVE_AS), folder + QStringLiteral("/note_jest.txt"));
        QCOMPARE(run(ID_FILE_OPEN), folder);
        h.frame()->RouteCommand(ID_FILE_NEW);
        QCOMPARE(run(ID_FILE_SAVE_AS), folder + QStringLiteral("/無題.txt"));
        QCOMPARE(run(ID_FILE_OPEN), folder);
        h.Exit();
    }

    void proposedName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extension") << "/d/a.txt" << "/d/a_jest.txt";
        QTest::newRow("two dots") << "/d/a.tar.gz" << "/d/a.tar_jest.gz";
        QTest::newRow("no extension") << "/d/README" << "/d/README_jest";
        QTest::newRow("dot file") << "/d/.notes" << "/d/.notes_jest";
        // A Shift-JIS name, as the caption reads it; the folder keeps its bytes.
        QTest::newRow("Shift-JIS name")
            << PathFromNative("/d\x82/" + Cp932(QStringLiteral("日本.txt")))
            << PathFromNative("/d\x82/") + QStringLiteral("日本_jest.txt");
    }

    void proposedName()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CJestpadDoc::SaveNameFor(path, QString()), expected);
    }

    // The real rule-file dialog: no file types, a new name is taken, and the
    // places asked for are offered.
    void ruleFileDialog()
    {
        const QString absent = m_dir.filePath(QStringLiteral("absent.rules"));
        bool typeRowShown = true;
        bool offered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            typeRowShown = dialog->findChild<QWidget*>(QStringLiteral("fileTypeCombo"))->isVisible();
            offered = dialog->sidebarUrls().contains(QUrl::fromLocalFile(m_dir.path()));
            dialog->selectFile(absent);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        QCOMPARE(CUiSeam::Get().GetAnyFileName(nullptr, QStringLiteral("開く"), {m_dir.path()}), absent);
        QVERIFY(!typeRowShown);
        QVERIFY(offered);
    }

    // Page keys at once, a 閉じる button, 印刷 shown, pages 1 and 2 side by side.
    void preview()
    {
        CFakeUiSeam seam;
        QStringList facts;
        seam.doModal = [&](QDialog& dialog) {
            dialog.show();
            if (!QTest::qWaitForWindowActive(&dialog))
                return 2;
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            Key(Qt::Key_PageDown);
            Key(Qt::Key_PageDown);
            facts << QString::number(preview->currentPage());
            Key(Qt::Key_PageUp);
            facts << QString::number(preview->currentPage());
            auto* bar = dialog.findChild<QToolBar*>();
            for (QAction* action : bar->actions()) {
                if (QWidget* button = bar->widgetForAction(action); button && !action->isSeparator())
                    facts << action->iconText() + QChar(button->isVisible() ? u'+' : u'-');
            }
            preview->setViewMode(QPrintPreviewWidget::FacingPagesView);
            QList<QGraphicsItem*> pages = dialog.findChild<QGraphicsView*>()->scene()->items();
            std::sort(pages.begin(), pages.end(), [](auto* a, auto* b) {
                return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
            });
            facts << QStringLiteral("%1 %2").arg(pages[1]->y() == pages[0]->y()).arg(
                         pages[2]->y() > pages[1]->y());
            // Most of the screen (whole pages fitted in it); Alt+C presses 閉じる.
            const QSize screen = dialog.screen()->availableSize();
            facts << QString::number(dialog.width() >= screen.width() * 4 / 5 &&
                                     dialog.height() >= screen.height() * 4 / 5);
            Key(Qt::Key_C, Qt::AltModifier);
            facts << QString::number(dialog.isVisible());
            return 2;
        };
        QByteArray text;
        for (int i = 0; i < 300; ++i)
            text += "line " + QByteArray::number(i) + "\r\n";
        auto h = StartJestpad({MakeFile(QStringLiteral("pages.txt"), text)});
        h.frame()->RouteCommand(ID_FILE_PRINT_PREVIEW);
        QCOMPARE(facts.mid(0, 2), QStringList({"3", "2"}));
        QVERIFY2(facts.contains(QStringLiteral("印刷+")), qPrintable(facts.join(u' ')));
        QCOMPARE(facts.mid(facts.size() - 4), QStringList({"閉じる(C)+", "1 1", "1", "0"}));
        h.Exit();
    }

    void grayedPrompt_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("copy") << int(ID_EDIT_COPY) << "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存";
        QTest::newRow("select all") << int(ID_EDIT_SELECT_ALL) << "ﾌｧｲﾙ全体を選択";
        QTest::newRow("recent files") << int(ID_FILE_MRU_FIRST) << "指定のﾌｧｲﾙを開く";
    }

    void grayedPrompt()
    {
        QFETCH(int, id);
        QFETCH(QString, prompt);
        CFakeUiSeam seam;
        auto h = StartJestpad();
        QAction* item = h.frame()->GetAction(id);
        h.frame()->UpdateCmdUI();
        QVERIFY(!item->isEnabled());
        QMenu* menu = nullptr;
        for (QObject* o : item->associatedObjects())
            menu = menu ? menu : qobject_cast<QMenu*>(o);
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::mouseMove(menu, menu->actionGeometry(item).center());
        QTRY_COMPARE(h.frame()->GetMessageText(), prompt);
        menu->hide();
        QTRY_COMPARE(h.frame()->GetMessageText(), QStringLiteral("ﾚﾃﾞｨ"));
        h.Exit();
    }

    // A NUL byte shows as a symbol that the view's and the IPA fonts draw.
    void nulGlyph()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad();
        const char32_t nul = Cp932ToDisplay(QByteArray(1, '\0')).at(0).unicode();
        for (const QFont& font : {h.view()->font(), QFont(QStringLiteral("ＭＳ 明朝")),
                                  QFont(QStringLiteral("ＭＳ Ｐゴシック"))})
            QVERIFY2(QFontMetrics(font).inFontUcs4(nul), qPrintable(QFontInfo(font).family()));
        h.Exit();
    }

    void levelTabStop_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("focused");
        QTest::newRow("多め") << 3 << "levelButton3";
        QTest::newRow("ほとんどなし") << 0 << "levelButton0";
        QTest::newRow("none") << -1 << "levelButton0";
    }

    // Tab from ロード... lands on the checked level button.
    void levelTabStop()
    {
        QFETCH(int, level);
        QFETCH(QString, focused);
        CJestpadApp::LoadResources();
        CJestSettingsDlg dlg;
        dlg.m_nFrequency = level;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.findChild<QWidget*>(QStringLiteral("loadButton"))->setFocus();
        Key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
    }
};

QTEST_MAIN(CUseTest)
#include "tst_use.moc"
