// The string table and the names of the resource ids.
#include "Afx.h"

#include <QFile>
#include <QHash>

namespace {

QHash<int, QString>& Table()
{
    static QHash<int, QString> table;
    return table;
}

QHash<QString, int>& Names()
{
    static QHash<QString, int> names = [] {
        QHash<QString, int> standard;
        for (const CResourceId& id : kAfxStandardIds)
            standard.insert(QString::fromLatin1(id.name), id.id);
        return standard;
    }();
    return names;
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

void AfxAddResourceIds(std::span<const CResourceId> ids)
{
    for (const CResourceId& id : ids)
        Names().insert(QString::fromLatin1(id.name), id.id);
}

std::optional<int> AfxLookupResourceId(QStringView name)
{
    const auto it = Names().constFind(name.toString());
    if (it == Names().cend())
        return std::nullopt;
    return *it;
}

bool AfxLoadStringTable(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    const QString all = QString::fromUtf8(file.readAll());
    int lineNumber = 0;
    for (QStringView line : QStringView(all).split(u'\n')) {
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        const std::optional<int> id =
            tab > 0 ? AfxLookupResourceId(line.left(tab)) : std::nullopt;
        if (!id) {
            if (error)
                *error = QStringLiteral("%1:%2: unknown string name \"%3\"")
                             .arg(path).arg(lineNumber).arg(line.left(tab).toString());
            return false;
        }
        Table().insert(*id, Unescape(line.mid(tab + 1)));
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
