#include "Document.h"

#include "Afx.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "NativePath.h"
#include "UiSeam.h"
#include "WinApp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QBuffer>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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

namespace {

// Message id for a failed open or save by errno.
int MessageIdForErrno(int err, bool saving)
{
    switch (err) {
    case ENOENT:
        return saving ? AFX_IDP_FILE_BAD_PATH : AFX_IDP_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return AFX_IDP_FILE_ACCESS_DENIED;
    case ELOOP:
    case ENAMETOOLONG:
    case ENOTDIR:
        return AFX_IDP_FILE_BAD_PATH;
    case EISDIR:
        return AFX_IDP_FAILED_INVALID_FORMAT;
    case EMFILE:
    case ENFILE:
        return AFX_IDP_FILE_TOO_MANY_OPEN;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return AFX_IDP_FILE_DISKFULL;
    case EIO:
        return AFX_IDP_FILE_HARD_IO;
    default:
        return AFX_IDP_FILE_GENERIC;
    }
}

// Writes all bytes to fd; false with errno set on failure.
bool WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// Closes fd, keeping the first error's errno.
bool CloseChecked(int fd, bool ok)
{
    const int saved = errno;
    const bool closed = ::close(fd) == 0;
    if (!ok)
        errno = saved;
    return ok && closed;
}

bool CanWrite(const QByteArray& native, int mode)
{
    return ::faccessat(AT_FDCWD, native.constData(), mode, AT_EACCESS) == 0;
}

QByteArray FolderOf(const QByteArray& native)
{
    const qsizetype slash = native.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    return slash == 0 ? QByteArray("/") : native.left(slash);
}

// Replaces target by a new file holding bytes, through a temporary file in
// the same folder: readers see the old file or the new one, never half.
bool WriteAtomically(const QByteArray& target, const QByteArray& bytes, mode_t mode)
{
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temp = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".XXXXXX";
    // Keep the temporary's name within NAME_MAX.
    if (temp.size() - slash - 1 > NAME_MAX)
        temp = target.left(slash + 1) + ".jestpad.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = CloseChecked(fd, ok) && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.constData());
        errno = saved;
    }
    return ok;
}

// Overwrites the file itself: other hard links see the new text. Refuses
// before touching it when the disk cannot take what the text adds.
bool WriteInPlace(const QByteArray& target, const QByteArray& bytes)
{
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    struct statvfs vfs {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        errno = EISDIR;
        ok = false;
    }
    if (ok && bytes.size() > st.st_size && ::fstatvfs(fd, &vfs) == 0 &&
        static_cast<unsigned long long>(bytes.size() - st.st_size) >
            static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize) {
        errno = ENOSPC;
        ok = false;
    }
    ok = ok && WriteAll(fd, bytes) && ::ftruncate(fd, bytes.size()) == 0 && ::fsync(fd) == 0;
    return CloseChecked(fd, ok);
}

}  // namespace

QString CDocument::ErrnoMessage(int err, const QString& path, bool saving)
{
    const QString name = path.isEmpty() ? AfxLoadString(AFX_IDS_UNNAMED_FILE)
                                        : QDir::toNativeSeparators(PathForDisplay(path));
    return AfxFormatString1(MessageIdForErrno(err, saving), name);
}

QString CDocument::FileErrorMessage(QFileDevice::FileError error, const QString& path,
                                    bool saving)
{
    int id = saving ? AFX_IDP_FAILED_TO_SAVE_DOC : AFX_IDP_FAILED_TO_OPEN_DOC;
    switch (error) {
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError:
        return ErrnoMessage(errno, path, saving);
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
    case QFileDevice::FatalError:
    case QFileDevice::ResourceError:
        id = (errno == ENOSPC || errno == EDQUOT) ? AFX_IDP_FILE_DISKFULL : AFX_IDP_FILE_HARD_IO;
        break;
    default:
        break;
    }
    const QString name = path.isEmpty() ? AfxLoadString(AFX_IDS_UNNAMED_FILE)
                                        : QDir::toNativeSeparators(PathForDisplay(path));
    return AfxFormatString1(id, name);
}

bool CDocument::OnOpenDocument(const QString& path)
{
    // By the name's own bytes, which need not be UTF-8.
    const QByteArray native = PathToNative(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        AfxMessageBox(ErrnoMessage(errno, path, false));
        return false;
    }
    // Folders, devices, pipes and sockets are no documents (and may never end).
    if (!S_ISREG(st.st_mode)) {
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_INVALID_FORMAT));
        return false;
    }
    // Non-blocking, should a pipe have taken the file's place meanwhile.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        AfxMessageBox(ErrnoMessage(errno, path, false));
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        AfxMessageBox(AfxLoadString(AFX_IDP_FAILED_INVALID_FORMAT));
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        AfxMessageBox(FileErrorMessage(QFileDevice::OpenError, path, false));
        return false;
    }
    CArchive ar(CArchive::load, &file);
    Serialize(ar);
    if (ar.Failed()) {
        AfxMessageBox(ar.MessageId() ? AfxFormatString1(ar.MessageId(), PathForDisplay(path))
                                     : FileErrorMessage(file.error(), path, false));
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(CArchive::store, &buffer);
    Serialize(ar);
    if (ar.Failed()) {
        AfxMessageBox(ar.MessageId() ? AfxFormatString1(ar.MessageId(), PathForDisplay(path))
                                     : FileErrorMessage(QFileDevice::WriteError, path, true));
        return false;
    }
    const QByteArray native = PathToNative(path);
    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (!exists && errno != ENOENT) {
        AfxMessageBox(ErrnoMessage(errno, path, true));
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        AfxMessageBox(ErrnoMessage(EISDIR, path, true));
        return false;
    }
    // A file the user may not write stays as it is, whatever its folder allows.
    if (exists && !CanWrite(native, W_OK)) {
        AfxMessageBox(ErrnoMessage(errno, path, true));
        return false;
    }
    // A symbolic link stays a link: its target gets the text.
    QByteArray target = native;
    if (exists) {
        if (char* resolved = ::realpath(native.constData(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    // Atomic where the folder takes a temporary file and no other link
    // shares the file; otherwise the file itself is overwritten.
    const bool folderWritable = CanWrite(FolderOf(target), W_OK | X_OK);
    const int folderError = errno;
    const bool atomic = folderWritable && (!exists || st.st_nlink == 1);
    bool ok;
    if (atomic) {
        mode_t mode = st.st_mode & 07777;
        if (!exists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ok = WriteAtomically(target, buffer.data(), mode);
    } else {
        ok = exists ? WriteInPlace(target, buffer.data()) : (errno = folderError, false);
    }
    if (!ok) {
        AfxMessageBox(ErrnoMessage(errno, path, true));
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void CDocument::SetPathName(const QString& path, bool addToMru)
{
    m_strPathName = AbsolutePath(path);
    SetTitle(PathForDisplay(m_strPathName.mid(m_strPathName.lastIndexOf(u'/') + 1)));
    if (AfxGetApp()) {
        const qsizetype slash = m_strPathName.lastIndexOf(u'/');
        AfxGetApp()->m_strLastFolder = slash > 0 ? m_strPathName.left(slash) : QStringLiteral("/");
    }
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

void CDocument::OnFileSaveAs()
{
    CFrameWnd* frame = m_pView ? m_pView->GetParentFrame() : nullptr;
    const auto chosen = CUiSeam::Get().GetSaveFileName(
        frame, AfxLoadString(AFX_IDS_SAVEFILE), AfxLoadString(AFX_IDS_ALLFILTER),
        ProposedSaveName(m_strPathName));
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (OnSaveDocument(path))
        SetPathName(path);
}
