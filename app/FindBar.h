// The find bar under the view: incremental search with every match
// highlighted and the current one selected, next and previous with
// wrap-around, and the two folding options.
#pragma once

#include "TextFinder.h"

#include <QTextEdit>
#include <QWidget>

class CEditView;
class QCheckBox;
class QLabel;
class QLineEdit;

class CFindBar : public QWidget {
    Q_OBJECT
public:
    CFindBar(CEditView* view, QWidget* parent);
    ~CFindBar() override;

    // Ctrl+F: shows the bar with the focus in its box, the text selected.
    void Open();
    // F3, Enter / Shift+F3, Shift+Enter; they open the bar while it has no word.
    void FindNext();
    void FindPrevious();
    // Esc: hides the bar and its highlights, the focus back in the view.
    void Close();

    QLineEdit* GetEdit() const { return m_pEdit; }
    QCheckBox* GetMatchCase() const { return m_pMatchCase; }
    QCheckBox* GetMatchWidth() const { return m_pMatchWidth; }
    QString GetStatusText() const;
    const QList<CTextMatch>& GetMatches() const { return m_arrMatches; }
    // Index of the selected match, -1 for none.
    int GetCurrent() const { return m_nCurrent; }
    // Reads the view's text again and searches it from the same place.
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum EWrap { NoWrap, WrappedToTop, WrappedToEnd };
    // Finds every match; selects the first at or after m_nOrigin.
    void Search();
    void Step(bool forward);
    void Select(int index, EWrap wrap);
    void ShowStatus(EWrap wrap);
    void Highlight();
    void SetSelections(const QList<QTextEdit::ExtraSelection>& selections);
    void ReadText();
    // Puts the options and the notes on the top row while they fit, else on
    // rows below.
    void Arrange();

    CEditView* m_pView;
    QLineEdit* m_pEdit;
    QCheckBox* m_pMatchCase;
    QCheckBox* m_pMatchWidth;
    QLabel* m_pStatus;
    class QHBoxLayout* m_pTop;
    class QHBoxLayout* m_pBottom;
    class QHBoxLayout* m_pNotes;
    int m_nArrangement = -1;  // the rows of the options and of the notes
    CTextFinder m_finder;
    bool m_bTextRead = false;
    QList<CTextMatch> m_arrMatches;
    int m_nCurrent = -1;
    // Where the incremental search starts: the selection when the bar opened,
    // then the match last moved to.
    qsizetype m_nOrigin = 0;
};
