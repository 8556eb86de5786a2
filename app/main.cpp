// Jestpad: a viewer that rewrites Japanese text with humorous rules.
#include "JestpadApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication qapp(argc, argv);
    CJestpadApp app;
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (!app.InitInstance(args)) {
        app.ExitInstance();
        return app.m_nExitCode;
    }
    return app.Run();
}
