// Jestpad: a viewer that rewrites Japanese text with humorous rules.
#include "JestpadApp.h"

#include <QApplication>

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
        return Start(QCoreApplication::arguments().mid(1));
    }
    QApplication qapp(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.jestpad.jestpad"));
    return Start(QCoreApplication::arguments().mid(1));
}
