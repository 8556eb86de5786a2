#include "JestpadView.h"

#include "DisplayDecoder.h"
#include "FrameWnd.h"
#include "JestpadDoc.h"
#include "Resource.h"
#include "UiSeam.h"
#include "Afx.h"

#include <QInputDialog>
#include <QScrollBar>
#include <QSettings>
#include <QTextBlock>
#include <QTextOption>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

CJestpadView::CJestpadView()
{
    // "ＭＳ 明朝", 16 pixels high (8 wide): at 96 dpi that is 12 points,
    // which is what Qt's font dialog works in.
    m_font.setFamily(QStringLiteral("ＭＳ 明朝"));
    m_font.setPointSize(12);
    SetLimitText(kMaxTextBytes);

    // Wrapped at the window's edge, anywhere in a line without spaces, and
    // never a horizontal scroll bar.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The vertical bar always stands, as in an edit control: a bar that comes
    // and goes would change the width and lay the whole text out twice.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Files dropped here go to the frame, which opens them.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);

    // The screen starts in the font the font dialog names.
    setFont(m_font);

    OnCommand(ID_SETTINGS_FONT, [this] { OnSettingsFont(); });
    OnCommand(ID_VIEW_ZOOM_IN, [this] { Zoom(1); });
    OnCommand(ID_VIEW_ZOOM_OUT, [this] { Zoom(-1); });
    OnCommand(ID_VIEW_ZOOM_RESET, [this] { Zoom(-m_nZoom); });
    OnCommand(ID_EDIT_GOTO_LINE, [this] { OnEditGotoLine(); });
    OnCommand(ID_VIEW_JEST_MARKS, [this] { ShowEdits(!m_bShowEdits); });
    OnUpdate(ID_VIEW_JEST_MARKS, [this](CCmdUI& ui) { ui.SetCheck(m_bShowEdits); });

    // A new text is marked anew; the marks follow scrolling and resizing.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        m_bMarksMade = false;
        m_arrMarks.clear();
        if (m_bShowEdits)
            QMetaObject::invokeMethod(this, &CJestpadView::UpdateSelections, Qt::QueuedConnection);
    });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int dy) {
        if (dy != 0 && m_bShowEdits)
            UpdateSelections();
    });
}

CJestpadView::~CJestpadView() = default;

void CJestpadView::SetWindowText(const QByteArray& text, EncodingId encoding)
{
    m_encoding = encoding;
    SetWindowText(text);
}

QString CJestpadView::DecodeForDisplay(const QByteArray& bytes) const
{
    return BytesToDisplay(bytes, m_encoding);
}

CJestpadDoc* CJestpadView::GetDocument() const
{
    return static_cast<CJestpadDoc*>(CEditView::GetDocument());
}

void CJestpadView::OnInitialUpdate()
{
    CEditView::OnInitialUpdate();
    CJestpadDoc* doc = GetDocument();
    if (!doc || doc->m_bViewReady)
        return;
    doc->m_bViewReady = true;
    doc->Reload();
    setReadOnly(true);
    // Read-only still lets the user select with the keyboard and copy.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void CJestpadView::OnSettingsFont()
{
    const auto chosen = CUiSeam::Get().GetFont(nullptr, m_font);
    if (!chosen)
        return;
    m_font = *chosen;
    m_bFontChosen = true;
    // A new font starts unzoomed.
    m_nZoom = 0;
    ApplyFont();
}

namespace {
// Zoom steps of one point, and the smallest screen font.
constexpr int kMaxZoom = 48;
constexpr double kMinPoints = 4;
}  // namespace

void CJestpadView::ApplyFont()
{
    QFont shown = m_font;
    if (m_nZoom != 0) {
        if (m_font.pointSizeF() > 0)
            shown.setPointSizeF(std::max(kMinPoints, m_font.pointSizeF() + m_nZoom));
        else if (m_font.pixelSize() > 0)
            shown.setPixelSize(std::max(int(kMinPoints), m_font.pixelSize() + m_nZoom * 4 / 3));
    }
    setFont(shown);
    viewport()->update();
}

void CJestpadView::Zoom(int step)
{
    const double points = m_font.pointSizeF() > 0 ? m_font.pointSizeF() : m_font.pixelSize() * 0.75;
    // Never smaller than the smallest font, never beyond the largest step.
    const int least = int(std::ceil(kMinPoints - points));
    m_nZoom = std::clamp(m_nZoom + step, std::min(0, least), kMaxZoom);
    ApplyFont();
}

void CJestpadView::wheelEvent(QWheelEvent* event)
{
    // Ctrl+wheel zooms the screen the same way as the menu.
    if (event->modifiers() & Qt::ControlModifier) {
        m_nWheel += event->angleDelta().y();
        const int steps = m_nWheel / 120;
        m_nWheel -= steps * 120;
        if (steps != 0)
            Zoom(steps);
        event->accept();
        return;
    }
    CEditView::wheelEvent(event);
}

void CJestpadView::OnEditGotoLine()
{
    FlushDisplay();
    const int lines = document()->blockCount();
    QInputDialog dialog(window());
    dialog.setWindowTitle(AfxLoadString(IDS_GOTO_LINE_TITLE));
    dialog.setLabelText(AfxLoadString(IDS_GOTO_LINE_LABEL).arg(lines));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1, lines);
    dialog.setIntValue(textCursor().blockNumber() + 1);
    if (CUiSeam::Get().DoModal(dialog) != 1)
        return;
    GotoLine(dialog.intValue());
}

void CJestpadView::GotoLine(int line)
{
    FlushDisplay();
    const QTextBlock block = document()->findBlockByNumber(std::clamp(line, 1, document()->blockCount()) - 1);
    setTextCursor(QTextCursor(block));
    centerCursor();
}

CJestpadView::CReadingPlace CJestpadView::GetReadingPlace()
{
    FlushDisplay();
    return {firstVisibleBlock().blockNumber(), document()->blockCount()};
}

void CJestpadView::SetReadingPlace(const CReadingPlace& place)
{
    FlushDisplay();
    const int lines = document()->blockCount();
    int line = place.m_nLine;
    if (line >= lines && place.m_nLines > 0)
        line = int(qint64(place.m_nLine) * lines / place.m_nLines);
    const QTextBlock block = document()->findBlockByNumber(std::clamp(line, 0, lines - 1));
    // The caret goes with the place, so that keys scroll on from there.
    setTextCursor(QTextCursor(block));
    verticalScrollBar()->setValue(block.firstLineNumber());
}

namespace {
// Text a rule put in, and the place of a deletion.
const QColor kEditBackground(200, 236, 190);
const QColor kDeletionBackground(255, 170, 170);
}  // namespace

void CJestpadView::SetEdits(CRewriteReport report)
{
    m_arrEdits = std::move(report.m_arrEdits);
    m_nFirings = report.m_nFirings;
    m_editedText = GetWindowText();
    m_bMarksMade = false;
    m_arrMarks.clear();
    // Selections are cursors that every change of the text moves: none while
    // the new text goes in, line by line.
    m_arrFind.clear();
    setExtraSelections({});
    ShowFirings();
}

void CJestpadView::ShowEdits(bool show)
{
    m_bShowEdits = show;
    UpdateSelections();
    ShowFirings();
}

void CJestpadView::ShowFirings()
{
    CFrameWnd* frame = GetParentFrame();
    if (!frame)
        return;
    const bool current = !m_editedText.isNull() && GetWindowText().isSharedWith(m_editedText);
    frame->SetPaneText(ID_INDICATOR_EDITS, m_bShowEdits && current
                                               ? AfxLoadString(IDS_EDIT_COUNT).arg(m_nFirings)
                                               : QString());
}

const std::vector<CJestpadView::CMark>& CJestpadView::GetMarks()
{
    MakeMarks(std::numeric_limits<qsizetype>::max());
    return m_arrMarks;
}

void CJestpadView::MakeMarks(qsizetype upTo)
{
    FlushDisplay();
    if (!m_bMarksMade) {
        // Made from the start, as far as the screen needs them.
        m_bMarksMade = true;
        m_arrMarks.clear();
        m_walk = CMarkWalk();
        m_walk.m_block = document()->begin();
        m_walk.m_text = m_walk.m_block.text();
        m_walk.m_bCurrent = !m_arrEdits.empty() && GetWindowText().isSharedWith(m_editedText);
    }
    CMarkWalk& w = m_walk;
    const size_t edges = m_arrEdits.size() * 2;
    while (w.m_bCurrent && w.m_nEdge < edges && (m_arrMarks.empty() || m_arrMarks.back().m_nStart <= upTo)) {
        // The edge's byte offset to a character of the decoded text: each
        // stretch between two edges decoded on its own (edits lie on
        // character starts).
        const CEdit& edit = m_arrEdits[w.m_nEdge / 2];
        const std::int64_t edge = w.m_nEdge % 2 ? edit.m_nPos + edit.m_nLength : edit.m_nPos;
        const std::int64_t to = std::clamp<std::int64_t>(edge, w.m_nByte, m_editedText.size());
        if (to > w.m_nByte)
            w.m_nChars += DecodeForDisplay(m_editedText.sliced(w.m_nByte, to - w.m_nByte)).size();
        w.m_nByte = to;
        // That character to a position in the shown text, whose lines are
        // blocks and which has break hints among the characters.
        while (w.m_block.isValid()) {
            if (w.m_nOffset < w.m_text.size()) {
                const bool hint = w.m_text[w.m_nOffset] == kBreakHint;
                if (!hint && w.m_nPlain == w.m_nChars)
                    break;
                w.m_nPlain += hint ? 0 : 1;
                ++w.m_nOffset;
            } else {
                if (w.m_nPlain == w.m_nChars)
                    break;
                ++w.m_nPlain;  // the line break
                w.m_block = w.m_block.next();
                w.m_text = w.m_block.text();
                w.m_nOffset = 0;
            }
        }
        const qsizetype place = w.m_block.isValid() ? w.m_block.position() + w.m_nOffset
                                                    : document()->characterCount() - 1;
        if (w.m_nEdge++ % 2 == 0) {
            w.m_nStart = place;
            continue;
        }
        if (edit.m_eKind == CEdit::Kind::Filtered)
            continue;
        qsizetype start = w.m_nStart;
        qsizetype end = place;
        const bool deleted = edit.m_eKind == CEdit::Kind::Deleted;
        if (deleted) {
            // The character after the deletion, or before it at a line's end.
            const qsizetype last = document()->characterCount() - 1;
            const QChar after = start < last ? document()->characterAt(start) : QChar();
            if (start < last && after != QChar::ParagraphSeparator)
                end = start + 1;
            else if (start > 0)
                end = start--;
            else
                end = std::min<qsizetype>(1, last);
        }
        if (end > start)
            m_arrMarks.push_back({start, end, deleted});
    }
}

void CJestpadView::SetFindSelections(const QList<QTextEdit::ExtraSelection>& selections)
{
    m_arrFind = selections;
    UpdateSelections();
}

void CJestpadView::UpdateSelections()
{
    // Only the marks on screen and a screen's worth around them: thousands
    // of selections would slow every paint.
    QList<QTextEdit::ExtraSelection> selections;
    const QRect area = viewport()->rect();
    const qsizetype first = m_bShowEdits ? cursorForPosition(area.topLeft()).position() : 0;
    const qsizetype last = m_bShowEdits ? cursorForPosition(area.bottomRight()).position() : 0;
    const qsizetype margin = std::max<qsizetype>(last - first, 256);
    if (m_bShowEdits)
        MakeMarks(last + margin);
    if (m_bShowEdits && !m_arrMarks.empty()) {
        auto it = std::lower_bound(m_arrMarks.cbegin(), m_arrMarks.cend(), first - margin,
                                   [](const CMark& m, qsizetype at) { return m.m_nEnd < at; });
        QTextCharFormat edited;
        edited.setBackground(kEditBackground);
        QTextCharFormat deleted;
        deleted.setBackground(kDeletionBackground);
        QTextCursor cursor(document());
        for (; it != m_arrMarks.cend() && it->m_nStart <= last + margin; ++it) {
            cursor.setPosition(it->m_nStart);
            cursor.setPosition(it->m_nEnd, QTextCursor::KeepAnchor);
            selections.append({cursor, it->m_bDeleted ? deleted : edited});
        }
    }
    selections += m_arrFind;
    setExtraSelections(selections);
    ShowFirings();
}

void CJestpadView::resizeEvent(QResizeEvent* event)
{
    CEditView::resizeEvent(event);
    if (m_bShowEdits)
        QMetaObject::invokeMethod(this, &CJestpadView::UpdateSelections, Qt::QueuedConnection);
}

namespace {
const QString kFontKey = QStringLiteral("Window/Font");
const QString kMarksKey = QStringLiteral("Window/JestMarks");
}

void CJestpadView::SaveFont(QSettings& settings) const
{
    if (m_bFontChosen)
        settings.setValue(kFontKey, m_font.toString());
    settings.setValue(kMarksKey, m_bShowEdits);
}

void CJestpadView::RestoreFont(QSettings& settings)
{
    if (settings.value(kMarksKey).toBool())
        ShowEdits(true);
    QFont font;
    if (!settings.contains(kFontKey) || !font.fromString(settings.value(kFontKey).toString()))
        return;
    m_font = font;
    m_bFontChosen = true;
    ApplyFont();
}
