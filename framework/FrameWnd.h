// Main frame window: menus, accelerators and tool bar built from a resource
// description, a status bar with lock indicators, and command routing to the
// view, the document, the frame and the application, in that order.
#pragma once

#include "CmdTarget.h"
#include "MenuResource.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QMap>

class CDocument;
class CEditView;
class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;

class CFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Builds menus and accelerators from the resource, then runs OnCreate.
    // False when either fails.
    bool LoadFrame(const QString& resourcePath, const QString& frameTitle);

    void SetView(CEditView* view);
    void SetDocument(CDocument* doc) { m_pDocument = doc; }
    CEditView* GetActiveView() const { return m_pView; }
    CDocument* GetActiveDocument() const { return m_pDocument; }

    // Sends the command to the first of view, document, frame and application
    // that handles it. False when none does.
    bool RouteCommand(int id);
    // Refreshes every menu item and button from the update handlers.
    void UpdateCmdUI();
    // Caption "<document title> - <frame title>".
    void OnUpdateFrameTitle();
    // Rebuilds the recent-file entries of the file menu.
    void UpdateRecentFileMenu();

    QAction* GetAction(int id) const { return m_actions.value(id); }
    QToolBar* GetToolBar() const { return m_pToolBar; }
    // Text of the status bar's message pane.
    QString GetMessageText() const;
    // Texts of the indicator panes as shown now (empty while a lock is off).
    QStringList GetIndicatorTexts() const;
    // Sets the text of a pane that is no lock indicator.
    void SetPaneText(int id, const QString& text);
    // The first of view, document, frame and application that handles id.
    CCmdTarget* CommandTarget(int id);
    // The menus, accelerators and tool bar as loaded.
    const CMenuResource& GetResource() const { return m_resource; }

protected:
    // Window creation: returns 0 to go on, -1 to abort.
    virtual int OnCreate() { return 0; }
    // Tool bar and status bar, for OnCreate.
    bool CreateToolBar();
    bool CreateStatusBar(const QList<int>& indicators);

    bool event(QEvent* e) override;

private:
    QAction* MakeAction(int id, const QString& caption);
    void AddMenuItems(QMenu* menu, const QList<CMenuResource::Item>& items);
    void UpdateIndicators();

    CMenuResource m_resource;
    QString m_strFrameTitle;
    QMap<int, QAction*> m_actions;
    QList<QAction*> m_recentActions;
    QToolBar* m_pToolBar = nullptr;
    QList<QPair<int, QLabel*>> m_indicators;
    QTimer* m_pIndicatorTimer = nullptr;
    CEditView* m_pView = nullptr;
    CDocument* m_pDocument = nullptr;
};
