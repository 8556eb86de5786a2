// The Jestpad view: the edit view made read-only and word-wrapped, with the
// font command, holding its text in one encoding (CP932, UTF-8 or EUC-JP) and
// at most 1,048,575 bytes of it. Its first initial update switches the
// rewriting on.
#pragma once

#include "EditView.h"
#include "Encoding.h"

#include <QFont>

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

    // The font chosen in フォント, kept in the settings section "Window";
    // nothing is stored while none was chosen.
    void SaveFont(QSettings& settings) const;
    void RestoreFont(QSettings& settings);

    // The font the font dialog starts from; the control uses it only after
    // the first OK.
    QFont m_font;
    bool m_bFontChosen = false;

protected:
    QString DecodeForDisplay(const QByteArray& bytes) const override;

private:
    EncodingId m_encoding = EncodingId::Cp932;
};
