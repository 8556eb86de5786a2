#include "RecentFileList.h"

#include "NativePath.h"

#include <QDir>
#include <QSettings>

#include <algorithm>
#include <climits>

void CRecentFileList::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    m_arrNames.removeAll(path);
    m_arrNames.prepend(path);
    while (m_arrNames.size() > m_nSize)
        m_arrNames.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_arrNames.size())
        m_arrNames.removeAt(index);
}

QString CRecentFileList::AbbreviateName(const QString& path, int maxLength,
                                        const QString& currentDir)
{
    QString name = path;
    QString dir = currentDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    if (name.startsWith(dir) && name.indexOf(u'/', dir.size()) < 0)
        name = name.mid(dir.size());
    if (name.size() <= maxLength)
        return name;
    const QString fileName = name.mid(name.lastIndexOf(u'/') + 1);
    const QString head = QStringLiteral("/...");
    QString tail = u'/' + fileName;
    // A name far too long even alone (up to 255 bytes) keeps its start and
    // its end, so that the menu stays on screen.
    if (fileName.size() > 2 * maxLength) {
        const QString dots = QStringLiteral("...");
        const qsizetype keep = std::max<qsizetype>(2 * maxLength - dots.size(), 2);
        return fileName.left(keep - keep / 2) + dots + fileName.right(keep / 2);
    }
    if (head.size() + tail.size() > maxLength)
        return fileName;
    // Add trailing folders while the result still fits.
    QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    parts.removeLast();
    while (!parts.isEmpty()) {
        const QString longer = u'/' + parts.last() + tail;
        if (head.size() + longer.size() > maxLength)
            break;
        tail = longer;
        parts.removeLast();
    }
    return head + tail;
}

QString CRecentFileList::GetMenuText(int index) const
{
    QString name = AbbreviateName(PathForDisplay(m_arrNames.value(index)), 30,
                                  QDir::currentPath());
    name.replace(QStringLiteral("&"), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(name);
}

void CRecentFileList::ReadList(QSettings& settings)
{
    m_arrNames.clear();
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= m_nSize; ++i) {
        const QVariant value = settings.value(QStringLiteral("File%1").arg(i));
        // Names that are not UTF-8 are kept as their bytes.
        const QString name = value.typeId() == QMetaType::QByteArray
                                 ? PathFromNative(value.toByteArray())
                                 : value.toString();
        // An entry no file name can be (beyond PATH_MAX) is dropped.
        if (!name.isEmpty() && PathToNative(name).size() < PATH_MAX &&
            !m_arrNames.contains(name))
            m_arrNames.append(name);
    }
    settings.endGroup();
}

void CRecentFileList::WriteList(QSettings& settings) const
{
    settings.remove(QStringLiteral("Recent File List"));
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 0; i < m_arrNames.size(); ++i) {
        if (m_arrNames[i].isEmpty())
            continue;
        const QString key = QStringLiteral("File%1").arg(i + 1);
        if (PathHasRawBytes(m_arrNames[i]))
            settings.setValue(key, PathToNative(m_arrNames[i]));
        else
            settings.setValue(key, m_arrNames[i]);
    }
    settings.endGroup();
}
