// The framework's classes alone, with a stub document and a stub command.
#include "Afx.h"
#include "CmdTarget.h"
#include "Document.h"
#include "EditView.h"
#include "FakeUiSeam.h"
#include "FrameWnd.h"
#include "RecentFileList.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kStubCommand = 33000;

// Handles the stub command when asked to, noting in *ran that it ran.
template <class Base>
class CStub : public Base {
public:
    void HandleStub(QString* ran, const QString& name, bool enabled)
    {
        this->OnCommand(kStubCommand, [ran, name] { *ran += name; });
        this->OnUpdate(kStubCommand, [enabled](CCmdUI& ui) { ui.Enable(enabled); });
    }
};

// Loads and stores through the view's raw serialisation, as a document of
// this framework does.
class CStubDoc : public CStub<CDocument> {
public:
    void Serialize(CArchive& ar) override { GetFirstView()->SerializeRaw(ar); }
};
using CStubView = CStub<CEditView>;

ino_t Inode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("cannot write %s", qPrintable(path));
}

}  // namespace

class CFrameworkTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_full;  // a tiny tmpfs in a mount namespace of this process

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString table = m_dir.filePath(u"strings.txt"_s);
        Write(table, "AFX_IDP_FILE_DISKFULL\tfull: %1\nAFX_IDP_FILE_HARD_IO\tI/O: %1\n");
        QVERIFY(AfxLoadStringTable(table));
        m_full = m_dir.filePath(u"full"_s);
        QVERIFY(QDir().mkpath(m_full));
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", QFile::encodeName(m_full).constData(), "tmpfs", 0, "size=16k") != 0)
            m_full.clear();
    }

    void cleanupTestCase()
    {
        if (!m_full.isEmpty())
            ::umount2(QFile::encodeName(m_full).constData(), MNT_DETACH);
    }

    void recentFileList_data()
    {
        QTest::addColumn<QStringList>("steps");  // "+path" adds, "-n" removes entry n
        QTest::addColumn<QStringList>("list");
        QTest::newRow("newest first") << QStringList{"+/a", "+/b"} << QStringList{"/b", "/a"};
        QTest::newRow("oldest drops out") << QStringList{"+/a", "+/b", "+/c", "+/d", "+/e"}
                                          << QStringList{"/e", "/d", "/c", "/b"};
        QTest::newRow("again moves up") << QStringList{"+/a", "+/b", "+/c", "+/a"} << QStringList{"/a", "/c", "/b"};
        QTest::newRow("empty is no entry") << QStringList{"+/a", "+"} << QStringList{"/a"};
        QTest::newRow("remove") << QStringList{"+/a", "+/b", "+/c", "-1"} << QStringList{"/c", "/a"};
        QTest::newRow("remove beyond") << QStringList{"+/a", "-1", "--1"} << QStringList{"/a"};
    }

    void recentFileList()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, list);
        CRecentFileList recent(4);
        for (const QString& step : steps) {
            if (step.startsWith(u'+'))
                recent.Add(step.mid(1));
            else
                recent.Remove(step.mid(1).toInt());
        }
        QStringList got;
        for (int i = 0; i < recent.GetCount(); ++i)
            got.append(recent[i]);
        QCOMPARE(got, list);
    }

    void recentMenuText()
    {
        CRecentFileList recent(4);
        recent.Add(u"/x/R&D/a&b.txt"_s);
        recent.Add(u"/x/b.txt"_s);
        QCOMPARE(recent.GetMenuText(0), u"&1 /x/b.txt"_s);
        QCOMPARE(recent.GetMenuText(1), u"&2 /x/R&&D/a&&b.txt"_s);
    }

    void routing_data()
    {
        QTest::addColumn<int>("view");  // -1: no handler, 0: disabled, 1: enabled
        QTest::addColumn<int>("doc");
        QTest::addColumn<bool>("routed");
        QTest::addColumn<QString>("ran");
        QTest::newRow("view first") << 1 << 1 << true << "view";
        QTest::newRow("then the document") << -1 << 1 << true << "doc";
        QTest::newRow("disabled does not run") << -1 << 0 << true << "";
        QTest::newRow("disabled view stops it") << 0 << 1 << true << "";
        QTest::newRow("nobody") << -1 << -1 << false << "";
    }

    void routing()
    {
        QFETCH(int, view);
        QFETCH(int, doc);
        QFETCH(bool, routed);
        QFETCH(QString, ran);
        CStubDoc document;
        CFrameWnd frame;
        auto* edit = new CStubView;
        edit->Attach(&document, &frame);
        frame.SetDocument(&document);
        frame.SetView(edit);
        QString got;
        if (view >= 0)
            edit->HandleStub(&got, u"view"_s, view == 1);
        if (doc >= 0)
            document.HandleStub(&got, u"doc"_s, doc == 1);
        QCOMPARE(frame.RouteCommand(kStubCommand), routed);
        QCOMPARE(got, ran);
    }

    void save_data()
    {
        QTest::addColumn<QString>("setup");   // where the target is: file, link, full
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("sameInode");
        QTest::addColumn<QString>("message");  // %1 is the target
        QTest::newRow("new file") << "new" << QByteArray() << QByteArray("text") << false << "";
        QTest::newRow("one link: atomic") << "file" << QByteArray("old text") << QByteArray("new") << false << "";
        QTest::newRow("hard link: in place, no old tail")
            << "link" << QByteArray("a longer old text") << QByteArray("short") << true << "";
        QTest::newRow("hard link: in place, longer") << "link" << QByteArray("old") << QByteArray("a longer text") << true << "";
        QTest::newRow("full disk: in place refused")
            << "full" << QByteArray(4096, 'o') << QByteArray(qsizetype{64} << 10, 'n') << true << "full: %1";
    }

    void save()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, text);
        QFETCH(bool, sameInode);
        QFETCH(QString, message);
        if (setup == u"full" && m_full.isEmpty())
            QSKIP("cannot mount a tmpfs here");
        const QString folder = setup == u"full" ? m_full : m_dir.filePath(setup);
        QVERIFY(QDir().mkpath(folder));
        const QString target = folder + u"/t.txt"_s;
        const QString other = folder + u"/other.txt"_s;
        QFile::remove(target);
        QFile::remove(other);
        if (setup != u"new")
            Write(target, old);
        if (setup == u"link" || setup == u"full")
            QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()), 0);
        const ino_t before = Inode(target);
        CFakeUiSeam seam;
        CStubDoc doc;
        CEditView view;
        view.Attach(&doc, nullptr);
        view.SetWindowText(text);
        QCOMPARE(doc.OnSaveDocument(target), message.isEmpty());
        QCOMPARE(seam.messages, message.isEmpty() ? QStringList() : QStringList{message.arg(target)});
        QCOMPARE(Inode(target) == before, sameInode);
        QCOMPARE(ReadAll(target), message.isEmpty() ? text : old);
        if (setup == u"link" || setup == u"full")
            QCOMPARE(ReadAll(other), ReadAll(target));
        QFile::remove(target);
        QFile::remove(other);
    }

    // A file that opens and then fails to read is reported, and the text stays.
    void readFailure()
    {
        CFakeUiSeam seam;
        CStubDoc doc;
        CEditView view;
        view.Attach(&doc, nullptr);
        view.SetWindowText("kept");
        QVERIFY(!doc.OnOpenDocument(u"/proc/self/mem"_s));
        QCOMPARE(seam.messages, QStringList{u"I/O: /proc/self/mem"_s});
        QCOMPARE(view.GetWindowText(), QByteArray("kept"));
    }
};

QTEST_MAIN(CFrameworkTest)
#include "tst_framework.moc"
