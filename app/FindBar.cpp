#include "FindBar.h"

#include "Afx.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "JestpadView.h"
#include "Resource.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QStyle>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>

namespace {

// Every match but the current one (which is the selection).
const QColor kMatchBackground(255, 226, 110);
// The box when the word is not in the text.
const QColor kNotFoundBackground(255, 200, 200);
// The search box never gets narrower than this.
constexpr int kLeastEditWidth = 80;

}  // namespace

CFindBar::CFindBar(CEditView* view, QWidget* parent) : QWidget(parent), m_pView(view)
{
    // Up to three rows: the box and its buttons on top, and below them what of
    // the options and the notes the window's width leaves no room for.
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(2);
    auto* layout = new QHBoxLayout;
    m_pTop = layout;
    m_pBottom = new QHBoxLayout;
    m_pNotes = new QHBoxLayout;
    for (QHBoxLayout* row : {m_pTop, m_pBottom, m_pNotes}) {
        row->setSpacing(6);
        rows->addLayout(row);
    }
    // The window's width is the user's: the bar never asks for more.
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    auto* close = new QToolButton(this);
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setAutoRaise(true);
    close->setToolTip(AfxLoadString(IDS_FIND_CLOSE));
    connect(close, &QToolButton::clicked, this, &CFindBar::Close);
    layout->addWidget(close);

    auto* label = new QLabel(AfxLoadString(IDS_FIND_LABEL), this);
    layout->addWidget(label);
    m_pEdit = new QLineEdit(this);
    m_pEdit->setMinimumWidth(kLeastEditWidth);
    // A file dropped on the box opens, as anywhere else in the window.
    m_pEdit->setAcceptDrops(false);
    m_pEdit->installEventFilter(this);
    label->setBuddy(m_pEdit);
    connect(m_pEdit, &QLineEdit::textEdited, this, &CFindBar::Search);
    layout->addWidget(m_pEdit);

    // Tool tips from the commands' prompt strings.
    const auto arrow = [this, layout](Qt::ArrowType type, int id, void (CFindBar::*step)()) {
        auto* button = new QToolButton(this);
        button->setArrowType(type);
        button->setAutoRaise(true);
        const QString prompt = AfxLoadString(id);
        button->setToolTip(prompt.mid(prompt.indexOf(u'\n') + 1));
        connect(button, &QToolButton::clicked, this, step);
        layout->addWidget(button);
    };
    arrow(Qt::DownArrow, ID_EDIT_FIND_NEXT, &CFindBar::FindNext);
    arrow(Qt::UpArrow, ID_EDIT_FIND_PREV, &CFindBar::FindPrevious);

    m_pMatchCase = new QCheckBox(AfxLoadString(IDS_FIND_MATCH_CASE), this);
    m_pMatchWidth = new QCheckBox(AfxLoadString(IDS_FIND_MATCH_WIDTH), this);
    for (QCheckBox* box : {m_pMatchCase, m_pMatchWidth})
        connect(box, &QCheckBox::toggled, this, &CFindBar::Search);
    // The count and notes never widen the window (a new width would wrap
    // the whole text again): they wrap, on a row of their own if need be.
    m_pStatus = new QLabel(this);
    m_pStatus->setWordWrap(true);
    QSizePolicy wrapping(QSizePolicy::Ignored, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    m_pStatus->setSizePolicy(wrapping);
    Arrange();

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &CFindBar::Close);

    // A new text (open, reload) is searched again while the bar is shown.
    connect(m_pView, &QPlainTextEdit::textChanged, this, [this] {
        m_bTextRead = false;
        if (isVisible())
            QMetaObject::invokeMethod(this, &CFindBar::Refresh, Qt::QueuedConnection);
    });
    // The highlights follow the part of the text on screen.
    connect(m_pView, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int dy) {
        if (dy != 0 && !m_arrMatches.isEmpty())
            Highlight();
    });
    m_pView->viewport()->installEventFilter(this);
    hide();
}

CFindBar::~CFindBar() = default;

QString CFindBar::GetStatusText() const
{
    return m_pStatus->text();
}

void CFindBar::ReadText()
{
    if (m_bTextRead)
        return;
    m_pView->FlushDisplay();
    m_finder.SetText(m_pView->toPlainText(), CEditView::kBreakHint);
    m_bTextRead = true;
}

void CFindBar::Open()
{
    const QTextCursor cursor = m_pView->textCursor();
    m_nOrigin = cursor.selectionStart();
    show();
    m_pEdit->setFocus(Qt::ShortcutFocusReason);
    m_pEdit->selectAll();
    if (!m_pEdit->text().isEmpty())
        Search();
}

void CFindBar::Close()
{
    hide();
    SetSelections({});
    m_arrMatches.clear();
    m_nCurrent = -1;
    m_pView->setFocus(Qt::OtherFocusReason);
}

void CFindBar::Refresh()
{
    if (!isVisible() || m_pEdit->text().isEmpty())
        return;
    ReadText();
    m_arrMatches = m_finder.FindAll(m_pEdit->text());
    m_nCurrent = -1;
    Highlight();
    ShowStatus(NoWrap);
}

void CFindBar::Search()
{
    ReadText();
    m_finder.SetOptions({m_pMatchCase->isChecked(), m_pMatchWidth->isChecked()});
    m_arrMatches = m_finder.FindAll(m_pEdit->text());
    Highlight();
    if (m_arrMatches.isEmpty()) {
        m_nCurrent = -1;
        // Nothing to select: the caret goes back to where the search began.
        QTextCursor cursor = m_pView->textCursor();
        cursor.setPosition(std::min<qsizetype>(m_nOrigin, m_pView->document()->characterCount() - 1));
        m_pView->setTextCursor(cursor);
        ShowStatus(NoWrap);
        return;
    }
    const auto at = std::lower_bound(
        m_arrMatches.cbegin(), m_arrMatches.cend(), m_nOrigin,
        [](const CTextMatch& m, qsizetype origin) { return m.start < origin; });
    if (at == m_arrMatches.cend())
        Select(0, WrappedToTop);
    else
        Select(static_cast<int>(at - m_arrMatches.cbegin()), NoWrap);
}

void CFindBar::FindNext()
{
    Step(true);
}

void CFindBar::FindPrevious()
{
    Step(false);
}

void CFindBar::Step(bool forward)
{
    if (m_pEdit->text().isEmpty()) {
        Open();
        return;
    }
    if (!isVisible())
        show();
    if (!m_bTextRead || m_arrMatches.isEmpty())
        Search();
    if (m_arrMatches.isEmpty())
        return;
    // From the selection (the current match, or where the user put it).
    const QTextCursor cursor = m_pView->textCursor();
    const qsizetype from = cursor.selectionStart();
    if (forward) {
        const auto at = std::find_if(m_arrMatches.cbegin(), m_arrMatches.cend(),
                                     [&](const CTextMatch& m) {
                                         return cursor.hasSelection() ? m.start > from
                                                                      : m.start >= from;
                                     });
        if (at == m_arrMatches.cend())
            Select(0, WrappedToTop);
        else
            Select(static_cast<int>(at - m_arrMatches.cbegin()), NoWrap);
    } else {
        const auto at = std::find_if(m_arrMatches.crbegin(), m_arrMatches.crend(),
                                     [&](const CTextMatch& m) { return m.start < from; });
        if (at == m_arrMatches.crend())
            Select(static_cast<int>(m_arrMatches.size() - 1), WrappedToEnd);
        else
            Select(static_cast<int>(m_arrMatches.crend() - at - 1), NoWrap);
    }
}

void CFindBar::Select(int index, EWrap wrap)
{
    m_nCurrent = index;
    const CTextMatch& match = m_arrMatches[index];
    m_nOrigin = match.start;
    QTextCursor cursor = m_pView->textCursor();
    cursor.setPosition(match.start);
    cursor.setPosition(match.end, QTextCursor::KeepAnchor);
    m_pView->setTextCursor(cursor);
    ShowStatus(wrap);
}

void CFindBar::ShowStatus(EWrap wrap)
{
    QPalette palette = m_pEdit->palette();
    const bool notFound = m_arrMatches.isEmpty() && !m_pEdit->text().isEmpty();
    palette.setColor(QPalette::Base, notFound ? kNotFoundBackground
                                              : QWidget::palette().color(QPalette::Base));
    m_pEdit->setPalette(palette);
    if (m_pEdit->text().isEmpty()) {
        m_pStatus->clear();
        return;
    }
    if (notFound) {
        m_pStatus->setText(AfxLoadString(IDS_FIND_NOT_FOUND));
        return;
    }
    QString text =
        AfxFormatString(IDS_FIND_COUNT, {m_nCurrent < 0 ? QStringLiteral("-") : QString::number(m_nCurrent + 1),
                                         QString::number(m_arrMatches.size())});
    if (wrap != NoWrap)
        text += QStringLiteral("  ") +
                AfxLoadString(wrap == WrappedToTop ? IDS_FIND_WRAPPED_TO_TOP : IDS_FIND_WRAPPED_TO_END);
    m_pStatus->setText(text);
    Arrange();
}

void CFindBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Arrange();
}

void CFindBar::Arrange()
{
    // What the top row needs without the options and the notes.
    int top = 0;
    for (int i = 0; i < m_pTop->count(); ++i) {
        QWidget* widget = m_pTop->itemAt(i)->widget();
        if (widget == m_pEdit)
            top += kLeastEditWidth + m_pTop->spacing();
        else if (widget && widget != m_pMatchCase && widget != m_pMatchWidth && widget != m_pStatus)
            top += widget->sizeHint().width() + m_pTop->spacing();
    }
    const int options = m_pMatchCase->sizeHint().width() + m_pMatchWidth->sizeHint().width() +
                        2 * m_pTop->spacing();
    // (a character more, so that rounding never wraps the last one)
    const int notes = m_pStatus->fontMetrics().horizontalAdvance(
        m_pStatus->text().isEmpty() ? QStringLiteral("00000 / 00000 件") : m_pStatus->text() + u'0');
    const QMargins margins = layout()->contentsMargins();
    const int room = width() - margins.left() - margins.right();
    // Row of the options and of the notes: 0 beside the box, 1 below it, 2
    // on a row of their own below the options.
    const int optionsRow = top + options <= room ? 0 : 1;
    int notesRow = 2;
    if (optionsRow == 0)
        notesRow = top + options + notes <= room ? 0 : 1;
    else if (options + notes <= room)
        notesRow = 1;
    // Beside the box the notes take their whole width from the box.
    m_pStatus->setMinimumWidth(notesRow == 0 ? notes : 0);
    const int arrangement = optionsRow * 3 + notesRow;
    if (arrangement == m_nArrangement)
        return;
    m_nArrangement = arrangement;
    QHBoxLayout* const rows[] = {m_pTop, m_pBottom, m_pNotes};
    QWidget* const moving[] = {m_pMatchCase, m_pMatchWidth, m_pStatus};
    for (QWidget* widget : moving) {
        for (QHBoxLayout* row : rows)
            row->removeWidget(widget);
    }
    // In order, so that the options stay before the notes.
    for (QWidget* widget : moving) {
        const bool notes = widget == m_pStatus;
        rows[notes ? notesRow : optionsRow]->addWidget(widget, notes ? 1 : 0);
    }
}

void CFindBar::SetSelections(const QList<QTextEdit::ExtraSelection>& selections)
{
    // The Jestpad view draws them over its own marks.
    if (auto* view = qobject_cast<CJestpadView*>(m_pView))
        view->SetFindSelections(selections);
    else
        m_pView->setExtraSelections(selections);
}

void CFindBar::Highlight()
{
    // Only the matches on screen (and a screen's worth around them) are
    // handed to the view: thousands of highlights would each cost a layout.
    // Scrolling and resizing bring the others in.
    QList<QTextEdit::ExtraSelection> selections;
    if (!m_arrMatches.isEmpty() && isVisible()) {
        const QRect area = m_pView->viewport()->rect();
        const qsizetype first = m_pView->cursorForPosition(area.topLeft()).position();
        const qsizetype last = m_pView->cursorForPosition(area.bottomRight()).position();
        const qsizetype margin = std::max<qsizetype>(last - first, 256);
        const auto from = std::lower_bound(
            m_arrMatches.cbegin(), m_arrMatches.cend(), first - margin,
            [](const CTextMatch& m, qsizetype at) { return m.end < at; });
        QTextCharFormat format;
        format.setBackground(kMatchBackground);
        QTextCursor cursor(m_pView->document());
        for (auto it = from; it != m_arrMatches.cend() && it->start <= last + margin; ++it) {
            cursor.setPosition(it->start);
            cursor.setPosition(it->end, QTextCursor::KeepAnchor);
            selections.append({cursor, format});
        }
    }
    SetSelections(selections);
}

bool CFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pView->viewport() && event->type() == QEvent::Resize &&
        !m_arrMatches.isEmpty())
        QMetaObject::invokeMethod(this, &CFindBar::Highlight, Qt::QueuedConnection);
    if (watched == m_pEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                FindPrevious();
            else
                FindNext();
            return true;
        }
    }
    // Ctrl+C in an empty-handed box copies the match selected in the view.
    if (watched == m_pEdit && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) && !m_pEdit->hasSelectedText())
            return true;
    }
    return QWidget::eventFilter(watched, event);
}
