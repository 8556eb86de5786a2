#include "SingleDocTemplate.h"

#include "Afx.h"
#include "Document.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

CSingleDocTemplate::CSingleDocTemplate(const QString& templateString, const QString& resourcePath,
                                       DocFactory doc, FrameFactory frame, ViewFactory view)
    : m_fields(templateString.split(u'\n')),
      m_strResourcePath(resourcePath),
      m_docFactory(std::move(doc)),
      m_frameFactory(std::move(frame)),
      m_viewFactory(std::move(view))
{
}

CSingleDocTemplate::~CSingleDocTemplate()
{
    DestroyFrame();
}

void CSingleDocTemplate::DestroyFrame()
{
    if (CWinApp::s_pApp && CWinApp::s_pApp->m_pMainWnd == m_pFrame.get())
        CWinApp::s_pApp->m_pMainWnd = nullptr;
    m_pFrame.reset();
    m_pDocument.reset();
}

bool CSingleDocTemplate::CreateFrame()
{
    m_pDocument.reset(m_docFactory());
    m_pFrame.reset(m_frameFactory());
    CEditView* view = m_viewFactory();
    view->Attach(m_pDocument.get(), m_pFrame.get());
    m_pFrame->SetDocument(m_pDocument.get());
    m_pFrame->SetView(view);
    if (CWinApp::s_pApp && !CWinApp::s_pApp->m_pMainWnd)
        CWinApp::s_pApp->m_pMainWnd = m_pFrame.get();
    if (!m_pFrame->LoadFrame(m_strResourcePath, m_fields.value(0))) {
        DestroyFrame();
        AfxMessageBox(AFX_IDP_FAILED_TO_CREATE_DOC);
        return false;
    }
    return true;
}

void CSingleDocTemplate::SetDefaultTitle()
{
    const QString name = m_fields.value(1);
    m_pDocument->SetTitle(name.isEmpty() ? AfxLoadString(AFX_IDS_UNTITLED) : name);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const QString& path)
{
    bool created = false;
    if (!m_pDocument) {
        if (!CreateFrame())
            return nullptr;
        created = true;
    }
    CDocument* doc = m_pDocument.get();
    if (path.isEmpty()) {
        SetDefaultTitle();
        if (!doc->OnNewDocument()) {
            if (created)
                DestroyFrame();
            return nullptr;
        }
    } else {
        if (!doc->OnOpenDocument(path)) {
            // A failed open leaves the document as it was: text, name, all.
            if (created)
                DestroyFrame();
            return nullptr;
        }
        doc->SetPathName(path);
    }
    // The view's initial update, once the document operation has returned.
    if (CEditView* view = doc->GetFirstView())
        view->OnInitialUpdate();
    m_pFrame->OnUpdateFrameTitle();
    m_pFrame->UpdateCmdUI();
    return doc;
}
