#include "Document.h"

#include "Afx.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

CDocument::CDocument()
{
    OnCommand(ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); });
}

CDocument::~CDocument() = default;

bool CDocument::OnNewDocument()
{
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

QString CDocument::FileErrorMessage(QFileDevice::FileError error, const QString& path,
                                    bool saving)
{
    const QString name = path.isEmpty() ? AfxLoadString(AFX_IDS_UNNAMED_FILE)
                                        : QDir::toNativeSeparators(path);
    int id = saving ? AFX_IDP_FAILED_TO_SAVE_DOC : AFX_IDP_FAILED_TO_OPEN_DOC;
    switch (error) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        // Qt folds several causes into OpenError; errno tells them apart.
        if (errno == ENOENT)
            id = saving ? AFX_IDP_FILE_BAD_PATH : AFX_IDP_FILE_NOT_FOUND;
        else if (errno == EACCES || errno == EPERM || errno == EROFS || errno == EISDIR)
            id = AFX_IDP_FILE_ACCESS_DENIED;
        else if (errno == ENAMETOOLONG || errno == ENOTDIR)
            id = AFX_IDP_FILE_BAD_PATH;
        else if (errno == EMFILE || errno == ENFILE)
            id = AFX_IDP_FILE_TOO_MANY_OPEN;
        else if (errno == ENOSPC)
            id = AFX_IDP_FILE_DISKFULL;
        else
            id = AFX_IDP_FILE_GENERIC;
        break;
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
    case QFileDevice::FatalError:
    case QFileDevice::ResourceError:
        id = (errno == ENOSPC || errno == EDQUOT) ? AFX_IDP_FILE_DISKFULL : AFX_IDP_FILE_HARD_IO;
        break;
    default:
        break;
    }
    return AfxFormatString1(id, name);
}

bool CDocument::OnOpenDocument(const QString& path)
{
    m_bLoadFailedAfterOpen = false;
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir()) {
        errno = EISDIR;
        AfxMessageBox(FileErrorMessage(QFileDevice::OpenError, path, false));
        return false;
    }
    // Devices, pipes and sockets are no documents (and may never end).
    if (info.exists() && !info.isFile()) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_INVALID_FORMAT));
        return false;
    }
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        if (!info.exists())
            errno = ENOENT;
        else if (!info.isReadable())
            errno = EACCES;
        AfxMessageBox(FileErrorMessage(QFileDevice::OpenError, path, false));
        return false;
    }
    CArchive ar(CArchive::load, &file);
    Serialize(ar);
    if (ar.Failed()) {
        m_bLoadFailedAfterOpen = true;
        AfxMessageBox(ar.MessageId() ? AfxFormatString1(ar.MessageId(), path)
                                     : FileErrorMessage(file.error(), path, false));
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        AfxMessageBox(FileErrorMessage(file.error(), path, true));
        return false;
    }
    CArchive ar(CArchive::store, &file);
    Serialize(ar);
    if (ar.Failed()) {
        file.cancelWriting();
        AfxMessageBox(ar.MessageId() ? AfxFormatString1(ar.MessageId(), path)
                                     : FileErrorMessage(file.error(), path, true));
        return false;
    }
    if (!file.commit()) {
        AfxMessageBox(FileErrorMessage(file.error(), path, true));
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void CDocument::SetPathName(const QString& path, bool addToMru)
{
    m_strPathName = QFileInfo(path).absoluteFilePath();
    SetTitle(QFileInfo(m_strPathName).fileName());
    if (AfxGetApp())
        AfxGetApp()->m_strLastFolder = QFileInfo(m_strPathName).absolutePath();
    if (addToMru && AfxGetApp())
        AfxGetApp()->AddToRecentFileList(m_strPathName);
}

void CDocument::SetTitle(const QString& title)
{
    m_strTitle = title;
    UpdateFrameTitle();
}

void CDocument::UpdateFrameTitle()
{
    if (m_pView) {
        if (auto* frame = m_pView->GetParentFrame())
            frame->OnUpdateFrameTitle();
    }
}

QString CDocument::ProposedSaveName(const QString& path)
{
    // Untitled: "無題.txt" in the folder last used.
    if (path.isEmpty()) {
        const QString name = AfxLoadString(AFX_IDS_UNTITLED) + QStringLiteral(".txt");
        const QString folder = AfxGetApp() ? AfxGetApp()->m_strLastFolder : QString();
        return folder.isEmpty() ? name : QDir(folder).filePath(name);
    }
    // "<name>_jest<ext>" beside the file, so that Enter cannot overwrite it.
    const QFileInfo info(path);
    QString base = info.completeBaseName();
    QString ext = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    if (base.isEmpty()) {
        base = info.fileName();
        ext.clear();
    }
    return info.dir().filePath(base + QStringLiteral("_jest") + ext);
}

void CDocument::OnFileSaveAs()
{
    CFrameWnd* frame = m_pView ? m_pView->GetParentFrame() : nullptr;
    const auto chosen = CUiSeam::Get().GetSaveFileName(
        frame, AfxLoadString(AFX_IDS_SAVEFILE), AfxLoadString(AFX_IDS_ALLFILTER),
        ProposedSaveName(m_strPathName));
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (!QFileInfo(path).absoluteDir().exists()) {
        errno = ENOENT;
        AfxMessageBox(FileErrorMessage(QFileDevice::OpenError, path, true));
        return;
    }
    if (OnSaveDocument(path))
        SetPathName(path);
}
