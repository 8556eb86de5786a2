#include "JestpadDoc.h"

#include "Afx.h"
#include "FrameWnd.h"
#include "JestpadView.h"
#include "MainFrm.h"
#include "NativePath.h"
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

QString EncodingName(const CEncoding& encoding)
{
    return QString::fromStdString(DisplayName(encoding));
}

// "U+XXXX (c)": a character a message names.
QString CharacterName(char32_t c)
{
    QString name = QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
    if (c >= 0x20 && c != 0x7F)
        name += QStringLiteral(" (") + QString::fromUcs4(&c, 1) + u')';
    return name;
}

}  // namespace

CJestpadDoc::CJestpadDoc() : m_pSink(std::make_unique<CMessageBoxSink>())
{
    m_ruleSet.SetMessageSink(m_pSink.get());
    OnCommand(ID_FILE_RELOAD, [this] { OnFileReload(); });
    OnCommand(ID_SETTINGS_JEST, [this] { OnSettingsJest(); });
    // Reopen in an encoding: the items follow kAllEncodings from CP932 on.
    OnCommand(ID_FILE_REOPEN_AUTO, [this] { OnFileReopen(std::nullopt); });
    OnUpdate(ID_FILE_REOPEN_AUTO, [this](CCmdUI& ui) {
        ui.Enable(!GetPathName().isEmpty());
        ui.SetCheck(!m_forcedEncoding);
    });
    int id = ID_FILE_REOPEN_CP932;
    for (EncodingId encoding : kAllEncodings) {
        OnCommand(id, [this, encoding] { OnFileReopen(encoding); });
        OnUpdate(id, [this, encoding](CCmdUI& ui) {
            ui.Enable(!GetPathName().isEmpty());
            ui.SetCheck(m_encoding.m_id == encoding);
        });
        ++id;
    }
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
    // An encoding chosen for the file stays for its reloads only.
    const bool sameFile = !GetPathName().isEmpty() && AbsolutePath(path) == GetPathName();
    m_loadEncoding = sameFile ? m_forcedEncoding : std::nullopt;
    if (auto* mainFrame = qobject_cast<CMainFrame*>(AfxGetMainWnd()))
        mainFrame->ClearDropNote();
    // The same file opened again keeps the reader's place.
    CJestpadView* jestView = GetJestpadView();
    std::optional<CJestpadView::CReadingPlace> place;
    if (sameFile && m_bViewReady && jestView)
        place = jestView->GetReadingPlace();
    if (!CDocument::OnOpenDocument(path))
        return false;
    m_forcedEncoding = m_loadEncoding;
    // Before the view's first initial update the raw text stays as loaded.
    if (!m_bViewReady)
        return true;
    CJestpadView* view = GetJestpadView();
    if (!view)
        return true;
    const QByteArray raw = view->GetWindowText();
    CByteString text(raw.constData(), static_cast<size_t>(raw.size()));
    // Seeded with the clock: every open and reload draws afresh. Endless rule
    // chains stop at kPassLimit, so that the window lays the text out quickly.
    CRewriteOptions options{m_nLevel, m_bHtmlFilter != 0, m_bCommentFilter != 0};
    options.m_encoding = view->GetTextEncoding();
    options.m_nPassLimit = kPassLimit;
    // What the pass changed, for 書き換え箇所を強調.
    CRewriteReport report;
    const bool whole = RewriteText(m_ruleSet, text, static_cast<std::uint32_t>(CUiSeam::Get().Now()), options,
                                   view == jestView ? &report : nullptr);
    view->SetWindowText(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (view == jestView)
        jestView->SetEdits(std::move(report));
    if (place && view == jestView)
        jestView->SetReadingPlace(*place);
    if (!whole)
        AfxMessageBox(IDS_PASS_CUT_SHORT);
    return true;
}

bool CJestpadDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    m_encoding = CEncoding();
    m_forcedEncoding.reset();
    if (CJestpadView* view = GetJestpadView())
        view->SetWindowText(QByteArray(), m_encoding.m_id);
    ShowEncoding();
    return true;
}

void CJestpadDoc::Serialize(CArchive& ar)
{
    CEditView* view = GetFirstView();
    if (!view) {
        ar.Fail();
    } else if (ar.IsLoading()) {
        // The size limit holds for the bytes on disk, before any conversion.
        view->SerializeRaw(ar);
        if (!ar.Failed())
            LoadText(view->GetWindowText());
    } else if (ar.GetFile()->write(m_saveBytes) != m_saveBytes.size()) {
        ar.Fail();
    }
}

void CJestpadDoc::LoadText(const QByteArray& raw)
{
    const std::string_view bytes(raw.constData(), static_cast<size_t>(raw.size()));
    CEncoding encoding = m_loadEncoding ? EncodingForBytes(*m_loadEncoding, bytes) : DetectEncoding(bytes);
    EncodingId pass = encoding.m_id;
    CByteString text;
    CConvertError error;
    if (!ToPassText(bytes, encoding, text, pass, &error)) {
        // Not readable in that encoding: shown as CP932 bytes, so that nothing
        // is lost, and the user is told (once at start-up, by the reload that
        // follows the raw load).
        if (m_bViewReady)
            AfxMessageBox(AfxLoadString(IDS_OPEN_ENCODING_FALLBACK)
                              .arg(EncodingName(encoding))
                              .arg(error.m_nLine));
        encoding = CEncoding();
        pass = encoding.m_id;
        text.assign(bytes);
    }
    m_encoding = encoding;
    GetJestpadView()->SetWindowText(QByteArray(text.data(), static_cast<qsizetype>(text.size())), pass);
    ShowEncoding();
}

std::optional<QByteArray> CJestpadDoc::SaveBytes(CEncoding& encoding)
{
    CJestpadView* view = GetJestpadView();
    if (!view)
        return std::nullopt;
    const QByteArray text = view->GetWindowText();
    const EncodingId pass = view->GetTextEncoding();
    encoding = m_encoding;
    const std::string_view bytes(text.constData(), static_cast<size_t>(text.size()));
    std::string out;
    CConvertError error;
    // Text kept in the file's own encoding comes back as its very bytes.
    if (FromPassText(bytes, pass, encoding, out, &error))
        return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
    if (error.m_eKind == CConvertError::Kind::Unrepresentable) {
        const QString question =
            AfxLoadString(IDS_SAVE_UNREPRESENTABLE)
                .arg(error.m_nLine)
                .arg(CharacterName(error.m_cChar), EncodingName(CEncoding{encoding.m_id}));
        if (!CUiSeam::Get().AskYesNo(AfxGetMainWnd(), question))
            return std::nullopt;
        encoding = CEncoding{EncodingId::Utf8};
        if (FromPassText(bytes, pass, encoding, out, &error))
            return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
    }
    AfxMessageBox(AfxLoadString(IDS_SAVE_CONVERT_FAILED)
                      .arg(error.m_nLine)
                      .arg(EncodingName(CEncoding{error.m_to})));
    return std::nullopt;
}

bool CJestpadDoc::OnSaveDocument(const QString& path)
{
    CEncoding encoding;
    const std::optional<QByteArray> bytes = SaveBytes(encoding);
    if (!bytes)
        return false;
    m_saveBytes = *bytes;
    const bool saved = CDocument::OnSaveDocument(path);
    m_saveBytes.clear();
    if (saved && encoding != m_encoding) {
        m_encoding = encoding;
        if (m_forcedEncoding)
            m_forcedEncoding = encoding.m_id;
        ShowEncoding();
    }
    return saved;
}

void CJestpadDoc::ShowEncoding()
{
    CEditView* view = GetFirstView();
    if (CFrameWnd* frame = view ? view->GetParentFrame() : AfxGetMainWnd())
        frame->SetPaneText(ID_INDICATOR_ENCODING, EncodingName(m_encoding));
}

void CJestpadDoc::OnFileReopen(std::optional<EncodingId> encoding)
{
    const QString path = GetPathName();
    if (path.isEmpty())
        return;
    const std::optional<EncodingId> before = m_forcedEncoding;
    m_forcedEncoding = encoding;
    // A failed open keeps the file's earlier choice.
    if (!OnOpenDocument(path))
        m_forcedEncoding = before;
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
