// The modal settings dialog: frequency level, the two markup filters and the
// rule file. It only carries values; the document fills its members before it
// runs and reads them back after OK.
#pragma once

#include "ByteString.h"

#include <QButtonGroup>
#include <QDialog>

#include <memory>

namespace Ui {
class CJestSettingsDlg;
}

// Where the rule packs are installed (samples/rules in the source tree).
inline constexpr char kRulePacksFolder[] = JESTPAD_RULE_PACKS_DIR;

class CJestSettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CJestSettingsDlg(QWidget* parent = nullptr);
    ~CJestSettingsDlg() override;

    int m_bHtml = 0;              // htmlCheck
    int m_bCppComment = 0;        // commentCheck
    int m_nFrequency = -1;        // levelButton0..4 as 0..4, -1 for none
    CByteString m_strRuleFile;    // ruleFileEdit: the path as the system's bytes

    // Members to controls (false) or controls to members (true).
    void DoDataExchange(bool bSaveAndValidate);

public slots:
    // Controls to members, then closes with OK.
    void accept() override;

protected:
    // Members to controls each time the dialog is opened.
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void OnLoadButton();

private:
    // Size of the 249 x 133 dialog-unit template at the dialog's font, never
    // smaller than the layout needs.
    void FitToTemplate();
    // Only the checked level button is a tab stop, so Tab lands on it.
    void UpdateLevelTabStop();

    std::unique_ptr<Ui::CJestSettingsDlg> m_pUi;
    QButtonGroup m_levelGroup;
    bool m_bFormReady = false;  // the form's widgets exist
};
