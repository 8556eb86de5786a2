#include "Afx.h"

#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

#include <QFile>
#include <QHash>

namespace {

QHash<int, QString>& Table()
{
    static QHash<int, QString> table;
    return table;
}

QString Unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar n = text[++i];
            if (n == u'n')
                out += u'\n';
            else if (n == u't')
                out += u'\t';
            else
                out += n;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

bool AfxLoadStringTable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString all = QString::fromUtf8(file.readAll());
    for (QStringView line : QStringView(all).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0)
            continue;
        bool ok = false;
        const int id = line.left(tab).toInt(&ok);
        if (ok)
            Table().insert(id, Unescape(line.mid(tab + 1)));
    }
    return true;
}

QString AfxLoadString(int id)
{
    return Table().value(id);
}

QString AfxFormatString1(int id, const QString& arg)
{
    QString text = AfxLoadString(id);
    text.replace(QStringLiteral("%1"), arg);
    return text;
}

CWinApp* AfxGetApp()
{
    return CWinApp::s_pApp;
}

CFrameWnd* AfxGetMainWnd()
{
    return CWinApp::s_pApp ? CWinApp::s_pApp->m_pMainWnd : nullptr;
}

void AfxMessageBox(const QString& text)
{
    CUiSeam::Get().MessageBox(AfxGetMainWnd(), text);
}

void AfxMessageBox(int stringId)
{
    AfxMessageBox(AfxLoadString(stringId));
}
