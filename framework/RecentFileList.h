#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// The last files opened or saved, newest first.
class CRecentFileList {
public:
    explicit CRecentFileList(int size = 4) : m_nSize(size) {}

    int GetSize() const { return m_nSize; }
    int GetCount() const { return static_cast<int>(m_arrNames.size()); }
    QString operator[](int i) const { return m_arrNames.value(i); }
    // Puts the path first; an entry already there moves up, the oldest drops out.
    void Add(const QString& path);
    void Remove(int index);
    // Menu text "&<n> <shortened path>" with every "&" of the path doubled.
    QString GetMenuText(int index) const;
    // A file in the current folder without its folder; then, when longer than
    // maxLength, "/.../" and as many trailing folders as fit, at least the name;
    // a name longer than twice maxLength keeps its start and end around "...".
    static QString AbbreviateName(const QString& path, int maxLength, const QString& currentDir);

    void ReadList(QSettings& settings);
    // Clears the section, then writes the non-empty entries.
    void WriteList(QSettings& settings) const;

private:
    QStringList m_arrNames;
    int m_nSize;
};
