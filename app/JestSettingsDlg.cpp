#include "JestSettingsDlg.h"

#include "Afx.h"
#include "Resource.h"
#include "UiSeam.h"
#include "ui_JestSettingsDlg.h"

#include <QAction>
#include <QFile>
#include <QStyle>
#include <QFileInfo>
#include <QFontMetrics>
#include <QShowEvent>

#include <algorithm>

namespace {

// The path box shows a file name decoded from the system's bytes.
QString PathToText(const CByteString& path)
{
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

CByteString TextToPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

}  // namespace

CJestSettingsDlg::CJestSettingsDlg(QWidget* parent)
    : QDialog(parent), m_pUi(std::make_unique<Ui::CJestSettingsDlg>())
{
    m_pUi->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // The five level buttons carry the indices 0..4 in template order.
    QRadioButton* const levels[] = {m_pUi->levelButton0, m_pUi->levelButton1, m_pUi->levelButton2,
                                    m_pUi->levelButton3, m_pUi->levelButton4};
    for (int i = 0; i < 5; ++i)
        m_levelGroup.addButton(levels[i], i);
    m_levelGroup.setExclusive(true);

    connect(m_pUi->loadButton, &QPushButton::clicked, this, &CJestSettingsDlg::OnLoadButton);
    // A button in the box empties it: no file, the built-in rules.
    QAction* clear = m_pUi->ruleFileEdit->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                                                    QLineEdit::TrailingPosition);
    clear->setObjectName(QStringLiteral("clearRuleFileAction"));
    clear->setToolTip(AfxLoadString(IDS_RULE_FILE_CLEAR));
    connect(clear, &QAction::triggered, this, [this] {
        m_strRuleFile.clear();
        m_pUi->ruleFileEdit->clear();
    });
    connect(&m_levelGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            UpdateLevelTabStop();
    });
    m_bFormReady = true;
    FitToTemplate();
}

CJestSettingsDlg::~CJestSettingsDlg() = default;

void CJestSettingsDlg::FitToTemplate()
{
    // Dialog units: x in quarters of the average character width, y in
    // eighths of the font's height.
    const QFontMetrics fm(font());
    const int sample = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int avgWidth = (sample / 26 + 1) / 2;
    const int height = fm.height();
    const auto dx = [avgWidth](int x) { return (x * avgWidth + 2) / 4; };
    const auto dy = [height](int y) { return (y * height + 4) / 8; };

    layout()->setContentsMargins(dx(7), dy(7), dx(7), dy(7));
    m_pUi->okButton->setMinimumWidth(dx(50));
    m_pUi->cancelButton->setMinimumWidth(dx(50));
    m_pUi->ruleFileEdit->setMinimumWidth(dx(62));
    m_pUi->levelIndent->changeSize(dx(15), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_pUi->filterRight->changeSize(dx(7), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    layout()->invalidate();
    layout()->activate();

    const QSize templateSize(dx(249), dy(133));
    setFixedSize(templateSize.expandedTo(layout()->minimumSize()));
}

void CJestSettingsDlg::UpdateLevelTabStop()
{
    // With none checked the first button stays the group's tab stop.
    const int stop = std::max(m_levelGroup.checkedId(), 0);
    for (QAbstractButton* button : m_levelGroup.buttons())
        button->setFocusPolicy(m_levelGroup.id(button) == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void CJestSettingsDlg::DoDataExchange(bool bSaveAndValidate)
{
    if (bSaveAndValidate) {
        m_bHtml = m_pUi->htmlCheck->isChecked() ? 1 : 0;
        m_bCppComment = m_pUi->commentCheck->isChecked() ? 1 : 0;
        m_nFrequency = m_levelGroup.checkedId();  // -1 when none is checked
        // Keep the member's exact bytes while the box still shows them, so a
        // name that does not decode cleanly survives the round trip.
        const QString text = m_pUi->ruleFileEdit->text();
        if (text != PathToText(m_strRuleFile))
            m_strRuleFile = TextToPath(text);
        return;
    }

    m_pUi->htmlCheck->setChecked(m_bHtml != 0);
    m_pUi->commentCheck->setChecked(m_bCppComment != 0);
    // An exclusive group cannot uncheck its last button: lift it meanwhile.
    m_levelGroup.setExclusive(false);
    for (QAbstractButton* button : m_levelGroup.buttons())
        button->setChecked(m_levelGroup.id(button) == m_nFrequency);
    m_levelGroup.setExclusive(true);
    UpdateLevelTabStop();
    m_pUi->ruleFileEdit->setText(PathToText(m_strRuleFile));
    m_pUi->ruleFileEdit->setCursorPosition(0);
}

void CJestSettingsDlg::accept()
{
    DoDataExchange(true);
    QDialog::accept();
}

void CJestSettingsDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        DoDataExchange(false);
    QDialog::showEvent(event);
}

void CJestSettingsDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_bFormReady)
        FitToTemplate();
}

void CJestSettingsDlg::OnLoadButton()
{
    // The rule packs that come with the program, where they are installed.
    QStringList places;
    if (QFileInfo(QString::fromUtf8(kRulePacksFolder)).isDir())
        places.append(QString::fromUtf8(kRulePacksFolder));
    const std::optional<QString> path =
        CUiSeam::Get().GetAnyFileName(this, AfxLoadString(AFX_IDS_OPENFILE), places);
    if (!path)
        return;
    m_strRuleFile = TextToPath(*path);
    m_pUi->ruleFileEdit->setText(*path);
    m_pUi->ruleFileEdit->setCursorPosition(0);
}
