#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CDocument;
class CEditView;
class CFrameWnd;

// One document, one frame, one view, created once and reused.
class CSingleDocTemplate {
public:
    using DocFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CFrameWnd*()>;
    using ViewFactory = std::function<CEditView*()>;

    // templateString: the seven "\n"-separated fields; the first is the
    // frame's title. resourcePath: menus, accelerators and tool bar.
    CSingleDocTemplate(const QString& templateString, const QString& resourcePath,
                       DocFactory doc, FrameFactory frame, ViewFactory view);
    ~CSingleDocTemplate();

    // Empty path: a new document. Returns nullptr after a reported failure.
    CDocument* OpenDocumentFile(const QString& path);
    CDocument* GetDocument() const { return m_pDocument.get(); }
    CFrameWnd* GetFrame() const { return m_pFrame.get(); }

private:
    bool CreateFrame();
    void DestroyFrame();
    void SetDefaultTitle();

    QStringList m_fields;
    QString m_strResourcePath;
    DocFactory m_docFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    std::unique_ptr<CDocument> m_pDocument;
    std::unique_ptr<CFrameWnd> m_pFrame;
};
