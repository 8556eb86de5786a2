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
    // What was ignored, as given: switches not listed below, and arguments
    // beyond the file name (and, for "pt", the printer, driver and port).
    QStringList m_unknownSwitches;
    QStringList m_extraArguments;

    // Switches begin with "-" (a path begins with "/"). "p", "pt" and "dde"
    // are exact; "Unregister", "Unregserver" and "Embedding" ignore case;
    // "Automation" is ignored, other switches go to m_unknownSwitches. "--"
    // ends the switches.
    void Parse(const QStringList& args);

private:
    void ParseSwitch(const QString& flag);
};
