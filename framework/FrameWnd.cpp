#include "FrameWnd.h"

#include "Afx.h"
#include "Document.h"
#include "EditView.h"
#include "LockState.h"
#include "WinApp.h"

#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>

#include <optional>

CFrameWnd::CFrameWnd()
{
    OnCommand(ID_VIEW_TOOLBAR, [this] {
        if (m_pToolBar)
            m_pToolBar->setVisible(m_pToolBar->isHidden());
    });
    OnUpdate(ID_VIEW_TOOLBAR, [this](CCmdUI& ui) {
        ui.Enable(m_pToolBar != nullptr);
        ui.SetCheck(m_pToolBar && !m_pToolBar->isHidden());
    });
    OnCommand(ID_VIEW_STATUS_BAR, [this] { statusBar()->setVisible(statusBar()->isHidden()); });
    OnUpdate(ID_VIEW_STATUS_BAR, [this](CCmdUI& ui) { ui.SetCheck(!statusBar()->isHidden()); });
}

CFrameWnd::~CFrameWnd() = default;

QAction* CFrameWnd::MakeAction(int id, const QString& caption)
{
    QAction* action = m_actions.value(id);
    if (!action) {
        action = new QAction(this);
        m_actions.insert(id, action);
        // The prompt string: status prompt, "\n", tool tip.
        const QString prompt = AfxLoadString(id);
        const qsizetype nl = prompt.indexOf(u'\n');
        action->setStatusTip(nl < 0 ? prompt : prompt.left(nl));
        if (nl >= 0)
            action->setToolTip(prompt.mid(nl + 1));
        action->setIconVisibleInMenu(false);
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
    if (!caption.isEmpty())
        action->setText(caption);
    return action;
}

void CFrameWnd::AddMenuItems(QMenu* menu, const QList<CMenuResource::Item>& items)
{
    for (const auto& item : items) {
        switch (item.kind) {
        case CMenuResource::Item::Separator:
            menu->addSeparator();
            break;
        case CMenuResource::Item::Command:
            menu->addAction(MakeAction(item.id, item.caption));
            break;
        case CMenuResource::Item::Submenu:
            AddMenuItems(menu->addMenu(item.caption), m_resource.submenus[item.id].items);
            break;
        case CMenuResource::Item::RecentFiles: {
            const int count = AfxGetApp() ? AfxGetApp()->GetRecentFileList().GetSize() : 1;
            for (int i = 0; i < std::max(count, 1); ++i) {
                QAction* action = MakeAction(item.id + i, i == 0 ? item.caption : QString());
                m_recentActions.append(action);
                menu->addAction(action);
            }
            m_recentActions.first()->setData(item.caption);
            break;
        }
        }
    }
}

bool CFrameWnd::LoadFrame(const QString& resourcePath, const QString& frameTitle)
{
    m_strFrameTitle = frameTitle;
    QString error;
    if (!m_resource.Load(resourcePath, &error)) {
        // A broken resource is the program's own fault: say where it is.
        qWarning("%s", qPrintable(error));
        return false;
    }
    for (const auto& popup : m_resource.popups) {
        QMenu* menu = menuBar()->addMenu(popup.caption);
        connect(menu, &QMenu::aboutToShow, this, [this] {
            UpdateRecentFileMenu();
            UpdateCmdUI();
        });
        AddMenuItems(menu, popup.items);
    }
    for (const auto& [keys, id] : m_resource.accels) {
        QAction* action = MakeAction(id, QString());
        QList<QKeySequence> shortcuts = action->shortcuts();
        shortcuts.append(keys);
        action->setShortcuts(shortcuts);
        // Accelerators work wherever the focus is in the window.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    if (OnCreate() != 0)
        return false;
    UpdateRecentFileMenu();
    UpdateCmdUI();
    return true;
}

bool CFrameWnd::CreateToolBar()
{
    m_pToolBar = new QToolBar(this);
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setWindowTitle(AfxLoadString(AFX_IDS_APP_TITLE));
    m_pToolBar->setIconSize(QSize(16, 15));
    for (const auto& button : m_resource.buttons) {
        if (button.id == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* action = MakeAction(button.id, QString());
        const QIcon icon(button.image);
        if (icon.isNull())
            return false;
        action->setIcon(icon);
        m_pToolBar->addAction(action);
    }
    // Dockable on every side and floating.
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
    return true;
}

bool CFrameWnd::CreateStatusBar(const QList<int>& indicators)
{
    QStatusBar* bar = statusBar();
    for (int id : indicators) {
        if (id == ID_SEPARATOR)
            continue;
        const QString text = AfxLoadString(id);
        auto* label = new QLabel(bar);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 8);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(label);
        m_indicators.append({id, label});
    }
    bar->showMessage(AfxLoadString(AFX_IDS_IDLEMESSAGE));
    m_pIndicatorTimer = new QTimer(this);
    connect(m_pIndicatorTimer, &QTimer::timeout, this, &CFrameWnd::UpdateIndicators);
    m_pIndicatorTimer->start(250);
    UpdateIndicators();
    return true;
}

void CFrameWnd::UpdateIndicators()
{
    for (auto& [id, label] : m_indicators) {
        ELock lock = ELock::Caps;
        switch (id) {
        case ID_INDICATOR_KANA: lock = ELock::Kana; break;
        case ID_INDICATOR_CAPS: lock = ELock::Caps; break;
        case ID_INDICATOR_NUM: lock = ELock::Num; break;
        case ID_INDICATOR_SCRL: lock = ELock::Scroll; break;
        default: continue;
        }
        const bool on = QueryLockState(lock).value_or(false);
        label->setText(on ? AfxLoadString(id) : QString());
    }
}

QString CFrameWnd::GetMessageText() const
{
    return statusBar()->currentMessage();
}

void CFrameWnd::SetPaneText(int id, const QString& text)
{
    for (const auto& [paneId, label] : m_indicators) {
        if (paneId == id)
            label->setText(text);
    }
}

QStringList CFrameWnd::GetIndicatorTexts() const
{
    QStringList texts;
    for (const auto& [id, label] : m_indicators)
        texts.append(label->text());
    return texts;
}

bool CFrameWnd::event(QEvent* e)
{
    if (e->type() == QEvent::StatusTip) {
        // Nothing under the pointer: back to the idle text.
        auto* tip = static_cast<QStatusTipEvent*>(e);
        statusBar()->showMessage(tip->tip().isEmpty() ? AfxLoadString(AFX_IDS_IDLEMESSAGE)
                                                      : tip->tip());
        return true;
    }
    return QMainWindow::event(e);
}

void CFrameWnd::SetView(CEditView* view)
{
    m_pView = view;
    setCentralWidget(view);
    view->setFocus();
    connect(view, &QPlainTextEdit::selectionChanged, this, &CFrameWnd::UpdateCmdUI);
    connect(view, &QPlainTextEdit::textChanged, this, &CFrameWnd::UpdateCmdUI);
}

CCmdTarget* CFrameWnd::CommandTarget(int id)
{
    CCmdTarget* const targets[] = {m_pView, m_pDocument, this, AfxGetApp()};
    for (CCmdTarget* target : targets) {
        if (target && target->HandlesCommand(id))
            return target;
    }
    return nullptr;
}

bool CFrameWnd::RouteCommand(int id)
{
    CCmdTarget* target = CommandTarget(id);
    if (target) {
        // Disabled commands do nothing, even through a key.
        CCmdUI ui(id);
        target->OnUpdateCmdUI(ui);
        if (ui.m_bEnabled)
            target->OnCmdMsg(id);
    }
    // The handler may have closed the application; refresh only if still here.
    if (AfxGetMainWnd() == this)
        UpdateCmdUI();
    return target != nullptr;
}

void CFrameWnd::UpdateCmdUI()
{
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        CCmdUI ui(it.key());
        CCmdTarget* target = CommandTarget(ui.m_nID);
        if (target)
            target->OnUpdateCmdUI(ui);
        // A command that nobody handles is grayed.
        it.value()->setEnabled(target && ui.m_bEnabled);
        if (ui.m_checked) {
            it.value()->setCheckable(true);
            it.value()->setChecked(*ui.m_checked);
        }
    }
}

void CFrameWnd::OnUpdateFrameTitle()
{
    const QString title = m_pDocument ? m_pDocument->GetTitle() : QString();
    // "[*]" is Qt's modified-mark placeholder; double it so a name shows as is.
    QString shown = title.isEmpty() ? m_strFrameTitle : title + QStringLiteral(" - ") + m_strFrameTitle;
    shown.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(shown);
}

void CFrameWnd::UpdateRecentFileMenu()
{
    if (m_recentActions.isEmpty() || !AfxGetApp())
        return;
    const CRecentFileList& list = AfxGetApp()->GetRecentFileList();
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction* action = m_recentActions[i];
        if (i < list.GetCount()) {
            action->setText(list.GetMenuText(i));
            action->setVisible(true);
        } else if (i == 0) {
            action->setText(m_recentActions.first()->data().toString());
            action->setVisible(true);
        } else {
            action->setVisible(false);
        }
    }
}
