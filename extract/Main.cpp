#include "extract/Main.h"

#include "ui_Main.h"

#include "controls/CaptionGroupBox.h"
#include "controls/DateEdit.h"
#include "controls/FormFonts.h"
#include "data/Catalogue.h"
#include "dialogs/CustDualList.h"
#include "dialogs/DualList.h"
#include "extract/SettingsLines.h"
#include "platform/Application.h"
#include "platform/MessageHost.h"
#include "platform/Clock.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {
const QString kDataAlias = QStringLiteral("ZEL_DATA");

void bindTable(data::Table &table, const char *name, const char *index = nullptr)
{
    table.setDatabaseName(kDataAlias);
    table.setTableName(QString::fromLatin1(name));
    if (index)
        table.setIndexName(QString::fromLatin1(index));
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Lifts a filter however the walk under it ends.
class FilterGuard {
public:
    explicit FilterGuard(data::Table &table) : m_table(table) {}
    ~FilterGuard()
    {
        try {
            m_table.setFiltered(false);
        } catch (...) {
        }
    }
    FilterGuard(const FilterGuard &) = delete;
    FilterGuard &operator=(const FilterGuard &) = delete;

private:
    data::Table &m_table;
};

// Replaces each entry by a field of the row that the lookup finds; an entry
// that is not found, or whose lookup fails, is dropped.
template <typename Lookup>
void translateEntries(StringList &list, Lookup lookup)
{
    int i = 0;
    while (i < list.count()) {
        std::optional<QString> replacement;
        try {
            replacement = lookup(list.strings(i));
        } catch (const platform::Error &) {
            replacement.reset();
        }
        if (replacement) {
            list.setString(i, *replacement);
            ++i;
        } else {
            list.remove(i);
        }
    }
}
} // namespace

TfrmMain::TfrmMain(QWidget *parent)
    // Single fixed border with a system menu and a minimise box.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmMain>())
{
    ui->setupUi(this);
    gbDateRange = ui->gbDateRange;
    meFrom = ui->meFrom;
    meTo = ui->meTo;
    gbFunds = ui->gbFunds;
    rbAllFunds = ui->rbAllFunds;
    rbSelectedFunds = ui->rbSelectedFunds;
    btnSelectFunds = ui->btnSelectFunds;
    gbSynods = ui->gbSynods;
    rbAllSynods = ui->rbAllSynods;
    rbSelectedSynods = ui->rbSelectedSynods;
    rbPeople = ui->rbPeople;
    btnSelectSynods = ui->btnSelectSynods;
    GroupBox1 = ui->GroupBox1;
    cbField = ui->cbField;
    pnlButtons = ui->pnlButtons;
    btnExport = ui->btnExport;
    btnExit = ui->btnExit;
    pb1 = ui->pb1;
    btnCancel = ui->btnCancel;
    Label1 = ui->Label1;
    lblSimpleText = ui->lblSimpleText;

    setFixedSize(323, 325);
    // The form file gives points; the suite's forms are laid out in pixels.
    setFont(PixelFont(QStringLiteral("Tahoma"), 11));
    lblSimpleText->setWordWrap(false);
    pb1->setMaximum(100);
    pb1->setValue(0);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    bindTable(tbOrg, data::catalogue::kOrganizations);
    bindTable(tblOrgLevel, data::catalogue::kOrgLevels, data::catalogue::kByParentID);
    bindTable(tblFld, data::catalogue::kFieldDescriptions);
    bindTable(tbCBTabl, data::catalogue::kFunds);
    bindTable(tbCBDet1, data::catalogue::kGifts, data::catalogue::kCBTax);
    bindTable(tblPeople, data::catalogue::kPeople);
    bindTable(tblRpt, data::catalogue::kReports);
    bindTable(tbExtractTable, data::catalogue::kExtractTable);

    auto guardedSlot = [this](void (TfrmMain::*handler)()) {
        return [this, handler] { platform::guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(btnExit, &QPushButton::clicked, this, guardedSlot(&TfrmMain::btnExitClick));
    connect(btnCancel, &QPushButton::clicked, this, guardedSlot(&TfrmMain::btnCancelClick));
    connect(btnExport, &QPushButton::clicked, this, guardedSlot(&TfrmMain::btnExportClick));
    connect(btnSelectFunds, &QPushButton::clicked, this,
            guardedSlot(&TfrmMain::btnSelectFundsClick));
    connect(btnSelectSynods, &QPushButton::clicked, this,
            guardedSlot(&TfrmMain::btnSelectSynodsClick));
    for (QRadioButton *rb : {rbAllFunds, rbSelectedFunds})
        connect(rb, &QRadioButton::toggled, this, guardedSlot(&TfrmMain::FundsSelect));
    for (QRadioButton *rb : {rbAllSynods, rbSelectedSynods, rbPeople})
        connect(rb, &QRadioButton::toggled, this, guardedSlot(&TfrmMain::SynodsSelect));

    // Key preview: the window sees every key before the control with the focus.
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);

    platform::guarded([this] { FormCreate(); });
}

TfrmMain::~TfrmMain()
{
    platform::guarded([this] { FormDestroy(); });
    freeOrganizations();
}

QString TfrmMain::GetSetting(int line, const QString &def) const
{
    if (!SettingsLines || line < 0 || line >= SettingsLines->size())
        return def;
    return SettingsLines->at(line);
}

void TfrmMain::SetUpExtractTable()
{
    if (tbExtractTable.active())
        tbExtractTable.close();
    if (tbExtractTable.exists())
        tbExtractTable.deleteTable();
    tbExtractTable.setIndexName(QString());
    tbExtractTable.createTable(data::catalogue::extractTable());
    tbExtractTable.open();
}

void TfrmMain::RemoveExtractTable()
{
    tbExtractTable.close();
    if (tbExtractTable.exists())
        tbExtractTable.deleteTable();
}

void TfrmMain::FormCreate()
{
    // 1. The working lists are members: empty.
    // 2. A fresh extract table.
    SetUpExtractTable();
    // 3.
    tbOrg.open();
    // 4. The previous calendar month.
    const auto [from, to] = DefaultDateRange(platform::today());
    meFrom->setDate(from);
    meTo->setDate(to);
    // 5. The bottom organisation level: the last level in byParentID order.
    std::optional<qint32> bottomLevel;
    tblOrgLevel.open();
    tblOrgLevel.last();
    if (tblOrgLevel.recordCount() > 0)
        bottomLevel = tblOrgLevel.fieldByName(QStringLiteral("LevelID")).asInteger();
    tblOrgLevel.close();
    // 6. Every organisation above the bottom level, all of them chosen. With
    // no levels at all there is no bottom level to leave out.
    {
        FilterGuard guard(tbOrg);
        if (bottomLevel) {
            tbOrg.setFilter(QStringLiteral("LevelID<>%1").arg(*bottomLevel));
            tbOrg.setFiltered(true);
        }
        tbOrg.first();
        while (!tbOrg.eof()) {
            const qint32 id = tbOrg.fieldByName(QStringLiteral("OrgID")).asInteger();
            const QString name = tbOrg.fieldByName(QStringLiteral("Name")).asString();
            FOrganizations.add(name, new TTypeRecord(id, name));
            FSelectedSynods.add(name);
            tbOrg.next();
        }
    }
    // 7. The seven organisation fields that can carry the VUVE number.
    cbField->clear();
    cbField->addItem(QStringLiteral("PIN"));
    cbField->addItem(QStringLiteral("Envelope Number"));
    tblFld.open();
    for (qint32 k = 217; k <= 221; ++k) {
        tblFld.findKey({k});   // a missing key leaves the table where it stood
        cbField->addItem(tblFld.fieldByName(QStringLiteral("Description")).asString());
    }
    tblFld.close();
    cbField->setCurrentIndex(-1);
    // 8. The settings record.
    SettingsLines = QStringList();
    if (!tblRpt.active())
        tblRpt.open();
    if (tblRpt.findKey({kSettingsId})) {
        // 9.1
        FSelectedSynods.clear();
        SettingsLines = tblRpt.fieldByName(QStringLiteral("ReportInformation")).memoLines();
        // 9.2
        switch (ContributorsFromLine(GetSetting(0, QStringLiteral("2")))) {
        case ContributorsChoice::AllSynods:
            rbAllSynods->setChecked(true);
            break;
        case ContributorsChoice::SelectedSynods:
            rbSelectedSynods->setChecked(true);
            break;
        case ContributorsChoice::People:
            rbPeople->setChecked(true);
            break;
        }
        // 9.3
        FSelectedSynods.setTexts(ReadCommaText(GetSetting(1, QString())));
        // 9.4
        if (AllFundsFromLine(GetSetting(2, QStringLiteral("1"))))
            rbAllFunds->setChecked(true);
        else
            rbSelectedFunds->setChecked(true);
        // 9.5
        FSelectedFunds.setTexts(ReadCommaText(GetSetting(3, QString())));
        // 9.6
        if (rbPeople->isChecked()) {
            cbField->setEnabled(false);
            cbField->setCurrentIndex(1);
        } else {
            cbField->setEnabled(true);
            cbField->setCurrentIndex(VuveItemFromLine(GetSetting(4, QStringLiteral("0"))));
        }
        // 9.7 Stored organisation ids back to names; stale ids are dropped.
        translateEntries(FSelectedSynods, [this](const QString &id) -> std::optional<QString> {
            if (!tbOrg.findKey({id}))
                return std::nullopt;
            return tbOrg.fieldByName(QStringLiteral("Name")).asString();
        });
        // 9.8 Stored fund numbers back to descriptions.
        if (!tbCBTabl.active())
            tbCBTabl.open();
        translateEntries(FSelectedFunds, [this](const QString &number) -> std::optional<QString> {
            if (!tbCBTabl.findKey({number}))
                return std::nullopt;
            return tbCBTabl.fieldByName(QStringLiteral("Fund_Description")).asString();
        });
    }
    // 10.
    btnSelectFunds->setEnabled(rbSelectedFunds->isChecked());
    btnSelectSynods->setEnabled(rbSelectedSynods->isChecked());
}

void TfrmMain::saveSettings()
{
    // Written once: a second close must not read ids as names.
    if (m_saved)
        return;
    m_saved = true;
    bool posted = false;
    try {
        if (!SettingsLines)
            throw platform::Error(QStringLiteral("The settings were never read."));
        // 1. Synod names to ids: the first organisation of that name.
        translateEntries(FSelectedSynods, [this](const QString &name) -> std::optional<QString> {
            if (!tbOrg.locate(QStringLiteral("Name"), name, true))
                return std::nullopt;
            return QString::number(tbOrg.fieldByName(QStringLiteral("OrgID")).asInteger());
        });
        // 2. Fund descriptions to numbers.
        if (!tbCBTabl.active())
            tbCBTabl.open();
        translateEntries(FSelectedFunds, [this](const QString &description) -> std::optional<QString> {
            if (!tbCBTabl.locate(QStringLiteral("Fund_Description"), description, true))
                return std::nullopt;
            return QString::number(tbCBTabl.fieldByName(QStringLiteral("Fund_Number")).asInteger());
        });
        // 3.
        QStringList &lines = *SettingsLines;
        lines.clear();
        lines.append(rbAllSynods->isChecked()        ? QStringLiteral("0")
                     : rbSelectedSynods->isChecked() ? QStringLiteral("1")
                                                     : QStringLiteral("2"));
        lines.append(CommaText(FSelectedSynods.texts()));
        lines.append(rbAllFunds->isChecked() ? QStringLiteral("1") : QStringLiteral("2"));
        lines.append(CommaText(FSelectedFunds.texts()));
        lines.append(QString::number(cbField->currentIndex()));
        if (!tblRpt.active())
            tblRpt.open();
        if (tblRpt.findKey({kSettingsId})) {
            tblRpt.edit();
        } else {
            tblRpt.insert();
            tblRpt.fieldByName(QStringLiteral("ID")).setAsInteger(kSettingsId);
            tblRpt.fieldByName(QStringLiteral("Level")).setAsInteger(0);
            tblRpt.fieldByName(QStringLiteral("ReportName")).setAsString(QStringLiteral("Tallyport"));
        }
        // Every line ends with CR LF, the last one too.
        tblRpt.fieldByName(QStringLiteral("ReportInformation")).setMemoLines(lines);
        tblRpt.post();
        posted = true;
    } catch (const std::exception &) {
        // The record keeps its former content: drop the unposted change.
        try {
            if (tblRpt.active() && tblRpt.state() != data::TableState::Browse)
                tblRpt.cancel();
        } catch (const std::exception &) {
        }
    }
    if (!posted)
        platform::showMessage(platform::MessageKind::Plain, QStringLiteral("Tallyport"),
                              QStringLiteral("Cound Not Save Report."), platform::MessageButton::Ok);
    // 4.
    try {
        tblRpt.close();
    } catch (const std::exception &) {
    }
    SettingsLines.reset();
}

void TfrmMain::FormCloseQuery(bool &CanClose)
{
    saveSettings();
    // 5. The close is never refused.
    CanClose = true;
}

void TfrmMain::freeOrganizations()
{
    for (const StringList::Entry &e : FOrganizations.entries())
        delete e.object;
    FOrganizations.clear();
}

void TfrmMain::FormDestroy()
{
    FSelectedFunds.clear();
    freeOrganizations();
    FSelectedSynods.clear();
    tbCBDet1.close();
    tbOrg.close();
    tbCBTabl.close();
    if (tblPeople.active())
        tblPeople.close();
    RemoveExtractTable();
}

void TfrmMain::FormKeyPress(QChar &Key)
{
    if (Key == QChar(13)) {
        Key = QChar(0);
        focusNextChild();
    }
}

void TfrmMain::btnExitClick()
{
    close();
}

void TfrmMain::btnCancelClick()
{
    ProgramCancelFlag().set();
}

void TfrmMain::FundsSelect()
{
    btnSelectFunds->setEnabled(rbSelectedFunds->isChecked());
}

void TfrmMain::SynodsSelect()
{
    btnSelectSynods->setEnabled(rbSelectedSynods->isChecked());
    if (rbPeople->isChecked()) {
        cbField->setEnabled(false);
        cbField->setCurrentIndex(1);
    } else {
        cbField->setEnabled(true);
    }
}

void TfrmMain::btnSelectFundsClick()
{
    ShowFundSelection(-1, FSelectedFunds);
}

void TfrmMain::btnSelectSynodsClick()
{
    ShowSelection(QStringLiteral("Synods"), FOrganizations.count(), false, FOrganizations,
                  FSelectedSynods, 0);
}

void TfrmMain::btnExportClick()
{
    // The extract builder and the export driver come with the export itself.
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    platform::guarded([&] { FormCloseQuery(canClose); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent *>(event)->key())) {
        auto *w = qobject_cast<QWidget *>(watched);
        // Drop-downs are windows of their own and keep their Enter.
        if (w && w->window() == this) {
            // Enter presses a focused push button, as the system does.
            if (auto *button = qobject_cast<QPushButton *>(w)) {
                button->click();
                return true;
            }
            QChar key(13);
            platform::guarded([&] { FormKeyPress(key); });
            return key.isNull();
        }
    }
    return QWidget::eventFilter(watched, event);
}
