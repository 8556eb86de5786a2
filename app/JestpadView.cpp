#include "JestpadView.h"

#include "DisplayDecoder.h"
#include "FrameWnd.h"
#include "JestpadDoc.h"
#include "Resource.h"
#include "UiSeam.h"

#include <QScrollBar>
#include <QSettings>
#include <QTextOption>

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

    OnCommand(ID_SETTINGS_FONT, [this] { OnSettingsFont(); });
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
    setFont(m_font);
    viewport()->update();
}

namespace {
const QString kFontKey = QStringLiteral("Window/Font");
}

void CJestpadView::SaveFont(QSettings& settings) const
{
    if (m_bFontChosen)
        settings.setValue(kFontKey, m_font.toString());
}

void CJestpadView::RestoreFont(QSettings& settings)
{
    QFont font;
    if (!settings.contains(kFontKey) || !font.fromString(settings.value(kFontKey).toString()))
        return;
    m_font = font;
    m_bFontChosen = true;
    setFont(m_font);
}
