#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CCommandLineInfo {
    enum ShellCommand { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppUnregister,
                        ShowHelp, ShowVersion };
    ShellCommand m_nShellCommand = FileNew;
    QString m_strFileName;
    QString m_strPrinterName;
    QString m_strDriverName;
    QString m_strPortName;
    bool m_bRunEmbedded = false;

    // Switches begin with "-" (a path begins with "/"). "p", "pt" and "dde"
    // are exact; "Unregister", "Unregserver" and "Embedding" ignore case;
    // other switches ("Automation" among them) are ignored. "--" ends the
    // switches.
    void Parse(const QStringList& args);

private:
    void ParseSwitch(const QString& flag);
};
