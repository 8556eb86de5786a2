#include "EditView.h"

#include "Afx.h"
#include "Document.h"

#include <QFileDevice>
#include <QMimeData>
#include <QTextBoundaryFinder>
#include <QTextDocumentFragment>

#include <algorithm>

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

QString CEditView::DecodeForDisplay(const QByteArray& bytes) const
{
    return QString::fromUtf8(bytes);
}

void CEditView::FlushDisplay()
{
    if (!m_bDisplayPending)
        return;
    m_bDisplayPending = false;
    setPlainText(WithBreakHints(DecodeForDisplay(m_text)));
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
        // In pieces of at most a megabyte, so that a large limit is not
        // allocated up front.
        QByteArray bytes;
        while (bytes.size() <= m_nLimitText) {
            const qint64 want = std::min<qint64>(m_nLimitText + 1 - bytes.size(), qint64{1} << 20);
            const QByteArray chunk = file->read(want);
            if (chunk.isEmpty())
                break;
            bytes += chunk;
        }
        if (bytes.size() > m_nLimitText) {
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
