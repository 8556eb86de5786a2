// Files in every encoding through the whole window: open, reload, copy,
// Save As and the status pane, with no rule firing; the encoding chosen by
// the user; characters Save As cannot write; the size limit on disk bytes.
#include "Afx.h"
#include "DisplayDecoder.h"
#include "Encoding.h"
#include "FakeUiSeam.h"
#include "JestpadHarness.h"
#include "Resource.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Prose every encoding here can hold, and a line for those that hold more.
const QString kJis = QStringLiteral("今日は晴れです。散歩に行きました。\r\n猫が寝ています。\r\n");
const QString kMore = QStringLiteral("①～ｶﾅ\r\n");

QByteArray Encode(const QString& text, CEncoding to)
{
    std::string out;
    if (!EncodeFromUtf8(text.toStdString(), to, out))
        qFatal("cannot encode the sample");
    return QByteArray::fromStdString(out);
}

QString Shown(const QString& text)
{
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

class CEncodingTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    CFakeUiSeam m_seam;
    CJestpadHarness m_h;
    CRuleSet m_builtIn;

    QString MakeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }
    void Open(const QString& path)
    {
        m_seam.openAnswers.push_back(path);
        m_h.frame()->RouteCommand(ID_FILE_OPEN);
    }
    QByteArray SaveAs(const QString& name)
    {
        m_seam.saveAnswers.push_back(m_dir.filePath(name));
        m_h.frame()->RouteCommand(ID_FILE_SAVE_AS);
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    QString Pane() const { return m_h.frame()->GetIndicatorTexts().value(0); }
    bool Checked(int id)
    {
        m_h.frame()->UpdateCmdUI();
        return m_h.frame()->GetAction(id)->isChecked();
    }

private slots:
    void initTestCase()
    {
        PrepareTestSettings();
        m_h = StartJestpad();
        QVERIFY(m_h.started);
        // No rule fires: what is shown and saved is the file itself.
        m_builtIn = m_h.doc()->m_ruleSet;
        m_h.doc()->m_ruleSet.RemoveAllGroups();
    }
    void init() { m_seam.messages.clear(); m_seam.questions.clear(); }
    void cleanupTestCase() { m_h.Exit(); }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pane");
        const QString all = kJis + kMore;
        QTest::newRow("CP932") << Encode(all, {EncodingId::Cp932}) << all << "Shift_JIS";
        QTest::newRow("UTF-8") << Encode(all, {EncodingId::Utf8}) << all << "UTF-8";
        QTest::newRow("UTF-8 BOM") << Encode(all, {EncodingId::Utf8, true}) << all << "UTF-8 BOM";
        QTest::newRow("EUC-JP") << Encode(all, {EncodingId::EucJp}) << all << "EUC-JP";
        QTest::newRow("ISO-2022-JP") << Encode(kJis, {EncodingId::Iso2022Jp}) << kJis << "ISO-2022-JP";
        QTest::newRow("ISO-2022-JP yen") << QByteArray("a\x1b(J\\\x1b(B\r\n") << QStringLiteral("a¥\r\n")
                                         << "ISO-2022-JP";
        QTest::newRow("UTF-16LE BOM") << Encode(all, {EncodingId::Utf16Le, true}) << all << "UTF-16LE BOM";
        QTest::newRow("UTF-16BE BOM") << Encode(all, {EncodingId::Utf16Be, true}) << all << "UTF-16BE BOM";
    }
    // Open, reload, copy and Save As give back the file, byte for byte.
    void roundTrip()
    {
        QFETCH(QByteArray, bytes); QFETCH(QString, text); QFETCH(QString, pane);
        Open(MakeFile(QStringLiteral("in.txt"), bytes));
        for (int reload = 0; reload < 2; m_h.frame()->RouteCommand(ID_FILE_RELOAD), ++reload) {
            QCOMPARE(Pane(), pane);
            QCOMPARE(m_h.view()->GetDisplayText(), Shown(text));
        }
        m_h.frame()->RouteCommand(ID_EDIT_SELECT_ALL);
        m_h.frame()->RouteCommand(ID_EDIT_COPY);
        QCOMPARE(QApplication::clipboard()->text(), Shown(text));
        QCOMPARE(SaveAs(QStringLiteral("out.txt")), bytes);
        QCOMPARE(m_seam.messages, QStringList());
    }

    void chosenEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages");
        const QByteArray utf8 = Encode(kJis, {EncodingId::Utf8});
        const QByteArray sjis = Encode(kJis, {EncodingId::Cp932});
        QTest::newRow("UTF-8 as CP932") << utf8 << int(ID_FILE_REOPEN_CP932) << "Shift_JIS"
                                        << Cp932ToDisplay(utf8) << QStringList();
        QTest::newRow("CP932 as UTF-8, kept") << sjis << int(ID_FILE_REOPEN_UTF8) << "UTF-8"
                                              << QString::fromUtf8(sjis).replace(u'\r', QString())
                                              << QStringList();
        QTest::newRow("UTF-16LE without mark") << Encode(kJis, {EncodingId::Utf16Le}) << int(ID_FILE_REOPEN_UTF16LE)
                                               << "UTF-16LE" << Shown(kJis) << QStringList();
        QTest::newRow("odd bytes as UTF-16BE")
            << QByteArray("abc") << int(ID_FILE_REOPEN_UTF16BE) << "Shift_JIS" << "abc"
            << QStringList(QStringLiteral("このﾌｧｲﾙは UTF-16BE として読めません (1 行目)。Shift_JIS として開きます。"));
    }
    // The encoding chosen in the submenu holds for reloads and Save As, and
    // goes when another file is opened.
    void chosenEncoding()
    {
        QFETCH(QByteArray, bytes); QFETCH(int, command); QFETCH(QString, pane);
        QFETCH(QString, text); QFETCH(QStringList, messages);
        const QString path = MakeFile(QStringLiteral("chosen.txt"), bytes);
        Open(path);
        m_h.frame()->RouteCommand(command);
        m_h.frame()->RouteCommand(ID_FILE_RELOAD);
        QCOMPARE(Pane(), pane);
        QCOMPARE(m_h.view()->GetDisplayText(), text);
        QVERIFY(!Checked(ID_FILE_REOPEN_AUTO));
        QCOMPARE(SaveAs(QStringLiteral("chosen-out.txt")), bytes);
        QCOMPARE(m_seam.messages, messages + messages);
        Open(MakeFile(QStringLiteral("other.txt"), "ascii"));
        QVERIFY(Checked(ID_FILE_REOPEN_AUTO));
        QCOMPARE(Pane(), QStringLiteral("UTF-8"));
    }

    void unwritableCharacter_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes: UTF-8") << true;
        QTest::newRow("No: nothing written") << false;
    }
    // A character ISO-2022-JP cannot hold: named with its line, UTF-8 offered.
    void unwritableCharacter()
    {
        QFETCH(bool, yes);
        Open(MakeFile(QStringLiteral("jis.txt"), "a\x1b(J\\\x1b(B\r\n"));
        // As a rule would have brought it in.
        const QByteArray text = QStringLiteral("a¥\r\nb😀\r\n").toUtf8();
        m_h.view()->SetWindowText(text);
        MakeFile(QStringLiteral("jis-out.txt"), "old");
        m_seam.yesNoAnswers.push_back(yes);
        QCOMPARE(SaveAs(QStringLiteral("jis-out.txt")), yes ? text : QByteArray("old"));
        QCOMPARE(m_seam.questions, QStringList(QStringLiteral(
                     "2 行目の文字 U+1F600 (😀) は ISO-2022-JP では保存できません。\nUTF-8 で保存しますか?")));
        QCOMPARE(m_seam.messages, QStringList());
        QCOMPARE(Pane(), yes ? QStringLiteral("UTF-8") : QStringLiteral("ISO-2022-JP"));
    }

    void sizeLimitOnDisk_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("largest") << int(CJestpadView::kMaxTextBytes - 1) << QStringList();
        QTest::newRow("one unit more") << int(CJestpadView::kMaxTextBytes + 1)
                                       << QStringList(QStringLiteral("ﾌｧｲﾙが大きすぎて開けません。"));
    }
    // UTF-16 kana take half again as many bytes in the view: the limit is
    // the file's.
    void sizeLimitOnDisk()
    {
        QFETCH(int, size);
        QFETCH(QStringList, messages);
        QByteArray bytes("\xff\xfe");
        while (bytes.size() < size)
            bytes += QByteArray("\x42\x30", 2);  // あ
        m_h.doc()->OnNewDocument();
        Open(MakeFile(QStringLiteral("big.txt"), bytes));
        QCOMPARE(m_seam.messages, messages);
        QCOMPARE(m_h.view()->GetWindowText().size(), messages.isEmpty() ? (size - 2) / 2 * 3 : 0);
    }

    void sameRewriting_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::newRow("UTF-8") << int(EncodingId::Utf8);
        QTest::newRow("EUC-JP") << int(EncodingId::EucJp);
        QTest::newRow("UTF-16LE BOM") << int(EncodingId::Utf16Le);
    }
    // The built-in rules, every one firing, rewrite each encoding as they
    // rewrite CP932; Save As writes that in the file's encoding.
    void sameRewriting()
    {
        QFETCH(int, encoding);
        const CEncoding to{EncodingId(encoding), EncodingId(encoding) == EncodingId::Utf16Le};
        const QByteArray cp932 = Rewrite(CRuleSet(), Encode(kJis, {EncodingId::Cp932}), m_seam.now, 4, false, false);
        std::string utf8;
        QVERIFY(DecodeToUtf8(cp932.toStdString(), {EncodingId::Cp932}, utf8));
        const QString expected = QString::fromStdString(utf8);
        m_h.doc()->m_ruleSet = m_builtIn;
        m_h.doc()->m_nLevel = 4;
        Open(MakeFile(QStringLiteral("rules.txt"), Encode(kJis, to)));
        const QString shown = m_h.view()->GetDisplayText();
        const QByteArray saved = SaveAs(QStringLiteral("rules-out.txt"));
        m_h.doc()->m_ruleSet.RemoveAllGroups();
        m_h.doc()->m_nLevel = 2;
        QCOMPARE(shown, Shown(expected));
        QCOMPARE(saved, Encode(expected, to));
    }
};

QTEST_MAIN(CEncodingTest)
#include "tst_encoding.moc"
