#include "MainFrm.h"

#include "Afx.h"
#include "EditView.h"
#include "FindBar.h"
#include "Resource.h"
#include "WinApp.h"

#include <QDataStream>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

// Status bar panes, left to right: message, the document's encoding, the
// count of rewrites (while they are marked), kana, caps, num, scroll.
const QList<int> kIndicators = {ID_SEPARATOR, ID_INDICATOR_ENCODING, ID_INDICATOR_EDITS, ID_INDICATOR_KANA,
                                ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

const QString kLayoutSection = QStringLiteral("Window");
constexpr int kStateVersion = 1;

// The frame and normal rectangles at the head of QWidget::saveGeometry's
// record (magic number, version, frame rectangle, normal rectangle).
std::optional<std::pair<QRect, QRect>> SavedRects(const QByteArray& geometry)
{
    QDataStream in(geometry);
    in.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    QRect frame;
    QRect normal;
    in >> magic >> major >> minor >> frame >> normal;
    if (in.status() != QDataStream::Ok || magic != 0x1D9D0CB)
        return std::nullopt;
    return std::make_pair(frame, normal);
}

// The screen that shows most of rect, and how much of rect it shows (0 to 1).
std::pair<const QScreen*, double> BestScreen(const QRect& rect)
{
    const QScreen* best = QGuiApplication::primaryScreen();
    double shown = 0;
    const double area = double(rect.width()) * rect.height();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(rect);
        const double part = area > 0 ? double(common.width()) * common.height() / area : 0;
        if (!common.isEmpty() && part > shown) {
            best = screen;
            shown = part;
        }
    }
    return {best, shown};
}

// A window shown less than this much is brought back on its screen.
constexpr double kLeastShown = 0.25;
// The first window: 640 by 480, but never more than this share of the screen
// (its frame and the panels need the rest).
constexpr double kFirstShare = 0.9;

// The local files of a drag, in order.
QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (!data)
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

}  // namespace

CMainFrame::CMainFrame()
{
    setWindowIcon(QIcon(QString::fromLatin1(kProgramIconPath)));
    QSize size(640, 480);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * kFirstShare);
    resize(size);
    setAcceptDrops(true);
}

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate()
{
    if (!CreateToolBar())
        return -1;
    if (!CreateStatusBar(kIndicators))
        return -1;
    // Bars dock on all four sides; the tool bar starts at the top.
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    // The find bar under the view, hidden until asked for.
    if (CEditView* view = GetActiveView()) {
        auto* client = new QWidget(this);
        auto* layout = new QVBoxLayout(client);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        takeCentralWidget();
        layout->addWidget(view);
        m_pFindBar = new CFindBar(view, client);
        layout->addWidget(m_pFindBar);
        setCentralWidget(client);
        view->setFocus();
        OnCommand(ID_EDIT_FIND, [this] { m_pFindBar->Open(); });
        OnCommand(ID_EDIT_FIND_NEXT, [this] { m_pFindBar->FindNext(); });
        OnCommand(ID_EDIT_FIND_PREV, [this] { m_pFindBar->FindPrevious(); });
    }

    // 開き直す's encodings: captions and prompts from the encoding table.
    for (const CEncodingInfo& row : kEncodings) {
        if (QAction* item = GetAction(ReopenCommand(row.m_id))) {
            const QString name = QString::fromUtf8(row.m_display.data(), qsizetype(row.m_display.size()));
            const QStringList prompt = AfxFormatString(IDS_FILE_REOPEN_AS, {name}).split(u'\n');
            item->setText(QString::fromUtf8(row.m_reopen.data(), qsizetype(row.m_reopen.size())));
            item->setStatusTip(prompt.value(0));
            item->setToolTip(prompt.value(1));
        }
    }

    // Grayed menu items show their prompt under the pointer too.
    for (QAction* item : menuBar()->actions()) {
        if (QMenu* menu = item->menu()) {
            menu->installEventFilter(this);
            connect(menu, &QMenu::aboutToHide, this, [this] {
                if (m_pGrayedItem)
                    statusBar()->showMessage(AfxLoadString(AFX_IDS_IDLEMESSAGE));
                m_pGrayedItem = nullptr;
            });
        }
    }
    return 0;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        auto* menu = qobject_cast<QMenu*>(watched);
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        QPointer<QAction> item = menu ? menu->actionAt(pos) : nullptr;
        // After the menu's own handling, which clears the prompt on leaving
        // an enabled item.
        QMetaObject::invokeMethod(
            this,
            [this, item] {
                if (item && !item->isEnabled() && !item->isSeparator()) {
                    m_pGrayedItem = item;
                    statusBar()->showMessage(item->statusTip());
                } else if (m_pGrayedItem && (!item || item->isSeparator())) {
                    m_pGrayedItem = nullptr;
                    statusBar()->showMessage(AfxLoadString(AFX_IDS_IDLEMESSAGE));
                } else if (item) {
                    m_pGrayedItem = nullptr;
                }
            },
            Qt::QueuedConnection);
    }
    return CFrameWnd::eventFilter(watched, event);
}

void CMainFrame::showEvent(QShowEvent* event)
{
    m_bShown = true;
    CFrameWnd::showEvent(event);
}

void CMainFrame::SaveLayout(QSettings& settings) const
{
    settings.beginGroup(kLayoutSection);
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("State"), saveState(kStateVersion));
    settings.setValue(QStringLiteral("StatusBar"), !statusBar()->isHidden());
    settings.endGroup();
}

void CMainFrame::RestoreLayout(QSettings& settings)
{
    settings.beginGroup(kLayoutSection);
    const QByteArray geometry = settings.value(QStringLiteral("Geometry")).toByteArray();
    const QByteArray state = settings.value(QStringLiteral("State")).toByteArray();
    const QVariant statusShown = settings.value(QStringLiteral("StatusBar"));
    settings.endGroup();

    if (const auto rects = SavedRects(geometry)) {
        const auto [screen, shown] = BestScreen(rects->first);
        if (shown >= kLeastShown) {
            restoreGeometry(geometry);
        } else if (rects->second.isValid() && screen) {
            // (Almost) off every screen: the size stays as far as the screen
            // holds it, and the window comes back onto the screen that showed
            // most of it.
            const QRect area = screen->availableGeometry();
            const QSize size = rects->second.size().boundedTo(area.size() * kFirstShare);
            const QRect frame = rects->first;
            // The frame's edges and title around the window's own size.
            const QSize whole = size + (frame.size() - rects->second.size()).expandedTo(QSize(0, 0));
            const int x = std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - whole.width()));
            const int y = std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - whole.height()));
            resize(size);
            move(x, y);
        }
    }
    if (!state.isEmpty())
        restoreState(state, kStateVersion);
    if (statusShown.isValid())
        statusBar()->setVisible(statusShown.toBool());
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // One document at a time: the first file, as File > Open would.
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    app->OpenDocumentFile(files.first());
    if (files.size() > 1 && AfxGetMainWnd() == this) {
        m_strDropNote = AfxFormatString(IDS_DROP_IGNORED, {QString::number(files.size() - 1)});
        statusBar()->showMessage(m_strDropNote);
    }
}

void CMainFrame::ClearDropNote()
{
    if (!m_strDropNote.isEmpty() && statusBar()->currentMessage() == m_strDropNote)
        statusBar()->showMessage(AfxLoadString(AFX_IDS_IDLEMESSAGE));
    m_strDropNote.clear();
}
