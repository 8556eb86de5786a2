// The main frame: tool bar and status bar around the view, the find bar
// under it, files dropped on it, and its layout kept from run to run.
#pragma once

#include "FrameWnd.h"

#include <QPointer>

class CFindBar;
class QSettings;

class CMainFrame : public CFrameWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    CFindBar* GetFindBar() const { return m_pFindBar; }

    // Size, place and state of the window and its bars, in the settings
    // section "Window". A saved place that no screen shows is not used.
    void SaveLayout(QSettings& settings) const;
    void RestoreLayout(QSettings& settings);
    // Whether the window has been shown: only then is its layout worth saving.
    bool WasShown() const { return m_bShown; }
    // Takes the note about dropped files that were not opened off the status
    // bar: a later open makes it old news.
    void ClearDropNote();

protected:
    int OnCreate() override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CFindBar* m_pFindBar = nullptr;
    bool m_bShown = false;
    // The grayed menu item whose prompt the status bar shows.
    QPointer<QAction> m_pGrayedItem;
    QString m_strDropNote;
};
