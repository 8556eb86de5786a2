#include "Document.h"

#include "Afx.h"
#include "AppContext.h"
#include "EditView.h"
#include "NativePath.h"
#include "UiSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QBuffer>
#include <QRandomGenerator>

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

// Gives the unnamed file fd a free temporary name beside target.
bool LinkUnnamed(int fd, const QByteArray& target, const QByteArray& stem, QByteArray* temp)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int tries = 0; tries < 100; ++tries) {
        QByteArray name = CDocument::TemporaryName(target, stem);
        const QByteArray random =
            QByteArray::number(QRandomGenerator::global()->generate64(), 36).rightJustified(6, '0');
        name.replace(name.size() - 6, 6, random.right(6));
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            *temp = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Replaces target by a new file holding bytes, through a temporary file in
// the same folder: readers see the old file or the new one, never half. The
// temporary file is written unnamed where the file system allows it, so that
// a save killed midway leaves nothing behind. stem names the temporary when
// the file's own name is too long for it.
bool WriteAtomically(const QByteArray& target, const QByteArray& bytes, mode_t mode,
                     const QByteArray& stem)
{
    QByteArray temp;
    int fd = ::open(FolderOf(target).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (ok && !LinkUnnamed(fd, target, stem, &temp) && errno == ENOENT) {
        // No /proc to name it by: write a named one instead.
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        temp = CDocument::TemporaryName(target, stem);
        fd = ::mkstemp(temp.data());
        if (fd < 0)
            return false;
        ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    }
    ok = CloseChecked(fd, ok && !temp.isEmpty()) && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok && !temp.isEmpty()) {
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

QByteArray CDocument::TemporaryName(const QByteArray& target, const QByteArray& stem)
{
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temp = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".XXXXXX";
    // Within NAME_MAX.
    if (temp.size() - slash - 1 > NAME_MAX)
        temp = target.left(slash + 1) + '.' + stem.left(NAME_MAX - 8) + ".XXXXXX";
    return temp;
}

QByteArray CDocument::TemporaryStem() const
{
    // Named after the application, which no file name can make too long.
    const QString app = m_pContext ? m_pContext->GetAppName().toLower() : QString();
    return QFile::encodeName(app.isEmpty() ? QStringLiteral("save") : app);
}

QByteArray CDocument::WriteTarget(const QByteArray& native)
{
    if (char* resolved = ::realpath(native.constData(), nullptr)) {
        QByteArray target(resolved);
        std::free(resolved);
        return target;
    }
    // A dangling link: followed by hand to the name it points to.
    QByteArray target = native;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        QByteArray link(PATH_MAX, '\0');
        if (::lstat(target.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        const ssize_t n = ::readlink(target.constData(), link.data(), size_t(link.size()));
        if (n <= 0 || n >= link.size())
            break;
        link.truncate(n);
        target = link.startsWith('/') ? link : FolderOf(target) + '/' + link;
    }
    return target;
}

QString CDocument::ErrnoMessage(int err, const QString& path, bool saving)
{
    const QString name = path.isEmpty() ? AfxLoadString(AFX_IDS_UNNAMED_FILE)
                                        : QDir::toNativeSeparators(PathForDisplay(path));
    return AfxFormatString(MessageIdForErrno(err, saving), {name});
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
    return AfxFormatString(id, {name});
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
        AfxMessageBox(ar.MessageId() ? AfxFormatString(ar.MessageId(), {PathForDisplay(path)})
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
        AfxMessageBox(ar.MessageId() ? AfxFormatString(ar.MessageId(), {PathForDisplay(path)})
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
    const QByteArray target = WriteTarget(native);
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
        ok = WriteAtomically(target, buffer.data(), mode, TemporaryStem());
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
    if (m_pContext)
        m_pContext->OnDocumentNamed(m_strPathName, addToMru);
}

void CDocument::SetTitle(const QString& title)
{
    m_strTitle = title;
    UpdateFrameTitle();
}

void CDocument::UpdateFrameTitle()
{
    if (m_pContext)
        m_pContext->OnDocumentTitleChanged();
}

QString CDocument::ProposedSaveName() const
{
    if (!m_strPathName.isEmpty())
        return m_strPathName;
    const QString folder = m_pContext ? m_pContext->GetLastFolder() : QString();
    return folder.isEmpty() ? m_strTitle : QDir(folder).filePath(m_strTitle);
}

void CDocument::OnFileSaveAs()
{
    QWidget* parent = m_pView ? m_pView->window() : nullptr;
    const auto chosen = CUiSeam::Get().GetSaveFileName(
        parent, AfxLoadString(AFX_IDS_SAVEFILE), AfxLoadString(AFX_IDS_ALLFILTER),
        ProposedSaveName());
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (OnSaveDocument(path))
        SetPathName(path);
}
