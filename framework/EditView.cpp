#include "EditView.h"

#include "Afx.h"
#include "Cp932.h"
#include "Document.h"
#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

#include <QFileDevice>
#include <QMimeData>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

// Qt finds a line break only where Unicode allows one, and it lays out a run
// without any in time quadratic in its length: a megabyte without a break
// point would freeze the window. A zero-width space after every kHintRun
// characters of such a run gives it break points; it is never part of the
// bytes and is taken out again when copying. The runs are found with Qt's own
// line-break rules, so that no character class is taken for a break point
// that the layout does not give (prolonged sound marks, closing punctuation,
// the user-defined characters).
constexpr QChar kBreakHint(0x200B);
constexpr qsizetype kHintRun = 64;

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
        if (file->size() > kMaxTextBytes) {
            ar.Fail(AFX_IDP_FILE_TOO_LARGE);
            return;
        }
        // Never more than one byte past the limit, whatever the file claims.
        QByteArray bytes = file->read(kMaxTextBytes + 1);
        // A file that grew while being read is refused like a large one.
        if (bytes.size() > kMaxTextBytes) {
            ar.Fail(AFX_IDP_FILE_TOO_LARGE);
            return;
        }
        auto* fileDevice = qobject_cast<QFileDevice*>(file);
        if (bytes.size() != file->size() ||
            (fileDevice && fileDevice->error() != QFileDevice::NoError)) {
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
    doc->setDefaultFont(font());
    doc->print(&printer);
    return printer.printerState() != QPrinter::Error;
}

void CEditView::OnFilePrint()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    QPrinter& printer = app->GetPrinter();
    if (!CUiSeam::Get().RunPrintDialog(m_pFrame, printer))
        return;
    if (!PrintDirect(printer))
        AfxMessageBox(AFX_IDP_FAILED_TO_START_PRINT);
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
