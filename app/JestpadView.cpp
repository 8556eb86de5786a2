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

void CJestpadView::ShowEdits(bool show)
{
    m_bShowEdits = show;
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
