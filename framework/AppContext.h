// What a document, its frame and its view use of the application that holds
// them. The application implements it; the document template hands it to
// each of them as it creates them.
#pragma once

#include <QByteArray>
#include <QString>

class CCmdTarget;
class CFrameWnd;
class CRecentFileList;
class QPrinter;

class CAppContext {
public:
    virtual ~CAppContext() = default;

    // The application's name: captions and the temporary file of a save.
    virtual QString GetAppName() const = 0;
    // A document took that name: its folder becomes the last one used, and
    // (addToMru) the name goes first in the recent-file list.
    virtual void OnDocumentNamed(const QString& path, bool addToMru) = 0;
    // The folder of the file last opened or saved in this run.
    virtual QString GetLastFolder() const = 0;
    // A document's title changed: the frames showing it follow.
    virtual void OnDocumentTitleChanged() = 0;
    virtual const CRecentFileList& GetRecentFileList() const = 0;
    // Where the commands that no window handles go.
    virtual CCmdTarget* GetCommandTarget() = 0;
    // A frame was made, or is about to go; the first one is the main window.
    virtual void OnFrameCreated(CFrameWnd* frame) = 0;
    virtual void OnFrameDestroyed(CFrameWnd* frame) = 0;

    // The printer of the run and the preview's page count (1 or 2; 0 while
    // the user chose none).
    virtual QPrinter& GetPrinter() = 0;
    virtual int GetPreviewPages() const = 0;
    virtual void SetPreviewPages(int pages) = 0;
    // The preview's size and place (QWidget::saveGeometry); empty at first.
    virtual QByteArray GetPreviewGeometry() const = 0;
    virtual void SetPreviewGeometry(const QByteArray& geometry) = 0;
};
