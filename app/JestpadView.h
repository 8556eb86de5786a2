// The Jestpad view: the edit view made read-only and word-wrapped, with the
// font, zoom, go-to-line and rewrite-marking commands, holding its text in
// one encoding (CP932, UTF-8 or EUC-JP) and at most 1,048,575 bytes of it.
// Its first initial update switches the rewriting on.
#pragma once

#include "EditView.h"
#include "Encoding.h"

#include "Rewrite.h"

#include <QFont>
#include <QTextBlock>
#include <QTextEdit>

#include <vector>

class CJestpadDoc;
class QSettings;

class CJestpadView : public CEditView {
    Q_OBJECT
public:
    // Largest text the view takes: 1,048,575 bytes.
    static constexpr qint64 kMaxTextBytes = 0xFFFFF;

    CJestpadView();
    ~CJestpadView() override;

    using CEditView::SetWindowText;
    // The text, with the encoding its bytes are in from now on.
    void SetWindowText(const QByteArray& text, EncodingId encoding);
    EncodingId GetTextEncoding() const { return m_encoding; }

    CJestpadDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnSettingsFont();

    // The font chosen in フォント and whether rewrites are marked, kept in
    // the settings section "Window"; no font is stored while none was chosen.
    void SaveFont(QSettings& settings) const;
    void RestoreFont(QSettings& settings);

    // The printout's font: the chosen one, whatever the zoom.
    QFont PrintFont() const override { return m_font; }

    // Zoom of the screen in points over the chosen font's size.
    void Zoom(int step);
    int GetZoom() const { return m_nZoom; }
    // 指定行へ移動: asks for a line number and puts the caret on that line.
    void OnEditGotoLine();
    void GotoLine(int line);

    // Where the reader is: the first line shown, out of all the lines.
    struct CReadingPlace {
        int m_nLine = 0;
        int m_nLines = 0;
    };
    CReadingPlace GetReadingPlace();
    // The same line when the text still has it, otherwise the same fraction.
    void SetReadingPlace(const CReadingPlace& place);

    // 書き換え箇所を強調: marks what the rewriting of the text just set
    // changed (report in its bytes) and counts the rules that fired; the
    // marks follow the part of the text on screen.
    void SetEdits(CRewriteReport report);
    void ShowEdits(bool show);
    bool IsShowingEdits() const { return m_bShowEdits; }
    // A marked stretch in positions of the shown text; a deletion marks the
    // one character after it (before it at a line's end).
    struct CMark {
        qsizetype m_nStart;
        qsizetype m_nEnd;
        bool m_bDeleted;
    };
    const std::vector<CMark>& GetMarks();
    // The find bar's highlights, drawn over the marks.
    void SetFindSelections(const QList<QTextEdit::ExtraSelection>& selections);

    QFont m_font;
    bool m_bFontChosen = false;

protected:
    QString DecodeForDisplay(const QByteArray& bytes) const override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyFont();
    void UpdateSelections();
    // Makes the marks up to the shown position upTo (and a little past it).
    void MakeMarks(qsizetype upTo);
    void ShowFirings();

    EncodingId m_encoding = EncodingId::Cp932;
    int m_nZoom = 0;
    bool m_bShowEdits = false;
    // The edits and the text they are for; marks are made from them when
    // first needed.
    std::vector<CEdit> m_arrEdits;
    std::int64_t m_nFirings = 0;
    QByteArray m_editedText;
    std::vector<CMark> m_arrMarks;
    bool m_bMarksMade = false;
    QList<QTextEdit::ExtraSelection> m_arrFind;
    // How far the marks are made: the next edge of an edit, its byte and its
    // character in the decoded text, and where the walk through the shown
    // text stands.
    struct CMarkWalk {
        bool m_bCurrent = false;  // the edits are for the text shown
        size_t m_nEdge = 0;
        std::int64_t m_nByte = 0;
        qsizetype m_nChars = 0;
        QTextBlock m_block;
        QString m_text;
        qsizetype m_nOffset = 0;
        qsizetype m_nPlain = 0;
        qsizetype m_nStart = 0;
    } m_walk;
    int m_nWheel = 0;  // wheel turn not yet a whole step
};
