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

#include <optional>

namespace {

// Status bar panes, left to right: message, the document's encoding, kana,
// caps, num, scroll.
const QList<int> kIndicators = {ID_SEPARATOR, ID_INDICATOR_ENCODING, ID_INDICATOR_KANA, ID_INDICATOR_CAPS,
                                ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

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

bool OnSomeScreen(const QRect& rect)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect))
            return true;
    }
    return false;
}

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
    resize(640, 480);
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
        if (OnSomeScreen(rects->first)) {
            restoreGeometry(geometry);
        } else if (rects->second.isValid()) {
            // Off every screen: the size stays, the place is the default one.
            QSize size = rects->second.size();
            if (const QScreen* screen = QGuiApplication::primaryScreen())
                size = size.boundedTo(screen->availableSize());
            resize(size);
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
    if (files.size() > 1 && AfxGetMainWnd() == this)
        statusBar()->showMessage(AfxFormatString(IDS_DROP_IGNORED, {QString::number(files.size() - 1)}));
}
