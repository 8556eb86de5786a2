// The window under failure and hostile input: full disks, missing printers,
// files and folders the user may not write, names that are not UTF-8, files
// of the system, a settings file that is a pipe, output that cannot be written.
#include "Afx.h"
#include "FakeUiSeam.h"
#include "JestpadHarness.h"
#include "NativePath.h"
#include "Resource.h"

#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString kPrintFailed = QStringLiteral("印刷を開始できませんでした。");
const QString kNoPrinter = QStringLiteral("ﾌﾟﾘﾝﾀが見つかりません。ﾌﾟﾘﾝﾀ名を確かめてください。");

QByteArray Sjis(const QString& text) { return QStringEncoder("windows-31j").encode(text); }

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteRaw(const QByteArray& native, const QByteArray& bytes)
{
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    return fd >= 0 && ::close(fd) == 0 && ok;
}

ino_t Inode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Root passes every permission check; while this lives the process is held
// to the permission bits like any user (effective capabilities only).
class CAsOrdinaryUser {
public:
    CAsOrdinaryUser()
    {
        ::syscall(SYS_capget, &m_header, m_data);
        __user_cap_data_struct lowered[2] = {m_data[0], m_data[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) |
                                  (1u << CAP_FOWNER));
        ::syscall(SYS_capset, &m_header, lowered);
    }
    ~CAsOrdinaryUser() { ::syscall(SYS_capset, &m_header, m_data); }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_data[2]{};
};

struct CRun {
    int code;
    QByteArray out, err;
};

// Runs the program itself; a run that does not end in 20 s is killed.
CRun RunJestpad(const QStringList& args, const QProcessEnvironment& env,
                const QString& outFile = QString())
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!outFile.isEmpty())
        p.setStandardOutputFile(outFile);
    p.start(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c")} + args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, {}};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

}  // namespace

class CFailuresTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_fullDir;  // a tiny tmpfs, full once a few kilobytes are written
    QString m_noMount;  // why there is none
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Text(const QString& name, const QByteArray& bytes)
    {
        if (!WriteRaw(QFile::encodeName(Path(name)), bytes))
            qFatal("cannot write %s", qPrintable(name));
        return Path(name);
    }
    // Enough text for a PDF of many kilobytes.
    QString LongText() { return Text(QStringLiteral("long.txt"), Sjis(QStringLiteral("あいうえお。かきくけこ、\r\n").repeated(3000))); }
    bool Command(CJestpadHarness& h, int id) { return h.frame()->RouteCommand(id); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The mount lives in a namespace of this process only.
        m_fullDir = Path(QStringLiteral("full"));
        QDir().mkpath(m_fullDir);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", QFile::encodeName(m_fullDir).constData(), "tmpfs", 0, "size=4k") != 0) {
            m_noMount = QStringLiteral("cannot mount a tmpfs here: ") + qt_error_string(errno);
            m_fullDir.clear();
        }
    }

    void init() { PrepareTestSettings(); }

    void printFromCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");  // after the file; "FULL" is the full tmpfs
        QTest::addColumn<QString>("message");
        QTest::newRow("pdf") << QStringList{"-pt", "FILE", "ok.pdf", "d", "p"} << QString();
        QTest::newRow("full disk") << QStringList{"-pt", "FILE", "FULL/out.pdf", "d", "p"} << kPrintFailed;
        QTest::newRow("dev full") << QStringList{"-pt", "FILE", "devfull.pdf", "d", "p"} << kPrintFailed;
        QTest::newRow("no such printer") << QStringList{"-pt", "FILE", "NoSuchPrinter", "d", "p"} << kNoPrinter;
        QTest::newRow("no printer at all") << QStringList{"-p", "FILE"} << kNoPrinter;
    }

    void printFromCommandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        if (args.value(2).startsWith(u"FULL") && m_fullDir.isEmpty())
            QSKIP(qPrintable(m_noMount));
        if (args[0] == u"-p" && !QPrinterInfo::defaultPrinter().isNull())
            QSKIP("this machine has a printer");
        QFile::link(QStringLiteral("/dev/full"), Path(QStringLiteral("devfull.pdf")));
        args[1] = LongText();
        if (args.value(2).endsWith(u".pdf"))
            args[2] = args[2].startsWith(u"FULL") ? m_fullDir + args[2].mid(4) : Path(args[2]);
        CFakeUiSeam seam;
        auto h = StartJestpad(args);
        QCOMPARE(h.app->m_nExitCode, message.isEmpty() ? 0 : 1);
        QCOMPARE(seam.messages, message.isEmpty() ? QStringList() : QStringList{message});
        if (args.value(2) == Path(QStringLiteral("ok.pdf")))
            QVERIFY(ReadAll(args[2]).endsWith("%%EOF\n"));
        else if (args.value(2).endsWith(u".pdf"))  // no truncated file is left behind
            QVERIFY(!QFileInfo(args[2]).isFile());
        h.Exit();
    }

    void printFromMenu()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad({LongText()});
        QPrinter& printer = h.app->GetPrinter();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString());  // what Qt offers without a printer
        seam.printAnswers = {true, true};
        Command(h, ID_FILE_PRINT);
        if (m_fullDir.isEmpty())
            QSKIP(qPrintable(m_noMount));
        printer.setOutputFileName(m_fullDir + QStringLiteral("/menu.pdf"));
        Command(h, ID_FILE_PRINT);
        QCOMPARE(seam.messages, (QStringList{kNoPrinter, kPrintFailed}));
        QVERIFY(!QFileInfo::exists(m_fullDir + QStringLiteral("/menu.pdf")));
        h.Exit();
    }

    void saveAs_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");  // %1 is the target
        QTest::addColumn<bool>("sameInode");
        QTest::newRow("one link: atomic") << "file" << QString() << false;
        QTest::newRow("hard link: in place") << "link" << QString() << true;
        QTest::newRow("folder not writable: in place") << "lockedDir" << QString() << true;
        QTest::newRow("read-only file") << "readOnly" << "%1 へのｱｸｾｽが拒否されました。" << true;
        QTest::newRow("folder") << "dir" << "予期しないﾌｧｲﾙ形式です。" << true;
        QTest::newRow("symlink loop") << "loop" << "%1 には無効なﾊﾟｽが含まれています。" << true;
    }

    void saveAs()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QFETCH(bool, sameInode);
        CFakeUiSeam seam;
        auto h = StartJestpad({Text(QStringLiteral("src.txt"), Sjis(QStringLiteral("です。\r\n")))});
        QDir(Path(setup)).removeRecursively();
        QDir().mkpath(Path(setup));
        QString target = Path(setup + QStringLiteral("/t.txt"));
        const QString other = Path(setup + QStringLiteral("/other.txt"));
        Text(setup + QStringLiteral("/t.txt"), "old");
        if (setup == u"link")
            QVERIFY(::link(QFile::encodeName(target), QFile::encodeName(other)) == 0);
        if (setup == u"readOnly")
            QFile::setPermissions(target, QFileDevice::ReadOwner);
        if (setup == u"dir")
            target = Path(setup);
        if (setup == u"loop") {
            target = Path(setup + QStringLiteral("/loop"));
            QFile::link(target, target);
        }
        const ino_t before = Inode(target);
        if (setup == u"lockedDir")
            QFile::setPermissions(Path(setup), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        seam.saveAnswers.push_back(target);
        {
            CAsOrdinaryUser user;
            Command(h, ID_FILE_SAVE_AS);
        }
        QFile::setPermissions(Path(setup), QFile::permissions(m_dir.path()));
        message.replace(QStringLiteral("%1"), target);
        QCOMPARE(seam.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(Inode(target) == before, sameInode);
        if (message.isEmpty())
            QCOMPARE(ReadAll(target), h.view()->GetWindowText());
        if (setup == u"link")
            QCOMPARE(ReadAll(other), h.view()->GetWindowText());
        if (setup == u"readOnly")
            QCOMPARE(ReadAll(target), QByteArray("old"));
        h.Exit();
    }

    void openSystemFilesAndLoops()
    {
        CFakeUiSeam seam;
        const QString kept = Text(QStringLiteral("kept.txt"), Sjis(QStringLiteral("です。")));
        auto h = StartJestpad({kept});
        const QByteArray shown = h.view()->GetWindowText();
        const QString loop = Path(QStringLiteral("openloop"));
        QFile::link(loop, loop);
        seam.openAnswers = {loop, QStringLiteral("/proc/cpuinfo")};
        Command(h, ID_FILE_OPEN);
        QCOMPARE(seam.messages, QStringList{loop + QStringLiteral(" には無効なﾊﾟｽが含まれています。")});
        QCOMPARE(h.view()->GetWindowText(), shown);
        // Its size reads 0, yet it holds text.
        Command(h, ID_FILE_OPEN);
        QCOMPARE(seam.messages.size(), 1);
        QVERIFY(h.view()->GetWindowText().contains("processor"));
        QCOMPARE(h.frame()->windowTitle(), QStringLiteral("cpuinfo - Jestpad"));
        h.Exit();
    }

    void namesThatAreNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("Shift-JIS") << QByteArray("\x93\xfa\x96\x7b.txt") << "日本.txt - Jestpad";
        QTest::newRow("Latin-1") << QByteArray("caf\xe9.txt") << "caf\uFFFD.txt - Jestpad";
    }

    void namesThatAreNotUtf8()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, title);
        const QByteArray native = QFile::encodeName(m_dir.path()) + '/' + name;
        QVERIFY(WriteRaw(native, "a"));
        // From the command line of the real program, by the name's bytes.
        const QString pdf = Path(QStringLiteral("named.pdf"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QString octal;
        for (char c : name)
            octal += QStringLiteral("\\%1").arg(uint(uchar(c)), 3, 8, QChar(u'0'));
        const CRun run = RunJestpad({"cd \"$2\" && exec \"$0\" -pt \"$(printf '" + octal + "')\" \"$1\" d p",
                                     QStringLiteral(JESTPAD_BIN), pdf, m_dir.path()}, env);
        QCOMPARE(run.code, 0);
        QVERIFY(ReadAll(pdf).endsWith("%%EOF\n"));

        CFakeUiSeam seam;
        auto h = StartJestpad({PathFromNative(native)});
        QCOMPARE(h.frame()->windowTitle(), title);
        QVERIFY(WriteRaw(native, "b"));
        Command(h, ID_FILE_RELOAD);
        QCOMPARE(h.view()->GetWindowText(), QByteArray("b"));
        h.Exit();
        // The recent list keeps the bytes and opens the file again.
        auto h2 = StartJestpad();
        QVERIFY(Command(h2, ID_FILE_MRU_FIRST));
        QCOMPARE(PathToNative(h2.doc()->GetPathName()), native);
        QCOMPARE(h2.view()->GetWindowText(), QByteArray("b"));
        QVERIFY(seam.messages.isEmpty());
        h2.Exit();
    }

    void recentEntries()
    {
        {
            QSettings settings(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Jestpad"));
            settings.setValue(QStringLiteral("Recent File List/File1"), QString(u'/') + QString(5000, u'a'));
            settings.setValue(QStringLiteral("Recent File List/File2"), QStringLiteral("/tmp/b.txt"));
        }
        auto h = StartJestpad();
        QCOMPARE(h.app->GetRecentFileList().GetCount(), 1);
        QCOMPARE(h.app->GetRecentFileList()[0], QStringLiteral("/tmp/b.txt"));
        h.Exit();
        QCOMPARE(CRecentFileList::AbbreviateName(QStringLiteral("/d/") + QString(100, u'n') + QStringLiteral(".txt"), 30, QStringLiteral("/")),
                 QString(29, u'n') + QStringLiteral("...") + QString(24, u'n') + QStringLiteral(".txt"));
    }

    void programItself_data()
    {
        QTest::addColumn<QString>("command");  // $0 is the program, $1 a text file
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        const QByteArray version = "Jestpad Version 3.0β\n";
        QTest::newRow("version, no display") << "exec \"$0\" --version" << false << 0 << version << QByteArray();
        QTest::newRow("help to a full disk") << "exec \"$0\" --help >/dev/full" << false << 1 << QByteArray()
                                             << QByteArray("jestpad: write error: No space left on device\n");
        QTest::newRow("version, output closed") << "exec \"$0\" --version >&-" << true << 1 << QByteArray() << QByteArray("<any>");
        QTest::newRow("file, no display") << "exec \"$0\" \"$1\"" << false << 1 << QByteArray()
                                          << QByteArray("jestpad needs a display (DISPLAY or WAYLAND_DISPLAY); jestcat works without one\n");
        QTest::newRow("settings file is a pipe") << "exec \"$0\" -pt \"$1\" \"$1.pdf\" d p" << true << 0 << QByteArray() << QByteArray("FIFO");
    }

    void programItself()
    {
        QFETCH(QString, command);
        QFETCH(bool, display);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString config = Path(QStringLiteral("config"));
        const QString conf = config + QStringLiteral("/Local AppWizard-Generated Applications/Jestpad.conf");
        QDir().mkpath(QFileInfo(conf).path());
        QFile::remove(conf);
        if (err == "FIFO") {
            QVERIFY(::mkfifo(QFile::encodeName(conf).constData(), 0600) == 0);
            err = "jestpad: " + QFile::encodeName(conf) + " is not a regular file; starting with default settings, which will not be saved.\n";
        }
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        QDir().mkpath(Path(QStringLiteral("run")));
        QFile::setPermissions(Path(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path(QStringLiteral("run")));
        const CRun run = RunJestpad({command, QStringLiteral(JESTPAD_BIN), LongText()}, env);
        QCOMPARE(run.code, code);
        QCOMPARE(run.out, out);
        if (err != "<any>")
            QCOMPARE(run.err, err);
    }

    void cleanupTestCase() { PrepareTestSettings(); }
};

QTEST_MAIN(CFailuresTest)
#include "tst_failures.moc"
