#include "EditView.h"

#include "Afx.h"
#include "Cp932.h"
#include "Document.h"
#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTextDocument>

CEditView::CEditView()
{
    setFrameShape(QFrame::NoFrame);
    OnCommand(ID_EDIT_COPY, [this] { OnEditCopy(); });
    OnUpdate(ID_EDIT_COPY, [this](CCmdUI& ui) { ui.Enable(textCursor().hasSelection()); });
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
    setPlainText(Cp932ToDisplay(m_text));
}

void CEditView::SerializeRaw(CArchive& ar)
{
    QIODevice* file = ar.GetFile();
    if (ar.IsLoading()) {
        if (file->size() > kMaxTextBytes) {
            ar.Fail(AFX_IDP_FILE_TOO_LARGE);
            return;
        }
        QByteArray bytes = file->readAll();
        // A file that grew while being read is refused like a large one.
        if (bytes.size() > kMaxTextBytes) {
            ar.Fail(AFX_IDP_FILE_TOO_LARGE);
            return;
        }
        if (bytes.size() != file->size()) {
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
    copy();
}

void CEditView::OnEditSelectAll()
{
    selectAll();
}

bool CEditView::PrintDirect(QPrinter& printer)
{
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
