// Printing and the print preview of the edit view.
#include "EditView.h"

#include "Afx.h"
#include "AppContext.h"
#include "Document.h"
#include "UiSeam.h"

#include <QAction>
#include <QFile>
#include <QGraphicsItem>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTextDocument>
#include <QToolBar>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt's two-page preview leaves page 1 alone on the right; lay the pages out
// in pairs, 1 and 2 side by side, 3 and 4 below, as on the desk.
void PairFacingPages(QPrintPreviewWidget* preview)
{
    auto* view = preview->findChild<QGraphicsView*>();
    if (preview->viewMode() != QPrintPreviewWidget::FacingPagesView || !view || !view->scene())
        return;
    QList<QGraphicsItem*> pages;
    for (QGraphicsItem* item : view->scene()->items()) {
        if (!item->parentItem())
            pages.append(item);
    }
    if (pages.isEmpty())
        return;
    // Both layouts place the pages row by row, left to right.
    std::sort(pages.begin(), pages.end(), [](const QGraphicsItem* a, const QGraphicsItem* b) {
        return a->pos().y() != b->pos().y() ? a->pos().y() < b->pos().y()
                                            : a->pos().x() < b->pos().x();
    });
    const QSizeF size = pages.first()->boundingRect().size();
    bool moved = false;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const QPointF place((i % 2) * size.width(), (i / 2) * size.height());
        if (pages[i]->pos() != place) {
            pages[i]->setPos(place);
            moved = true;
        }
    }
    if (!moved)
        return;
    view->scene()->setSceneRect(view->scene()->itemsBoundingRect());
    view->centerOn(pages[std::clamp<qsizetype>(preview->currentPage() - 1, 0, pages.size() - 1)]);
}

// Share of the screen that a preview first takes.
constexpr double kPreviewShare = 0.85;

// A preview place worth restoring: at least a quarter of it on some screen.
bool PreviewOnScreen(const QRect& rect)
{
    const double area = double(rect.width()) * rect.height();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(rect);
        if (area > 0 && double(common.width()) * common.height() >= area / 4)
            return true;
    }
    return false;
}

// Page Down and Page Up turn the preview's pages (two at a time side by side).
class CPreviewKeys : public QObject {
public:
    explicit CPreviewKeys(QPrintPreviewWidget* preview) : QObject(preview), m_pPreview(preview) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
                const bool facing = m_pPreview->viewMode() == QPrintPreviewWidget::FacingPagesView;
                const int step = facing ? 2 : 1;
                int page = m_pPreview->currentPage();
                if (facing)
                    page -= (page - 1) % 2;
                page += key == Qt::Key_PageDown ? step : -step;
                if (page >= 1 && page <= m_pPreview->pageCount())
                    m_pPreview->setCurrentPage(page);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPrintPreviewWidget* m_pPreview;
};

}  // namespace

bool CEditView::PrintDirect(QPrinter& printer)
{
    FlushDisplay();
    // Print a copy so that the page layout does not disturb the screen's.
    std::unique_ptr<QTextDocument> doc(document()->clone());
    doc->setDefaultFont(PrintFont());
    doc->print(&printer);
    return printer.printerState() != QPrinter::Error;
}

namespace {

// A PDF that was written whole ends in "%%EOF" (and perhaps a line break).
bool PdfComplete(const QByteArray& native)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    QByteArray tail(64, '\0');
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const off_t from = st.st_size > tail.size() ? st.st_size - tail.size() : 0;
        got = ::pread(fd, tail.data(), size_t(st.st_size - from), from);
    }
    ::close(fd);
    return got > 0 && tail.left(got).trimmed().endsWith("%%EOF");
}

}  // namespace

bool CEditView::PrinterAvailable(const QPrinter& printer)
{
    // Without any printer Qt falls back to a PDF printer without a file.
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    return !printer.printerName().isEmpty() &&
           !QPrinterInfo::printerInfo(printer.printerName()).isNull();
}

QString CEditView::PrintDocument(QPrinter& printer)
{
    if (!PrinterAvailable(printer))
        return AfxLoadString(AFX_IDS_NO_PRINTER);
    if (printer.outputFormat() != QPrinter::PdfFormat) {
        if (!PrintDirect(printer))
            return AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT);
        return QString();
    }
    // A PDF file: printed to a temporary file beside it, which replaces it
    // only when the job went through and the file ends as a PDF ends (the
    // PDF engine does not report failed writes, a full disk among them). A
    // failed job leaves the old file as it was.
    const QString name = printer.outputFileName();
    const QByteArray target = CDocument::WriteTarget(QFile::encodeName(name));
    struct stat st {};
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT);
    if (exists && ::access(target.constData(), W_OK) != 0)
        return CDocument::ErrnoMessage(errno, name, true);
    QByteArray temp = CDocument::TemporaryName(
        target, m_pDocument ? m_pDocument->TemporaryStem() : QByteArray("print"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return CDocument::ErrnoMessage(errno, name, true);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const bool ready = ::fchmod(fd, exists ? st.st_mode & 07777 : 0666 & ~mask) == 0;
    ::close(fd);
    printer.setOutputFileName(QFile::decodeName(temp));
    const bool printed = ready && PrintDirect(printer) && PdfComplete(temp) &&
                         ::rename(temp.constData(), target.constData()) == 0;
    printer.setOutputFileName(name);
    if (printed)
        return QString();
    ::unlink(temp.constData());
    return AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT);
}

void CEditView::OnFilePrint()
{
    if (!m_pContext)
        return;
    QPrinter& printer = m_pContext->GetPrinter();
    if (!CUiSeam::Get().RunPrintDialog(window(), printer))
        return;
    const QString failure = PrintDocument(printer);
    if (!failure.isEmpty())
        AfxMessageBox(failure);
}

void CEditView::OnFilePrintPreview()
{
    if (!m_pContext)
        return;
    QPrintPreviewDialog dialog(&m_pContext->GetPrinter(), window());
    auto* preview = dialog.findChild<QPrintPreviewWidget*>();
    // The dialog's own buttons, so that the one pressed shows as pressed.
    const auto trigger = [&dialog](const char* name) {
        if (auto* action = dialog.findChild<QAction*>(QLatin1String(name)))
            action->trigger();
    };
    // The one/two page choice last made in the preview.
    if (m_pContext->GetPreviewPages() == 2)
        trigger("facingModeAction");
    else if (m_pContext->GetPreviewPages() == 1)
        trigger("singleModeAction");
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { PrintDirect(*printer); });
    if (preview) {
        connect(preview, &QPrintPreviewWidget::previewChanged, preview,
                [preview] { PairFacingPages(preview); });
        // The keys work at once: the focus starts on the pages, not the bar.
        if (auto* pages = preview->findChild<QGraphicsView*>()) {
            pages->installEventFilter(new CPreviewKeys(preview));
            pages->setFocus();
        }
    }
    // A close button at the end of the bar, pressed by its mnemonic too.
    int barWidth = 0;
    if (auto* bar = dialog.findChild<QToolBar*>()) {
        bar->addSeparator();
        const QString caption = AfxLoadString(AFX_IDS_PREVIEW_CLOSE);
        QAction* close = bar->addAction(caption, &dialog, &QDialog::reject);
        close->setObjectName(QStringLiteral("closeAction"));
        close->setShortcut(QKeySequence::mnemonic(caption));
        barWidth = bar->sizeHint().width() + 24;
    }
    // Where it was last, or most of the screen the window is on, so that a
    // whole page is readable, and wide enough for the whole bar, 印刷 included.
    if (m_pContext->GetPreviewGeometry().isEmpty() || !dialog.restoreGeometry(m_pContext->GetPreviewGeometry()) ||
        !PreviewOnScreen(dialog.geometry())) {
        const QScreen* screen = window() ? window()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            QRect place(QPoint(), (area.size() * kPreviewShare).expandedTo(QSize(barWidth, 0)));
            place.moveCenter(area.center());
            place.moveLeft(std::max(place.left(), area.left()));
            dialog.setGeometry(place);
        }
    }
    const auto startMode = preview ? preview->viewMode() : QPrintPreviewWidget::SinglePageView;
    CUiSeam::Get().DoModal(dialog);
    m_pContext->SetPreviewGeometry(dialog.saveGeometry());
    // Remember the page count only when the user changed it.
    if (preview && preview->viewMode() != startMode) {
        if (preview->viewMode() == QPrintPreviewWidget::FacingPagesView)
            m_pContext->SetPreviewPages(2);
        else if (preview->viewMode() == QPrintPreviewWidget::SinglePageView)
            m_pContext->SetPreviewPages(1);
    }
}
