#pragma once

#include <QKeySequence>
#include <QList>
#include <QPair>
#include <QString>

// Menus, accelerators and tool bar of one resource, read from a text file in
// which commands are named by their ids (AfxLookupResourceId):
//   POPUP <TAB> caption ... END              a drop-down menu; inside one,
//                                            a submenu
//   ITEM <TAB> ID <TAB> caption [<TAB> key]  an item; the key ("Ctrl+N") is its
//                                            accelerator, shown after the caption
//   SEPARATOR                                in a menu or on the tool bar
//   MRU <TAB> ID <TAB> caption               the recent-file placeholder
//   ACCEL <TAB> key <TAB> ID                 a further accelerator
//   BUTTON <TAB> ID <TAB> image              a tool bar button
struct CMenuResource {
    struct Item {
        enum Kind { Command, Separator, RecentFiles, Submenu } kind = Command;
        int id = 0;  // Submenu: its index in submenus
        QString caption;
    };
    struct Popup {
        QString caption;
        QList<Item> items;
    };
    struct Button {
        int id = 0;  // 0 is a separator
        QString image;
    };
    QList<Popup> popups;
    QList<Popup> submenus;
    QList<QPair<QKeySequence, int>> accels;
    QList<Button> buttons;

    // False, with the file, line and reason in *error, when the file cannot
    // be read or a line is wrong: an unknown id or kind, a missing field, a
    // key that is no key or is given twice.
    bool Load(const QString& path, QString* error = nullptr);
};
