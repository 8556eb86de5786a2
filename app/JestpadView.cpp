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
    const bool current = !m_editedText.isNull() && GetWindowText() == m_editedText;
    frame->SetPaneText(ID_INDICATOR_EDITS, m_bShowEdits && current
                                               ? AfxLoadString(IDS_EDIT_COUNT).arg(m_nFirings)
                                               : QString());
}

const std::vector<CJestpadView::CMark>& CJestpadView::GetMarks()
{
    FlushDisplay();
    if (m_bMarksMade)
        return m_arrMarks;
    m_bMarksMade = true;
    m_arrMarks.clear();
    const QByteArray bytes = GetWindowText();
    if (m_arrEdits.empty() || bytes != m_editedText)
        return m_arrMarks;
    // Byte offsets to characters of the decoded text: each stretch between
    // two edge points decoded on its own (edits lie on character starts).
    std::vector<std::int64_t> edges;
    edges.reserve(m_arrEdits.size() * 2);
    for (const CEdit& edit : m_arrEdits) {
        edges.push_back(edit.m_nPos);
        edges.push_back(edit.m_nPos + edit.m_nLength);
    }
    std::vector<qsizetype> chars(edges.size());
    std::int64_t from = 0;
    qsizetype at = 0;
    for (size_t i = 0; i < edges.size(); ++i) {
        const std::int64_t to = std::clamp<std::int64_t>(edges[i], from, bytes.size());
        if (to > from)
            at += DecodeForDisplay(bytes.sliced(from, to - from)).size();
        chars[i] = at;
        from = to;
    }
    // Characters of the decoded text to positions in the shown one, which
    // has break hints among them.
    const QString shown = toPlainText();
    std::vector<qsizetype> places(chars.size());
    qsizetype plain = 0;
    qsizetype pos = 0;
    for (size_t i = 0; i < chars.size(); ++i) {
        while (pos < shown.size() && (plain < chars[i] || shown[pos] == kBreakHint)) {
            if (shown[pos] != kBreakHint)
                ++plain;
            ++pos;
        }
        places[i] = pos;
    }
    const qsizetype last = std::max<qsizetype>(0, shown.size() - 1);
    for (size_t i = 0; i < m_arrEdits.size(); ++i) {
        const CEdit& edit = m_arrEdits[i];
        if (edit.m_eKind == CEdit::Kind::Filtered)
            continue;
        qsizetype start = places[2 * i];
        qsizetype end = places[2 * i + 1];
        const bool deleted = edit.m_eKind == CEdit::Kind::Deleted;
        if (deleted) {
            // The character after the deletion, or before it at a line's end.
            if (start < shown.size() && shown[start] != u'\n')
                end = start + 1;
            else if (start > 0)
                end = start--;
            else
                end = std::min<qsizetype>(1, shown.size());
        }
        if (end > start && start <= last)
            m_arrMarks.push_back({start, end, deleted});
    }
    return m_arrMarks;
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
    if (m_bShowEdits && !GetMarks().empty()) {
        const QRect area = viewport()->rect();
        const qsizetype first = cursorForPosition(area.topLeft()).position();
        const qsizetype last = cursorForPosition(area.bottomRight()).position();
        const qsizetype margin = std::max<qsizetype>(last - first, 256);
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
