#include "EditView.h"

#include "Afx.h"
#include "Cp932.h"
#include "Document.h"
#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

#include <QFile>
#include <QAction>
#include <QFileDevice>
#include <QGraphicsItem>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QToolBar>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt finds a line break only where Unicode allows one, and it lays out a run
// without any in time quadratic in its length: a megabyte without a break
// point would freeze the window. A zero-width space after every kHintRun
// characters of such a run gives it break points; it is never part of the
// bytes and is taken out again when copying. The runs are found with Qt's own
// line-break rules, so that no character class is taken for a break point
// that the layout does not give (prolonged sound marks, closing punctuation,
// the user-defined characters). Every few characters, so that such a run
// still wraps within a few characters of the window's edge.
constexpr QChar kBreakHint = CEditView::kBreakHint;
constexpr qsizetype kHintRun = 4;

QString WithBreakHints(const QString& text)
{
    // Where each hint goes: kHintRun characters into a run, and every
    // kHintRun after that, while the run lasts.
    QList<qsizetype> hints;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    qsizetype start = 0;
    for (qsizetype end = breaks.toNextBoundary(); end > 0; end = breaks.toNextBoundary()) {
        for (qsizetype at = start + kHintRun; at < end; at += kHintRun)
            hints.append(at);
        start = end;
    }
    if (hints.isEmpty())
        return text;
    QString out;
    out.reserve(text.size() + hints.size());
    qsizetype from = 0;
    for (qsizetype at : hints) {
        out += QStringView(text).sliced(from, at - from);
        out += kBreakHint;
        from = at;
    }
    out += QStringView(text).sliced(from);
    return out;
}

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

CEditView::CEditView()
{
    setFrameShape(QFrame::NoFrame);
    OnCommand(ID_EDIT_COPY, [this] { OnEditCopy(); });
    // A text still to be shown has no selection yet.
    OnUpdate(ID_EDIT_COPY, [this](CCmdUI& ui) {
        ui.Enable(!m_bDisplayPending && textCursor().hasSelection());
    });
    OnCommand(ID_EDIT_SELECT_ALL, [this] { OnEditSelectAll(); });
    OnUpdate(ID_EDIT_SELECT_ALL, [this](CCmdUI& ui) { ui.Enable(!m_text.isEmpty()); });
    OnCommand(ID_FILE_PRINT, [this] { OnFilePrint(); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
}

CEditView::~CEditView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

void CEditView::Attach(CDocument* doc, CFrameWnd* frame)
{
    m_pDocument = doc;
    m_pFrame = frame;
    if (doc)
        doc->AddView(this);
}

void CEditView::SetWindowText(const QByteArray& text)
{
    m_text = text;
    // Laying out a large text is the costly part: an open that loads the raw
    // text and then replaces it lays out only the last one, once control
    // returns to the event loop (or when the shown text is needed earlier).
    if (!m_bDisplayPending) {
        m_bDisplayPending = true;
        QMetaObject::invokeMethod(this, &CEditView::FlushDisplay, Qt::QueuedConnection);
    }
}

void CEditView::SetWindowText(const QByteArray& text, EncodingId encoding)
{
    m_encoding = encoding;
    SetWindowText(text);
}

void CEditView::FlushDisplay()
{
    if (!m_bDisplayPending)
        return;
    m_bDisplayPending = false;
    setPlainText(WithBreakHints(BytesToDisplay(m_text, m_encoding)));
}

QString CEditView::GetDisplayText()
{
    FlushDisplay();
    return toPlainText().remove(kBreakHint);
}

QMimeData* CEditView::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    data->setText(textCursor().selection().toPlainText().remove(kBreakHint));
    return data;
}

void CEditView::SerializeRaw(CArchive& ar)
{
    QIODevice* file = ar.GetFile();
    if (ar.IsLoading()) {
        // Read to the end, never more than one byte past the limit, whatever
        // size() claims: files of the system (/proc) report 0 and hold text.
        QByteArray bytes;
        while (bytes.size() <= kMaxTextBytes) {
            const QByteArray chunk = file->read(kMaxTextBytes + 1 - bytes.size());
            if (chunk.isEmpty())
                break;
            bytes += chunk;
        }
        if (bytes.size() > kMaxTextBytes) {
            ar.Fail(AFX_IDP_FILE_TOO_LARGE);
            return;
        }
        auto* fileDevice = qobject_cast<QFileDevice*>(file);
        if (fileDevice && fileDevice->error() != QFileDevice::NoError) {
            ar.Fail();
            return;
        }
        SetWindowText(bytes);
    } else {
        if (file->write(m_text) != m_text.size())
            ar.Fail();
    }
}

void CEditView::OnEditCopy()
{
    FlushDisplay();
    copy();
}

void CEditView::OnEditSelectAll()
{
    FlushDisplay();
    selectAll();
}

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
    // A PDF file: make sure it can be written, and that it is a file whose
    // end can be checked once the job is done. Printing replaces it anyway;
    // emptied now, it can never pass for a whole PDF if the job breaks off.
    const QString name = printer.outputFileName();
    const QByteArray native = QFile::encodeName(name);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT);
    const int fd =
        ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return CDocument::ErrnoMessage(errno, name, true);
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT);
    // The PDF engine does not report failed writes (a full disk): the
    // written file must end as a PDF ends, or it is removed.
    if (PrintDirect(printer) && PdfComplete(native))
        return QString();
    if (char* resolved = ::realpath(native.constData(), nullptr)) {
        ::unlink(resolved);
        std::free(resolved);
    }
    return AfxLoadString(AFX_IDP_FAILED_TO_START_PRINT);
}

void CEditView::OnFilePrint()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    QPrinter& printer = app->GetPrinter();
    if (!CUiSeam::Get().RunPrintDialog(m_pFrame, printer))
        return;
    const QString failure = PrintDocument(printer);
    if (!failure.isEmpty())
        AfxMessageBox(failure);
}

void CEditView::OnFilePrintPreview()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    QPrintPreviewDialog dialog(&app->GetPrinter(), m_pFrame);
    auto* preview = dialog.findChild<QPrintPreviewWidget*>();
    if (preview) {
        // The one/two page choice last made in the preview.
        if (app->m_nNumPreviewPages == 2)
            preview->setViewMode(QPrintPreviewWidget::FacingPagesView);
        else if (app->m_nNumPreviewPages == 1)
            preview->setViewMode(QPrintPreviewWidget::SinglePageView);
    }
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
    // A close button at the end of the bar, and a dialog wide enough to show
    // the whole bar, 印刷 included.
    if (auto* bar = dialog.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* close = bar->addAction(AfxLoadString(AFX_IDS_PREVIEW_CLOSE), &dialog, &QDialog::reject);
        close->setObjectName(QStringLiteral("closeAction"));
        const QSize hint = dialog.sizeHint();
        dialog.resize(std::max(hint.width(), bar->sizeHint().width() + 24), hint.height());
    }
    const auto startMode = preview ? preview->viewMode() : QPrintPreviewWidget::SinglePageView;
    CUiSeam::Get().DoModal(dialog);
    // Remember the page count only when the user changed it.
    if (preview && preview->viewMode() != startMode) {
        if (preview->viewMode() == QPrintPreviewWidget::FacingPagesView)
            app->m_nNumPreviewPages = 2;
        else if (preview->viewMode() == QPrintPreviewWidget::SinglePageView)
            app->m_nNumPreviewPages = 1;
    }
}
