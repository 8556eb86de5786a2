// The application and main window in force, and the message box over it.
#include "Afx.h"

#include "FrameWnd.h"
#include "UiSeam.h"
#include "WinApp.h"

CWinApp* AfxGetApp()
{
    return CWinApp::s_pApp;
}

CFrameWnd* AfxGetMainWnd()
{
    return CWinApp::s_pApp ? CWinApp::s_pApp->GetMainWnd() : nullptr;
}

void AfxMessageBox(const QString& text)
{
    CUiSeam::Get().MessageBox(AfxGetMainWnd(), text);
}

void AfxMessageBox(int stringId)
{
    AfxMessageBox(AfxLoadString(stringId));
}
