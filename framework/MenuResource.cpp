#include "MenuResource.h"

#include "Afx.h"

#include <QFile>

#include <optional>

bool CMenuResource::Load(const QString& path, QString* error)
{
    *this = CMenuResource();
    int lineNumber = 0;
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(reason);
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const QString all = QString::fromUtf8(file.readAll());
    // The menus open at this line: a top-level one, then submenus (as
    // indices into submenus).
    int top = -1;
    QList<int> open;
    for (QString line : all.split(u'\n')) {
        ++lineNumber;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList f = line.split(u'\t');
        const QString& kind = f[0];
        // The id named in field n; the key in field k, which no line before gave.
        std::optional<int> id;
        const auto named = [&](qsizetype n) {
            id = AfxLookupResourceId(f.value(n));
            return id.has_value();
        };
        QKeySequence key;
        const auto keyed = [&](qsizetype k) {
            key = QKeySequence(f.value(k), QKeySequence::PortableText);
            if (key.count() != 1 || key[0].key() == Qt::Key_unknown)
                return false;
            for (const auto& accel : accels) {
                if (accel.first == key)
                    return false;
            }
            return true;
        };
        Popup* popup = open.isEmpty() ? (top < 0 ? nullptr : &popups[top]) : &submenus[open.last()];
        if (kind == u"POPUP" && f.size() == 2) {
            if (popup) {
                popup->items.append(Item{Item::Submenu, int(submenus.size()), f[1]});
                submenus.append(Popup{f[1], {}});
                open.append(int(submenus.size()) - 1);
            } else {
                popups.append(Popup{f[1], {}});
                top = int(popups.size()) - 1;
            }
        } else if (kind == u"END" && f.size() == 1 && popup) {
            if (open.isEmpty())
                top = -1;
            else
                open.removeLast();
        } else if ((kind == u"ITEM" || kind == u"MRU") && popup && (f.size() == 3 || f.size() == 4)) {
            if (!named(1))
                return fail(QStringLiteral("unknown id \"%1\"").arg(f[1]));
            QString caption = f[2];
            if (f.size() == 4) {
                if (kind != u"ITEM" || !keyed(3))
                    return fail(QStringLiteral("bad or repeated key \"%1\"").arg(f[3]));
                accels.append({key, *id});
                caption += u'\t' + key.toString(QKeySequence::PortableText);
            }
            popup->items.append(
                Item{kind == u"ITEM" ? Item::Command : Item::RecentFiles, *id, caption});
        } else if (kind == u"SEPARATOR" && f.size() == 1) {
            if (popup)
                popup->items.append(Item{Item::Separator, 0, {}});
            else
                buttons.append(Button{0, {}});
        } else if (kind == u"ACCEL" && f.size() == 3 && !popup) {
            if (!named(2))
                return fail(QStringLiteral("unknown id \"%1\"").arg(f[2]));
            if (!keyed(1))
                return fail(QStringLiteral("bad or repeated key \"%1\"").arg(f[1]));
            accels.append({key, *id});
        } else if (kind == u"BUTTON" && f.size() == 3 && !popup) {
            if (!named(1))
                return fail(QStringLiteral("unknown id \"%1\"").arg(f[1]));
            buttons.append(Button{*id, f[2]});
        } else {
            return fail(QStringLiteral("not a resource line"));
        }
    }
    if (top >= 0)
        return fail(QStringLiteral("POPUP without END"));
    if (popups.isEmpty())
        return fail(QStringLiteral("no menu"));
    return true;
}
