// Jestpad: a viewer that rewrites Japanese text with humorous rules.
#include "JestpadApp.h"
#include "NativePath.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int Start(const QStringList& args)
{
    CJestpadApp app;
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
        std::fputs("jestpad needs a display (DISPLAY or WAYLAND_DISPLAY); "
                   "jestcat works without one\n",
                   stderr);
        return 1;
    }
    QApplication qapp(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.jestpad.jestpad"));
    return Start(Arguments(argc, argv));
}
