#include "JestpadDoc.h"

#include "Afx.h"
#include "AppContext.h"
#include "FrameWnd.h"
#include "JestpadView.h"
#include "MainFrm.h"
#include "NativePath.h"
#include "Rewrite.h"
#include "Resource.h"
#include "UiSeam.h"

#include <QDir>
#include <QFileInfo>

namespace {

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

CJestpadDoc::CJestpadDoc()
{
    OnCommand(ID_FILE_RELOAD, [this] { OnFileReload(); });
    OnCommand(ID_SETTINGS_JEST, [this] { OnSettingsJest(); });
    // Reopen in an encoding: one item per row of the encoding table.
    OnCommand(ID_FILE_REOPEN_AUTO, [this] { OnFileReopen(std::nullopt); });
    OnUpdate(ID_FILE_REOPEN_AUTO, [this](CCmdUI& ui) {
        ui.Enable(!GetPathName().isEmpty());
        ui.SetCheck(!m_encoding.m_forced);
    });
    for (const CEncodingInfo& row : kEncodings) {
        const EncodingId encoding = row.m_id;
        OnCommand(ReopenCommand(encoding), [this, encoding] { OnFileReopen(encoding); });
        OnUpdate(ReopenCommand(encoding), [this, encoding](CCmdUI& ui) {
            ui.Enable(!GetPathName().isEmpty());
            ui.SetCheck(m_encoding.m_file.m_id == encoding);
        });
    }
}

CJestpadDoc::~CJestpadDoc() = default;

CJestpadView* CJestpadDoc::GetJestpadView() const
{
    return static_cast<CJestpadView*>(GetFirstView());
}

bool CJestpadDoc::OnOpenDocument(const QString& path)
{
    // An encoding chosen for the file stays for its reloads only.
    const bool sameFile = !GetPathName().isEmpty() && AbsolutePath(path) == GetPathName();
    const CTextEncoding before = m_encoding;
    const bool warned = m_bInvalidWarned;
    if (!sameFile) {
        m_encoding.m_forced.reset();
        m_bInvalidWarned = false;
    }
    if (auto* mainFrame = qobject_cast<CMainFrame*>(AfxGetMainWnd()))
        mainFrame->ClearDropNote();
    // The same file opened again keeps the reader's place.
    CJestpadView* view = GetJestpadView();
    std::optional<CJestpadView::CReadingPlace> place;
    if (sameFile && m_bViewReady && view)
        place = view->GetReadingPlace();
    if (!CDocument::OnOpenDocument(path)) {
        m_encoding = before;
        m_bInvalidWarned = warned;
        return false;
    }
    // Before the view's first initial update the raw text stays as loaded.
    if (!m_bViewReady)
        return true;
    if (!view)
        return true;
    const QByteArray raw = view->GetWindowText();
    CByteString text(raw.constData(), static_cast<size_t>(raw.size()));
    // Seeded with the clock: every open and reload draws afresh. Endless rule
    // chains stop at kPassLimit, so that the window lays the text out quickly.
    CRewriteOptions options = m_options;
    options.m_encoding = m_encoding.m_pass;
    options.m_nPassLimit = kPassLimit;
    // Rules that do not fit in memory for this text rewrite nothing.
    if (!PrepareRules(options.m_encoding))
        return true;
    // What the pass changed: for Save As and for 書き換え箇所を強調.
    const bool whole =
        RewriteText(m_ruleSet, text, static_cast<std::uint32_t>(CUiSeam::Get().Now()), options, &m_report);
    view->SetWindowText(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    view->SetEdits(m_report);
    if (place)
        view->SetReadingPlace(*place);
    if (!whole)
        AfxMessageBox(IDS_PASS_CUT_SHORT);
    return true;
}

bool CJestpadDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    m_encoding = CTextEncoding();
    m_origin = CPassOrigin();
    m_report = CRewriteReport();
    if (CJestpadView* view = GetJestpadView())
        view->SetWindowText(QByteArray(), m_encoding.m_pass);
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
    } else {
        // OnSaveDocument has made sure that the encoding holds the text.
        QByteArray bytes;
        CConvertError error;
        if (!FileBytes(m_encoding.m_file, bytes, error) || ar.GetFile()->write(bytes) != bytes.size())
            ar.Fail();
    }
}

void CJestpadDoc::LoadText(const QByteArray& raw)
{
    const std::string_view bytes(raw.constData(), static_cast<size_t>(raw.size()));
    CTextEncoding encoding{.m_forced = m_encoding.m_forced};
    CByteString text;
    CConvertError error;
    m_report = CRewriteReport();
    if (!ToPassText(bytes, encoding, text, &error, &m_origin)) {
        // Not readable in that encoding: shown as CP932 bytes, so that nothing
        // is lost, and the user is told (once at start-up, by the reload that
        // follows the raw load).
        if (m_bViewReady && error.m_eKind == CConvertError::Kind::Utf32Text)
            AfxMessageBox(IDS_OPEN_UTF32);
        else if (m_bViewReady)
            AfxMessageBox(AfxFormatString(IDS_OPEN_ENCODING_FALLBACK,
                                          {EncodingName(encoding.m_file), QString::number(error.m_nLine)}));
        CTextEncoding cp932{.m_forced = EncodingId::Cp932};
        ToPassText(bytes, cp932, text, nullptr, &m_origin);
        encoding = CTextEncoding{.m_forced = encoding.m_forced, .m_file = cp932.m_file, .m_pass = cp932.m_pass};
    } else if (m_bViewReady && !m_bInvalidWarned && HoldsInvalidBytes(text, encoding.m_pass)) {
        // Said once a file: its invalid bytes show as U+FFFD and are saved as they are.
        m_bInvalidWarned = true;
        AfxMessageBox(AfxFormatString(IDS_OPEN_INVALID_BYTES, {EncodingName(encoding.m_file)}));
    }
    m_encoding = encoding;
    GetJestpadView()->SetWindowText(QByteArray(text.data(), static_cast<qsizetype>(text.size())), m_encoding.m_pass);
    ShowEncoding();
}

bool CJestpadDoc::FileBytes(const CEncoding& encoding, QByteArray& bytes, CConvertError& error) const
{
    CJestpadView* view = GetJestpadView();
    if (!view)
        return false;
    const QByteArray text = view->GetWindowText();
    std::string out;
    // Text kept in the file's own encoding comes back as its very bytes.
    if (!FromPassText(std::string_view(text.constData(), static_cast<size_t>(text.size())), m_encoding.m_pass, encoding,
                      out, &error, &m_origin, &m_report))
        return false;
    bytes = QByteArray(out.data(), static_cast<qsizetype>(out.size()));
    return true;
}

std::optional<CEncoding> CJestpadDoc::SaveEncoding()
{
    if (!GetFirstView())
        return std::nullopt;
    QByteArray bytes;
    CConvertError error;
    if (FileBytes(m_encoding.m_file, bytes, error))
        return m_encoding.m_file;
    if (error.m_eKind == CConvertError::Kind::Unrepresentable) {
        const QString question =
            AfxFormatString(IDS_SAVE_UNREPRESENTABLE, {QString::number(error.m_nLine), CharacterName(error.m_cChar),
                                                       EncodingName(CEncoding{m_encoding.m_file.m_id})});
        if (!CUiSeam::Get().AskYesNo(AfxGetMainWnd(), question))
            return std::nullopt;
        const CEncoding utf8{EncodingId::Utf8};
        if (FileBytes(utf8, bytes, error))
            return utf8;
    }
    AfxMessageBox(AfxFormatString(IDS_SAVE_CONVERT_FAILED,
                                  {QString::number(error.m_nLine), EncodingName(CEncoding{error.m_to})}));
    return std::nullopt;
}

bool CJestpadDoc::OnSaveDocument(const QString& path)
{
    const std::optional<CEncoding> encoding = SaveEncoding();
    if (!encoding)
        return false;
    // Serialize writes in m_encoding; a refused save keeps the one before.
    const CTextEncoding before = m_encoding;
    m_encoding.m_file = *encoding;
    if (m_encoding.m_forced)
        m_encoding.m_forced = encoding->m_id;
    if (!CDocument::OnSaveDocument(path)) {
        m_encoding = before;
        return false;
    }
    if (m_encoding != before)
        ShowEncoding();
    return true;
}

QString CJestpadDoc::ProposedSaveName() const
{
    return SaveNameFor(GetPathName(), GetAppContext() ? GetAppContext()->GetLastFolder() : QString());
}

QString CJestpadDoc::SaveNameFor(const QString& path, const QString& lastFolder)
{
    if (path.isEmpty()) {
        const QString name = AfxLoadString(AFX_IDS_UNTITLED) + QStringLiteral(".txt");
        return lastFolder.isEmpty() ? name : QDir(lastFolder).filePath(name);
    }
    // "<name>_jest<ext>" beside the file, so that Enter cannot overwrite it;
    // the name as the caption reads it, even when its bytes are not UTF-8.
    const QString folder = path.left(path.lastIndexOf(u'/') + 1);
    const QFileInfo info(folder + PathForDisplay(path.mid(folder.size())));
    QString base = info.completeBaseName();
    QString ext = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    if (base.isEmpty()) {
        base = info.fileName();
        ext.clear();
    }
    return folder + base + QStringLiteral("_jest") + ext;
}

void CJestpadDoc::ShowEncoding()
{
    CEditView* view = GetFirstView();
    if (CFrameWnd* frame = view ? view->GetParentFrame() : AfxGetMainWnd())
        frame->SetPaneText(ID_INDICATOR_ENCODING, EncodingName(m_encoding.m_file));
}

void CJestpadDoc::OnFileReopen(std::optional<EncodingId> encoding)
{
    const QString path = GetPathName();
    if (path.isEmpty())
        return;
    const std::optional<EncodingId> before = m_encoding.m_forced;
    m_encoding.m_forced = encoding;
    // A failed open keeps the file's earlier choice.
    if (!OnOpenDocument(path))
        m_encoding.m_forced = before;
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
