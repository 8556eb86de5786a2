// The main frame: tool bar and status bar around the view.
#pragma once

#include "FrameWnd.h"

class CMainFrame : public CFrameWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

protected:
    int OnCreate() override;
};
