// Document base: path name, title, modified flag, its one view, and the raw
// open and save that hand the file's bytes to Serialize.
#pragma once

#include "CmdTarget.h"

#include <QFileDevice>
#include <QString>

class CAppContext;
class CEditView;
class QIODevice;

// The stream that Serialize reads from or writes to. A handler that fails
// records the cause and the message id; the document reports it.
class CArchive {
public:
    enum Mode { load, store };
    CArchive(Mode mode, QIODevice* file) : m_mode(mode), m_pFile(file) {}
    bool IsLoading() const { return m_mode == load; }
    QIODevice* GetFile() const { return m_pFile; }

    // Marks the archive failed with the message of that string id
    // (0: the generic open or save failure).
    void Fail(int messageId = 0) { if (!m_bFailed) { m_bFailed = true; m_nMessageId = messageId; } }
    bool Failed() const { return m_bFailed; }
    int MessageId() const { return m_nMessageId; }

private:
    Mode m_mode;
    QIODevice* m_pFile;
    bool m_bFailed = false;
    int m_nMessageId = 0;
};

class CDocument : public CCmdTarget {
public:
    CDocument();
    ~CDocument() override;

    // Base new: empties the path name and clears the modified flag.
    virtual bool OnNewDocument();
    // Base open: reads the whole file raw through Serialize (an empty file too,
    // which empties the text); refuses a file over the view's limit and
    // anything but a regular file; reports a failure itself and returns false.
    virtual bool OnOpenDocument(const QString& path);
    // Base save: writes Serialize's bytes atomically where the folder allows a
    // temporary file and the file has one link, otherwise over the file
    // itself; a file the user may not write is refused. Reports a failure.
    virtual bool OnSaveDocument(const QString& path);
    // The document's own bytes to or from the archive.
    virtual void Serialize(CArchive& ar) = 0;

    QString GetPathName() const { return m_strPathName; }
    // Full path, title from the file's name, and an entry in the recent list.
    void SetPathName(const QString& path, bool addToMru = true);
    QString GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }

    CEditView* GetFirstView() const { return m_pView; }
    void AddView(CEditView* view) { m_pView = view; }
    void RemoveView(CEditView* view) { if (m_pView == view) m_pView = nullptr; }

    // The application the document belongs to (none: a document alone).
    void SetAppContext(CAppContext* context) { m_pContext = context; }
    CAppContext* GetAppContext() const { return m_pContext; }

    // The framework's Save As command.
    void OnFileSaveAs();
    // The file Save As proposes: the document's own, or untitled its title in
    // the folder last used.
    virtual QString ProposedSaveName() const;

    // Message for a file error by cause, with the file's name for %1.
    static QString FileErrorMessage(QFileDevice::FileError error, const QString& path,
                                    bool saving);
    // Message for errno, with the file's name for %1.
    static QString ErrnoMessage(int err, const QString& path, bool saving);
    // The file a write to native lands in: symbolic links followed, a
    // dangling one too (to the name it points to); else native itself.
    static QByteArray WriteTarget(const QByteArray& native);
    // A hidden temporary name beside target, ending in "XXXXXX" for mkstemp;
    // stem stands for the file's name when that is too long.
    static QByteArray TemporaryName(const QByteArray& target, const QByteArray& stem);
    // The application's name, for temporary files.
    QByteArray TemporaryStem() const;

private:
    void UpdateFrameTitle();

    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    CEditView* m_pView = nullptr;
    CAppContext* m_pContext = nullptr;
};
