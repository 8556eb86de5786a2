#include "CommandLineInfo.h"

void CCommandLineInfo::ParseSwitch(const QString& flag)
{
    if (flag == u"pt")
        m_nShellCommand = FilePrintTo;
    else if (flag == u"p")
        m_nShellCommand = FilePrint;
    else if (flag.compare(u"Unregister", Qt::CaseInsensitive) == 0 ||
             flag.compare(u"Unregserver", Qt::CaseInsensitive) == 0)
        m_nShellCommand = AppUnregister;
    else if (flag == u"dde")
        m_nShellCommand = FileDDE;
    else if (flag.compare(u"Embedding", Qt::CaseInsensitive) == 0)
        m_bRunEmbedded = true;
}

void CCommandLineInfo::Parse(const QStringList& args)
{
    bool switchesEnded = false;
    for (const QString& arg : args) {
        if (!switchesEnded) {
            // "--" ends the switches, so that a file named "-x" can be opened.
            if (arg == u"--") {
                switchesEnded = true;
                continue;
            }
            if (arg == u"--help") {
                m_nShellCommand = ShowHelp;
                return;
            }
            if (arg == u"--version") {
                m_nShellCommand = ShowVersion;
                return;
            }
            if (arg.size() > 1 && arg.startsWith(u'-')) {
                ParseSwitch(arg.mid(1));
                continue;
            }
        }
        if (m_strFileName.isEmpty())
            m_strFileName = arg;
        else if (m_nShellCommand == FilePrintTo && m_strPrinterName.isEmpty())
            m_strPrinterName = arg;
        else if (m_nShellCommand == FilePrintTo && m_strDriverName.isEmpty())
            m_strDriverName = arg;
        else if (m_nShellCommand == FilePrintTo && m_strPortName.isEmpty())
            m_strPortName = arg;
    }
    if (m_nShellCommand == FileNew && !m_strFileName.isEmpty())
        m_nShellCommand = FileOpen;
}
