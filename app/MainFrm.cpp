#include "MainFrm.h"

#include "Afx.h"
#include "Resource.h"

#include <QIcon>
#include <QToolBar>

namespace {

// Status bar panes, left to right: message, the document's encoding, kana,
// caps, num, scroll.
const QList<int> kIndicators = {ID_SEPARATOR, ID_INDICATOR_ENCODING, ID_INDICATOR_KANA, ID_INDICATOR_CAPS,
                                ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

}  // namespace

CMainFrame::CMainFrame()
{
    setWindowIcon(QIcon(QString::fromLatin1(kProgramIconPath)));
    resize(640, 480);
}

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate()
{
    if (!CreateToolBar())
        return -1;
    if (!CreateStatusBar(kIndicators))
        return -1;
    // Bars dock on all four sides; the tool bar starts at the top.
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    return 0;
}
