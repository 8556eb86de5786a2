#include "JestpadDoc.h"

#include "Afx.h"
#include "FrameWnd.h"
#include "JestpadView.h"
#include "Rewrite.h"
#include "Resource.h"
#include "UiSeam.h"

namespace {

// The rule-file loader's messages go to a message box over the main window.
class CMessageBoxSink : public CMessageSink {
public:
    void ShowMessage(const std::string& text) override
    {
        CUiSeam::Get().MessageBox(AfxGetMainWnd(), QString::fromUtf8(text));
    }
};

}  // namespace

CJestpadDoc::CJestpadDoc() : m_pSink(std::make_unique<CMessageBoxSink>())
{
    m_ruleSet.SetMessageSink(m_pSink.get());
    OnCommand(ID_FILE_RELOAD, [this] { OnFileReload(); });
    OnCommand(ID_SETTINGS_JEST, [this] { OnSettingsJest(); });
}

CJestpadDoc::~CJestpadDoc()
{
    m_ruleSet.SetMessageSink(nullptr);
}

CJestpadView* CJestpadDoc::GetJestpadView() const
{
    return static_cast<CJestpadView*>(GetFirstView());
}

bool CJestpadDoc::OnOpenDocument(const QString& path)
{
    if (!CDocument::OnOpenDocument(path))
        return false;
    // Before the view's first initial update the raw text stays as loaded.
    if (!m_bViewReady)
        return true;
    CFrameWnd* frame = AfxGetMainWnd();
    CEditView* view = frame ? frame->GetActiveView() : GetFirstView();
    if (!view)
        return true;
    const QByteArray raw = view->GetWindowText();
    CByteString text(raw.constData(), static_cast<size_t>(raw.size()));
    // Seeded with the clock: every open and reload draws afresh. Endless rule
    // chains stop at kPassLimit, so that the window lays the text out quickly.
    CRewriteOptions options{m_nLevel, m_bHtmlFilter != 0, m_bCommentFilter != 0};
    options.m_nPassLimit = kPassLimit;
    const bool whole = RewriteText(m_ruleSet, text, static_cast<std::uint32_t>(CUiSeam::Get().Now()), options);
    view->SetWindowText(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (!whole)
        AfxMessageBox(IDS_PASS_CUT_SHORT);
    return true;
}

bool CJestpadDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    if (CEditView* view = GetFirstView())
        view->SetWindowText(QByteArray());
    return true;
}

void CJestpadDoc::Serialize(CArchive& ar)
{
    if (CEditView* view = GetFirstView())
        view->SerializeRaw(ar);
    else
        ar.Fail();
}

void CJestpadDoc::Reload()
{
    const QString path = GetPathName();
    if (!path.isEmpty())
        OnOpenDocument(path);
}

void CJestpadDoc::OnFileReload()
{
    Reload();
}
