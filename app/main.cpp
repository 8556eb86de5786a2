// Jestpad: a viewer that rewrites Japanese text with humorous rules.
#include "JestpadApp.h"
#include "NativePath.h"

#include <QApplication>
#include <QList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <unistd.h>

namespace {

// --help and --version answer on the terminal, with or without a display.
bool AsksForTextOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "--version") == 0)
            return true;
    }
    return false;
}

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The arguments by their own bytes: a file name need not be UTF-8.
QStringList Arguments(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(PathFromNative(QByteArray(argv[i])));
    return args;
}

const char kNeedsDisplay[] =
    "jestpad needs a display (DISPLAY or WAYLAND_DISPLAY); jestcat works without one\n";

// Qt's messages while it connects to the display, held back: when it cannot
// connect at all it would abort with a core dump; then only our sentence.
QtMessageHandler g_qtHandler = nullptr;  // Qt's own, restored once connected
QList<std::pair<QtMsgType, QString>> g_heldMessages;

void HoldMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtFatalMsg) {
        g_heldMessages.append({type, text});
        return;
    }
    const char* name = "";
    for (const char* variable : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        if (Set(variable))
            name = std::getenv(variable);
    }
    std::fprintf(stderr, "jestpad: cannot open the display \"%s\"; %s", name, kNeedsDisplay);
    std::fflush(stderr);
    std::_Exit(1);
}

void PassHeldMessages()
{
    qInstallMessageHandler(g_qtHandler);
    for (const auto& [type, text] : std::as_const(g_heldMessages))
        qt_message_output(type, QMessageLogContext(), text);
    g_heldMessages.clear();
}

int Start(const QStringList& args)
{
    CJestpadApp app;
    // A failing -p or -pt run from a script need not wait for a click.
    app.m_bInteractive = ::isatty(STDIN_FILENO) == 1;
    if (!app.InitInstance(args)) {
        app.ExitInstance();
        return app.m_nExitCode;
    }
    return app.Run();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (AsksForTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        return Start(Arguments(argc, argv));
    }
    // Without any display Qt would abort; say what to do instead.
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
        std::fputs(kNeedsDisplay, stderr);
        return 1;
    }
    g_qtHandler = qInstallMessageHandler(HoldMessage);
    QApplication qapp(argc, argv);
    PassHeldMessages();
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.jestpad.jestpad"));
    return Start(Arguments(argc, argv));
}
