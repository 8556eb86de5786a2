// The Jestpad view: the edit view made read-only and word-wrapped, with the
// font command. Its first initial update switches the rewriting on.
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

    // The font chosen in フォント, kept in the settings section "Window";
    // nothing is stored while none was chosen.
    void SaveFont(QSettings& settings) const;
    void RestoreFont(QSettings& settings);

    // The font the font dialog starts from; the control uses it only after
    // the first OK.
    QFont m_font;
    bool m_bFontChosen = false;
};
