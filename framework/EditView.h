// Edit view: a plain text control that holds its text as a byte string (the
// bytes are the truth) and shows it decoded.
#pragma once

#include "CmdTarget.h"

#include <QByteArray>
#include <QFont>
#include <QPlainTextEdit>

class CAppContext;
class CArchive;
class CDocument;
class CFrameWnd;
class QPrinter;

class CEditView : public QPlainTextEdit, public CCmdTarget {
    Q_OBJECT
public:
    // Hidden break opportunity in long runs: shown text only, never bytes.
    static constexpr QChar kBreakHint{u'\u200B'};
    // The limit of a view that was given none: 64 MiB.
    static constexpr qint64 kDefaultLimitText = qint64{64} << 20;

    CEditView();
    ~CEditView() override;

    CDocument* GetDocument() const { return m_pDocument; }
    CFrameWnd* GetParentFrame() const { return m_pFrame; }
    void Attach(CDocument* doc, CFrameWnd* frame);
    // The application whose printer and preview choice printing uses.
    void SetAppContext(CAppContext* context) { m_pContext = context; }

    // The whole text as bytes, and its replacement (empty clears it).
    QByteArray GetWindowText() const { return m_text; }
    void SetWindowText(const QByteArray& text);
    // Largest text a load takes, in bytes; a longer file is refused.
    void SetLimitText(qint64 bytes) { m_nLimitText = bytes; }
    qint64 GetLimitText() const { return m_nLimitText; }
    // The text as shown, decoded.
    QString GetDisplayText();
    // Shows the text set last, if it is not shown yet.
    void FlushDisplay();
    // Raw load or store of the whole text, without conversion.
    void SerializeRaw(CArchive& ar);

    // Sent after every New and Open, once the document operation returned.
    virtual void OnInitialUpdate() {}

    // Printing on Qt's print support, in the control's current font.
    void OnFilePrint();
    void OnFilePrintPreview();
    // The font the printout uses; the control's own font by default.
    virtual QFont PrintFont() const { return font(); }
    // Paints the text onto the printer (or preview); false on failure.
    bool PrintDirect(QPrinter& printer);
    // A whole print job: refuses a missing printer before painting, checks
    // that a PDF was written whole (removing it otherwise). Returns the
    // message of the failure, empty on success.
    QString PrintDocument(QPrinter& printer);
    // False when the printer names no printer or PDF file that exists.
    static bool PrinterAvailable(const QPrinter& printer);

    // The edit commands: copy and select all, with their enabled states.
    void OnEditCopy();
    void OnEditSelectAll();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    // The text shown for the bytes; by default they are read as UTF-8.
    virtual QString DecodeForDisplay(const QByteArray& bytes) const;

private:
    QByteArray m_text;
    qint64 m_nLimitText = kDefaultLimitText;
    bool m_bDisplayPending = false;
    CDocument* m_pDocument = nullptr;
    CFrameWnd* m_pFrame = nullptr;
    CAppContext* m_pContext = nullptr;
};
