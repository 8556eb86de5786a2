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
    case RuleLoadFailure::kMissing: return AfxFormatString(IDS_RULE_FILE_MISSING, {file});
    case RuleLoadFailure::kUnreadable:
        return AfxFormatString(IDS_RULE_FILE_UNREADABLE, {file, QString::fromLocal8Bit(std::strerror(result.m_nError))});
    case RuleLoadFailure::kNotRegular: return AfxFormatString(IDS_RULE_FILE_NOT_REGULAR, {file});
    case RuleLoadFailure::kTooLarge: return AfxLoadString(IDS_RULE_FILE_TOO_LARGE);
    case RuleLoadFailure::kBadLine: return AfxFormatString(IDS_RULE_LINE_ERROR, {QString::number(result.m_nLine)});
    case RuleLoadFailure::kOutOfMemory: return AfxLoadString(IDS_RULE_FILE_NO_MEMORY);
    }
    return AfxFormatString(IDS_RULE_FILE_CR_ONLY, {file});
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
        items += rules[i].m_nLine > 0 ? AfxFormatString(IDS_RULE_LEFT_OUT_ITEM, {QString::number(rules[i].m_nLine), what})
                                      : AfxFormatString(IDS_RULE_LEFT_OUT_UNNUMBERED, {what});
    }
    QString list = items.join(AfxLoadString(IDS_RULE_LEFT_OUT_SEPARATOR));
    if (rules.size() > kShown)
        list += AfxFormatString(IDS_RULE_LEFT_OUT_MORE, {QString::number(rules.size() - kShown)});
    return list;
}

}  // namespace

bool CJestpadDoc::LoadRules(const CByteString& name)
{
    const CRuleLoadResult result = m_ruleSet.LoadRuleFile(name, std::nullopt, m_encoding.m_pass);
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
                                 ? AfxFormatString(IDS_RULE_LEFT_OUT_NAME, {RuleFileName(file)})
                                 : QString();
        AfxMessageBox(AfxFormatString(IDS_RULES_LEFT_OUT,
                                      {name, LeftOutItems(leftOut), QString::fromStdString(DisplayName({encoding, false}))}));
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
    dlg.m_nFrequency = m_options.m_nLevel;
    dlg.m_bHtml = m_options.m_bHtmlFilter ? 1 : 0;
    dlg.m_bCppComment = m_options.m_bCommentFilter ? 1 : 0;

    if (CUiSeam::Get().DoModal(dlg) != 1)
        return;

    m_options.m_nLevel = dlg.m_nFrequency;
    m_options.m_bHtmlFilter = dlg.m_bHtml != 0;
    m_options.m_bCommentFilter = dlg.m_bCppComment != 0;

    // An emptied box means the built-in rules.
    if (dlg.m_strRuleFile.empty() && !m_ruleSet.GetFileName().empty())
        m_ruleSet = CRuleSet();

    // Only a different name is loaded: the same name keeps the rules in use.
    if (m_ruleSet.GetFileName() != dlg.m_strRuleFile) {
        LoadRules(dlg.m_strRuleFile);
    }

    Reload();
}
