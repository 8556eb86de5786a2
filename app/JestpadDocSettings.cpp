#include "JestpadDoc.h"

#include "Afx.h"
#include "FrameWnd.h"
#include "JestSettingsDlg.h"
#include "Resource.h"
#include "UiSeam.h"

// The settings command: runs the settings dialog with the current settings and,
// on OK, takes the level and filters, loads a newly named rule file and
// rewrites the current file with all of it.
void CJestpadDoc::OnSettingsJest()
{
    // Owned by the main window, as a dialog without a parent is on the desktop.
    CJestSettingsDlg dlg(AfxGetMainWnd());
    dlg.m_strRuleFile = m_ruleSet.GetFileName();
    dlg.m_nFrequency = m_nLevel;
    dlg.m_bHtml = m_bHtmlFilter;
    dlg.m_bCppComment = m_bCommentFilter;

    if (CUiSeam::Get().DoModal(dlg) != 1)
        return;

    m_nLevel = dlg.m_nFrequency;
    m_bHtmlFilter = dlg.m_bHtml;
    m_bCommentFilter = dlg.m_bCppComment;

    // An emptied box means the built-in rules.
    if (dlg.m_strRuleFile.empty() && !m_ruleSet.GetFileName().empty()) {
        m_ruleSet = CRuleSet();
        m_ruleSet.SetMessageSink(m_pSink.get());
    }

    // Only a different name is loaded: the same name keeps the rules in use.
    if (m_ruleSet.GetFileName() != dlg.m_strRuleFile) {
        if (!m_ruleSet.LoadRuleFile(dlg.m_strRuleFile))
            AfxMessageBox(IDS_RULE_LOAD_FAILED);
    }

    Reload();
}
