// The window under failure and hostile input: full disks, missing printers,
// files and folders the user may not write, names that are not UTF-8, files
// of the system, a settings file that is a pipe, output that cannot be written.
#include "FakeUiSeam.h"
#include "JestpadHarness.h"
#include "NativePath.h"
#include "Resource.h"

#include <QDirIterator>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kPrintFailed = u"印刷を開始できませんでした。"_s;
const QString kNoPrinter = u"ﾌﾟﾘﾝﾀが見つかりません。ﾌﾟﾘﾝﾀ名を確かめてください。"_s;

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
struct CAsOrdinaryUser {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    CAsOrdinaryUser()
    {
        ::syscall(SYS_capget, &header, saved);
        __user_cap_data_struct lowered[2] = {saved[0], saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        ::syscall(SYS_capset, &header, lowered);
    }
    ~CAsOrdinaryUser() { ::syscall(SYS_capset, &header, saved); }
};

// Runs a shell command line ($0 the program); one that hangs is killed after 20 s.
struct CRun {
    int code = -1;
    QByteArray out, err;
};
CRun Run(const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(u"/bin/sh"_s, QStringList{u"-c"_s} + args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QSettings Store()
{
    return QSettings(CJestpadApp::SettingsFileName(), QSettings::NativeFormat);
}

// Every file under the user's configuration folder, by its relative path.
QStringList ConfigFiles()
{
    const QDir base(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    QStringList files;
    for (QDirIterator it(base.path(), QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        files.append(base.relativeFilePath(it.next()));
    return files;
}

}  // namespace

class CFailuresTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_full;     // a tiny tmpfs, full after a few kilobytes
    QString m_noMount;  // why there is none
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Text(const QString& name, const QString& text)
    {
        if (!WriteRaw(QFile::encodeName(Path(name)), QStringEncoder("windows-31j").encode(text)))
            qFatal("cannot write %s", qPrintable(name));
        return Path(name);
    }
    // Enough text for a PDF of many kilobytes.
    QString LongText() { return Text(u"long.txt"_s, u"あいうえお。かきくけこ、\r\n"_s.repeated(3000)); }
    static bool Command(CJestpadHarness& h, int id) { return h.frame()->RouteCommand(id); }
    QProcessEnvironment Env(bool display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        if (display)
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QDir().mkpath(Path(u"run"_s));
        QFile::setPermissions(Path(u"run"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(u"XDG_RUNTIME_DIR"_s, Path(u"run"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, Path(u"config"_s));
        return env;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        if (!QFileInfo(CJestpadApp::SettingsFileName()).isFile())  // a pipe left by a run that hung
            QFile::remove(CJestpadApp::SettingsFileName());
        // The mount lives in a namespace of this process only.
        m_full = Path(u"full"_s);
        QDir().mkpath(m_full);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", QFile::encodeName(m_full).constData(), "tmpfs", 0, "size=4k") != 0) {
            m_noMount = u"cannot mount a tmpfs here: "_s + qt_error_string(errno);
            m_full.clear();
        }
    }

    void init() { PrepareTestSettings(); }

    void print_data()
    {
        QTest::addColumn<QStringList>("args");  // FILE: the text; FULL: the full tmpfs; MENU: File > 印刷 to args[1]
        QTest::addColumn<QString>("message");
        QTest::newRow("pdf") << QStringList{"-pt", "FILE", "ok.pdf", "d", "p"} << QString();
        QTest::newRow("full disk") << QStringList{"-pt", "FILE", "FULL/out.pdf", "d", "p"} << kPrintFailed;
        QTest::newRow("full disk, old PDF kept") << QStringList{"-pt", "FILE", "FULL/old.pdf", "d", "p"} << kPrintFailed;
        QTest::newRow("dev full") << QStringList{"-pt", "FILE", "devfull.pdf", "d", "p"} << kPrintFailed;
        QTest::newRow("no such printer") << QStringList{"-pt", "FILE", "NoSuchPrinter", "d", "p"} << kNoPrinter;
        QTest::newRow("no printer at all") << QStringList{"-p", "FILE"} << kNoPrinter;
        QTest::newRow("menu, full disk") << QStringList{"MENU", "FILE", "FULL/menu.pdf"} << kPrintFailed;
        QTest::newRow("menu, no printer") << QStringList{"MENU", "FILE", ""} << kNoPrinter;
    }

    void print()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        if (args.value(2).startsWith(u"FULL") && m_full.isEmpty())
            QSKIP(qPrintable(m_noMount));
        if (args[0] == u"-p" && !QPrinterInfo::defaultPrinter().isNull())
            QSKIP("this machine has a printer");
        QFile::link(u"/dev/full"_s, Path(u"devfull.pdf"_s));
        args[1] = LongText();
        if (args.value(2).endsWith(u".pdf"))
            args[2] = args[2].startsWith(u"FULL") ? m_full + args[2].mid(4) : Path(args[2]);
        const QByteArray old = "%PDF-1.4\n%%EOF\n";
        if (args.value(2).endsWith(u"old.pdf"))
            QVERIFY(WriteRaw(QFile::encodeName(args[2]), old));
        CFakeUiSeam seam;
        auto h = StartJestpad(args[0] == u"MENU" ? args.mid(1, 1) : args);
        if (args[0] == u"MENU") {
            // Without a printer Qt offers a PDF printer without a file.
            h.app->GetPrinter().setOutputFormat(QPrinter::PdfFormat);
            h.app->GetPrinter().setOutputFileName(args[2]);
            seam.printAnswers = {true};
            Command(h, ID_FILE_PRINT);
        } else {
            QCOMPARE(h.app->m_nExitCode, message.isEmpty() ? 0 : 1);
        }
        QCOMPARE(seam.messages, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty())
            QVERIFY(ReadAll(args[2]).endsWith("%%EOF\n"));
        else if (args.value(2).endsWith(u"old.pdf"))
            QCOMPARE(ReadAll(args[2]), old);
        else if (args.value(2).endsWith(u".pdf"))  // no truncated file is left behind
            QVERIFY(!QFileInfo(args[2]).isFile());
        if (!m_full.isEmpty() && args.value(2).startsWith(m_full)) {  // nor a temporary one
            QCOMPARE(QDir(m_full).entryList(QDir::Files | QDir::Hidden), args[2].endsWith(u"old.pdf") ? QStringList{u"old.pdf"_s} : QStringList());
            QFile::remove(args[2]);
        }
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
        QTest::newRow("dangling symlink: its target made") << "dangling" << QString() << false;
    }

    void saveAs()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QFETCH(bool, sameInode);
        CFakeUiSeam seam;
        auto h = StartJestpad({Text(u"src.txt"_s, u"です。\r\n"_s)});
        QDir(Path(setup)).removeRecursively();
        QDir().mkpath(Path(setup));
        const QString other = Text(setup + u"/other.txt"_s, u"old"_s);
        QString target = setup == u"dir" ? Path(setup) : Path(setup + u"/t.txt"_s);
        if (setup == u"link")
            QVERIFY(::link(QFile::encodeName(other).constData(), QFile::encodeName(target).constData()) == 0);
        else if (setup == u"loop")
            QFile::link(target, target);
        else if (setup == u"dangling")
            QFile::link(u"made.txt"_s, target);
        else if (setup != u"dir")
            QFile::copy(other, target);
        if (setup == u"readOnly")
            QFile::setPermissions(target, QFileDevice::ReadOwner);
        const ino_t before = Inode(target);
        if (setup == u"lockedDir")
            QFile::setPermissions(Path(setup), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        seam.saveAnswers.push_back(target);
        {
            CAsOrdinaryUser user;
            Command(h, ID_FILE_SAVE_AS);
        }
        QFile::setPermissions(Path(setup), QFile::permissions(m_dir.path()));
        message.replace(u"%1"_s, target);
        QCOMPARE(seam.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(Inode(target) == before, sameInode);
        const QByteArray shown = h.view()->GetWindowText();
        QCOMPARE(QFileInfo(target).isSymLink(), setup == u"loop" || setup == u"dangling");
        QCOMPARE(ReadAll(setup == u"link" ? other : target),
                 message.isEmpty() ? shown : QByteArray(setup == u"readOnly" ? "old" : "<unreadable>"));
        h.Exit();
    }

    // A settings file that is no file, or far larger than any Jestpad
    // writes, is neither read nor written: start and exit never hang.
    void settingsStore()
    {
        const QString conf = CJestpadApp::SettingsFileName(), keyConf = QFileInfo(conf).path() + u".conf"_s;
        const QByteArray huge = "[Recent%20File%20List]\nFile1=/tmp/a\nx=" + QByteArray(2 << 20, 'x');
        const struct { QString path; bool pipe, whileRunning; } rows[] = {
            {conf, true, false}, {keyConf, true, false}, {conf, true, true}, {conf, false, false}};  // else 2 MiB
        QDir().mkpath(QFileInfo(conf).path());
        CFakeUiSeam seam;
        for (const auto& row : rows) {
            const QByteArray native = QFile::encodeName(row.path);
            const auto make = [&] { QVERIFY(row.pipe ? ::mkfifo(native.constData(), 0600) == 0 : WriteRaw(native, huge)); };
            ::alarm(30);  // a hang ends the test
            if (QFile::remove(row.path), !row.whileRunning)
                make();
            auto h = StartJestpad({Text(u"s.txt"_s, u"です。"_s)});
            QCOMPARE(h.app->GetRecentFileList().GetCount(), 1);  // this file only
            if (row.whileRunning)
                make();
            h.Exit();
            ::alarm(0);
            struct stat st {};
            QVERIFY(row.pipe ? ::stat(native.constData(), &st) == 0 && S_ISFIFO(st.st_mode) : ReadAll(row.path) == huge);
            QFile::remove(row.path);
        }
    }

    // Two windows closing in either order: the last keeps the other's files, its own first.
    void recentListOfTwoWindows()
    {
        CFakeUiSeam seam;
        for (const bool firstClosesFirst : {true, false}) {
            PrepareTestSettings();
            Store().setValue(u"Recent File List/File1"_s, Text(u"old.txt"_s, u"古い"_s));
            auto first = StartJestpad({Text(u"a.txt"_s, u"あ"_s)});
            auto second = StartJestpad({Text(u"b.txt"_s, u"い"_s)});
            (firstClosesFirst ? first : second).Exit();
            (firstClosesFirst ? second : first).Exit();
            QStringList names;
            for (int i = 1; i <= 4; ++i)
                names.append(QFileInfo(Store().value(u"Recent File List/File%1"_s.arg(i)).toString()).fileName());
            QCOMPARE(names.join(u' '), firstClosesFirst ? u"b.txt a.txt old.txt "_s : u"a.txt b.txt old.txt "_s);
        }
    }

    // Qt's own dialogs keep no history: only the settings file is written,
    // and -Unregister leaves nothing.
    void nothingWrittenUnasked()
    {
        auto h = StartJestpad({Text(u"n.txt"_s, u"です。"_s)});
        std::function<void()> cancel = [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
            else
                QTimer::singleShot(50, cancel);
        };
        QTimer::singleShot(50, cancel);
        QVERIFY(Command(h, ID_FILE_OPEN));  // the real Open dialog, cancelled
        h.Exit();
        QCOMPARE(ConfigFiles(), QStringList{CJestpadApp::kSettingsKey + u"/Jestpad.conf"_s});
        CFakeUiSeam seam;
        StartJestpad({u"-Unregister"_s}).Exit();
        QCOMPARE(ConfigFiles(), QStringList());
    }

    // A save killed while it writes leaves no temporary file behind.
    void saveKilledMidway()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad({LongText()});
        QDir().mkpath(Path(u"killed"_s));
        const QString target = Text(u"killed/t.txt"_s, u"old"_s);
        const pid_t child = ::fork();
        const rlimit size{4096, 4096}, core{0, 0};  // killed by SIGXFSZ past 4 KiB, without a core
        if (child == 0 && ::setrlimit(RLIMIT_CORE, &core) == 0 && ::setrlimit(RLIMIT_FSIZE, &size) == 0)
            h.doc()->OnSaveDocument(target);
        if (child == 0)
            ::_exit(0);
        int status = 0;
        QVERIFY(::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        QCOMPARE(QDir(Path(u"killed"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"t.txt"_s});
        QCOMPARE(ReadAll(target), QByteArray("old"));
        h.Exit();
    }

    void openSystemFilesAndLoops()
    {
        CFakeUiSeam seam;
        auto h = StartJestpad({Text(u"kept.txt"_s, u"です。"_s)});
        const QByteArray shown = h.view()->GetWindowText();
        const QString loop = Path(u"openloop"_s);
        QFile::link(loop, loop);
        seam.openAnswers = {loop, u"/proc/cpuinfo"_s};
        Command(h, ID_FILE_OPEN);
        QCOMPARE(seam.messages, QStringList{loop + u" には無効なﾊﾟｽが含まれています。"_s});
        QCOMPARE(h.view()->GetWindowText(), shown);
        // Its size reads 0, yet it holds text.
        Command(h, ID_FILE_OPEN);
        QCOMPARE(seam.messages.size(), 1);
        QVERIFY(h.view()->GetWindowText().contains("processor"));
        QCOMPARE(h.frame()->windowTitle(), u"cpuinfo - Jestpad"_s);
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
        // The real program's command line, by the name's bytes.
        QString octal;
        for (char c : name)
            octal += u"\\%1"_s.arg(uint(uchar(c)), 3, 8, QChar(u'0'));
        const CRun run = Run({"cd \"$2\" && exec \"$0\" -pt \"$(printf '" + octal + "')\" \"$1\" d p",
                              QStringLiteral(JESTPAD_BIN), Path(u"named.pdf"_s), m_dir.path()}, Env(true));
        QCOMPARE(run.code, 0);
        QVERIFY(ReadAll(Path(u"named.pdf"_s)).endsWith("%%EOF\n"));

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
        ::unlink(native.constData());  // QDir cannot name it to remove it
    }

    void recentEntries()
    {
        Store().setValue(u"Recent File List/File1"_s, u'/' + QString(5000, u'a'));
        Store().setValue(u"Recent File List/File2"_s, u"/tmp/b.txt"_s);
        auto h = StartJestpad();
        QCOMPARE(h.app->GetRecentFileList().GetCount(), 1);
        QCOMPARE(h.app->GetRecentFileList()[0], u"/tmp/b.txt"_s);
        h.Exit();
        QCOMPARE(CRecentFileList::AbbreviateName(u"/d/"_s + QString(100, u'n') + u".txt"_s, 30, u"/"_s),
                 QString(29, u'n') + u"..."_s + QString(24, u'n') + u".txt"_s);
    }

    void programItself_data()
    {
        QTest::addColumn<QString>("command");  // $0 is the program, $1 a text file
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");  // "*": any
        QTest::newRow("version, no display") << "exec \"$0\" --version" << false << 0 << QByteArray("Jestpad Version 3.0β\n") << QByteArray();
        QTest::newRow("help to a full disk") << "exec \"$0\" --help >/dev/full" << false << 1 << QByteArray()
                                             << QByteArray("jestpad: write error: No space left on device\n");
        QTest::newRow("version, output closed") << "exec \"$0\" --version >&-" << true << 1 << QByteArray() << QByteArray("*");
        QTest::newRow("file, no display") << "exec \"$0\" \"$1\"" << false << 1 << QByteArray()
                                          << QByteArray("jestpad needs a display (DISPLAY or WAYLAND_DISPLAY); jestcat works without one\n");
        QTest::newRow("display unreachable") << "DISPLAY=:77 exec \"$0\" \"$1\"" << false << 1 << QByteArray()
                                             << QByteArray("jestpad: cannot open the display \":77\"; jestpad needs a display (DISPLAY or WAYLAND_DISPLAY); jestcat works without one\n");
        // Standard input is a pipe: no box waits for a click, standard error says why.
        QTest::newRow("-pt, no such printer") << "exec \"$0\" -pt \"$1\" NoSuchPrinter d p" << true << 1 << QByteArray()
                                              << QByteArray("jestpad: ﾌﾟﾘﾝﾀが見つかりません。ﾌﾟﾘﾝﾀ名を確かめてください。\n");
        QTest::newRow("-p, no such file") << "exec \"$0\" -p \"$1.none\"" << true << 1 << QByteArray()
                                          << QByteArray("jestpad: FILE.none が見つかりません。\n");
        QTest::newRow("unknown switch, second file") << "exec \"$0\" -zz -pt \"$1\" \"$1.pdf\" d p extra" << true << 0 << QByteArray()
                                                     << QByteArray("jestpad: unknown switch -zz ignored\njestpad: extra argument extra ignored\n");
        QTest::newRow("settings file is a pipe") << "mkfifo \"$2\" && exec \"$0\" -pt \"$1\" \"$1.pdf\" d p" << true << 0 << QByteArray()
                                                 << QByteArray("jestpad: CONF is not a regular file; default settings are used and none are saved.\n");
    }

    void programItself()
    {
        QFETCH(QString, command);
        QFETCH(bool, display);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const QString conf = Path(u"config/"_s + CJestpadApp::kSettingsKey + u"/Jestpad.conf"_s);
        QDir().mkpath(QFileInfo(conf).path());
        QFile::remove(conf);
        const CRun run = Run({command, QStringLiteral(JESTPAD_BIN), LongText(), conf}, Env(display));
        QCOMPARE(run.code, code);
        QCOMPARE(run.out, out);
        if (err != "*")
            QCOMPARE(run.err, err.replace("CONF", QFile::encodeName(conf)).replace("FILE", QFile::encodeName(Path(u"long.txt"_s))));
    }

    void cleanupTestCase()
    {
        PrepareTestSettings();
        if (!m_full.isEmpty())  // so that the temporary folder can go
            ::umount2(QFile::encodeName(m_full).constData(), MNT_DETACH);
    }
};

QTEST_MAIN(CFailuresTest)
#include "tst_failures.moc"
