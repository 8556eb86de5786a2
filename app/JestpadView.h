// The Jestpad view: the edit view made read-only and word-wrapped, with the
// font, zoom, go-to-line and rewrite-marking commands. Its first initial
// update switches the rewriting on.
#pragma once

#include "EditView.h"

#include <QFont>

class CJestpadDoc;
class QSettings;

class CJestpadView : public CEditView {
    Q_OBJECT
public:
    CJestpadView();
    ~CJestpadView() override;

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

    // 書き換え箇所を強調: marks what the rewriting changed.
    void ShowEdits(bool show);
    bool IsShowingEdits() const { return m_bShowEdits; }

    QFont m_font;
    bool m_bFontChosen = false;

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void ApplyFont();

    int m_nZoom = 0;
    bool m_bShowEdits = false;
    int m_nWheel = 0;  // wheel turn not yet a whole step
};
