#include "JestpadDoc.h"

#include "Afx.h"
#include "EditView.h"
#include "FrameWnd.h"
#include "JestSettingsDlg.h"
#include "Resource.h"
#include "UiSeam.h"

#include <QFile>
#include <QStringList>

#include <cstring>

namespace {

QString RuleFileName(const CByteString& name)
{
    return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

// Why a rule file did not load (or read no line), in words.
QString RuleLoadMessage(const CByteString& name, const CRuleLoadResult& result)
{
    const QString file = RuleFileName(name);
    switch (result.m_eFailure) {
    case RuleLoadFailure::kNone: break;
    case RuleLoadFailure::kMissing: return AfxLoadString(IDS_RULE_FILE_MISSING).arg(file);
    case RuleLoadFailure::kUnreadable:
        return AfxLoadString(IDS_RULE_FILE_UNREADABLE).arg(file, QString::fromLocal8Bit(std::strerror(result.m_nError)));
    case RuleLoadFailure::kNotRegular: return AfxLoadString(IDS_RULE_FILE_NOT_REGULAR).arg(file);
    case RuleLoadFailure::kTooLarge: return AfxLoadString(IDS_RULE_FILE_TOO_LARGE);
    case RuleLoadFailure::kBadLine: return AfxLoadString(IDS_RULE_LINE_ERROR).arg(result.m_nLine);
    case RuleLoadFailure::kOutOfMemory: return AfxLoadString(IDS_RULE_FILE_NO_MEMORY);
    }
    return AfxLoadString(IDS_RULE_FILE_CR_ONLY).arg(file);
}

// "第3行（U+1F600）、第4行（不正なバイト）", at most 20 of them.
QString LeftOutItems(const std::vector<CLeftOutRule>& rules)
{
    constexpr std::size_t kShown = 20;
    QStringList items;
    for (std::size_t i = 0; i < rules.size() && i < kShown; ++i) {
        const QString what = rules[i].m_cChar ? QStringLiteral("U+%1").arg(static_cast<uint>(*rules[i].m_cChar), 4, 16,
                                                                           QLatin1Char('0')).toUpper()
                                              : AfxLoadString(IDS_RULE_LEFT_OUT_BYTES);
        items += rules[i].m_nLine > 0 ? AfxLoadString(IDS_RULE_LEFT_OUT_ITEM).arg(QString::number(rules[i].m_nLine), what)
                                      : AfxLoadString(IDS_RULE_LEFT_OUT_UNNUMBERED).arg(what);
    }
    QString list = items.join(AfxLoadString(IDS_RULE_LEFT_OUT_SEPARATOR));
    if (rules.size() > kShown)
        list += AfxLoadString(IDS_RULE_LEFT_OUT_MORE).arg(rules.size() - kShown);
    return list;
}

}  // namespace

bool CJestpadDoc::LoadRules(const CByteString& name)
{
    CEditView* view = GetFirstView();
    const std::optional<EncodingId> text = view ? std::optional(view->GetTextEncoding()) : std::nullopt;
    const CRuleLoadResult result = m_ruleSet.LoadRuleFile(name, std::nullopt, text);
    if (!result || result.m_bCrOnly)
        AfxMessageBox(RuleLoadMessage(name, result));
    if (!result)
        AfxMessageBox(IDS_RULE_LOAD_FAILED);
    return static_cast<bool>(result);
}

bool CJestpadDoc::PrepareRules(EncodingId encoding)
{
    if (!m_ruleSet.PreparePass(encoding)) {
        AfxMessageBox(IDS_RULE_FILE_NO_MEMORY);
        return false;
    }
    const std::vector<CLeftOutRule> leftOut = m_ruleSet.LeftOutRules(encoding);
    if (!leftOut.empty()) {
        const CByteString file = m_ruleSet.GetFileName();
        const QString name = IsValidUtf8(file) && !file.empty()
                                 ? AfxLoadString(IDS_RULE_LEFT_OUT_NAME).arg(RuleFileName(file))
                                 : QString();
        AfxMessageBox(AfxLoadString(IDS_RULES_LEFT_OUT)
                          .arg(name, LeftOutItems(leftOut), QString::fromStdString(DisplayName({encoding, false}))));
    }
    return true;
}

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

    // Only a different name is loaded: the same name keeps the rules in use.
    if (m_ruleSet.GetFileName() != dlg.m_strRuleFile) {
        LoadRules(dlg.m_strRuleFile);
    }

    Reload();
}
