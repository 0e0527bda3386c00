#include "extract/Main.h"

#include "ui_Main.h"

#include "controls/CaptionGroupBox.h"
#include "controls/DateEdit.h"
#include "controls/FormFonts.h"
#include "data/Catalogue.h"
#include "dialogs/CustDualList.h"
#include "dialogs/DualList.h"
#include "extract/SettingsLines.h"
#include "extract/DirectoryList.h"
#include "extract/rptExtracts.h"
#include "platform/Application.h"
#include "platform/MessageHost.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "writers/CommaDelimited.h"
#include "writers/ExportContext.h"
#include "writers/FixedLength.h"
#include "writers/Html.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
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
    // The extract is ours alone and rebuilt at every export: no syncing, and
    // a page cache big enough for the writers' walk in Sort_Index order.
    tbExtractTable.setScratch(true);

    // Before each record of a long loop: show the progress and, every few
    // milliseconds only, let the window process its messages (a Cancel
    // click among them). Processing an idle queue on every row would cost
    // more than the row.
    uiHook = [this, sinceService = QElapsedTimer(), calls = 0u]() mutable {
        // Even the clock costs a writer's row a noticeable share: a writer
        // looks at it on every 32nd record only (ten or so microseconds
        // apart). The builder's contributors are far enough apart, and the
        // gifts' read lock waits for the servicing: it looks at each.
        if (!m_building && (++calls & 31u) != 1u && sinceService.isValid())
            return;
        if (sinceService.isValid() && sinceService.elapsed() < 5)
            return;
        serviceWindow();
        sinceService.start();
    };

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
    if (m_exporting)
        return;
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
    if (m_exporting)
        return;
    ShowFundSelection(-1, FSelectedFunds);
}

void TfrmMain::btnSelectSynodsClick()
{
    if (m_exporting)
        return;
    ShowSelection(QStringLiteral("Synods"), FOrganizations.count(), false, FOrganizations,
                  FSelectedSynods, 0);
}

// The fields the gift loop reads and writes, looked up once per export.
struct TfrmMain::GiftFields {
    data::Field *postedFlag = nullptr;
    data::Field *fundNumber = nullptr;
    data::Field *postedDate = nullptr;
    data::Field *fundAmount = nullptr;
    data::Field *congregationId = nullptr;
    data::Field *projectDescription = nullptr;
    data::Field *giftDate = nullptr;
    data::Field *giftAmount = nullptr;
};

namespace {

data::Field *boundField(data::Table &table, const char *name)
{
    const QString n = QString::fromLatin1(name);
    table.fieldByName(n);   // raises the engine's error naming a missing field
    return table.findField(n);
}

TfrmMain::GiftFields giftFields(data::Table &gifts, data::Table &extract)
{
    TfrmMain::GiftFields f;
    f.postedFlag = boundField(gifts, "Posted_Flag");
    f.fundNumber = boundField(gifts, "Fund_Number");
    f.postedDate = boundField(gifts, "Posted_Date");
    f.fundAmount = boundField(gifts, "Fund_Amount");
    f.congregationId = boundField(extract, "Congregation ID");
    f.projectDescription = boundField(extract, "Project Description");
    f.giftDate = boundField(extract, "Gift Date");
    f.giftAmount = boundField(extract, "Gift Amount");
    return f;
}

constexpr int kCongregationIdSize = 30;
constexpr int kProjectCodeSize = 25;

const QString kExtractComplete = QStringLiteral("Extract Complete");
const QString kExtractCanceled = QStringLiteral("Extract was Canceled.");
const QString kFileNotSaved = QStringLiteral("File not saved.");

void inform(const QString &text)
{
    platform::showMessage(platform::MessageKind::Information, platform::Application::title(), text,
                          platform::MessageButton::Ok);
}
} // namespace

QString TfrmMain::ProjectCode(const QString &fundCode, const QString &fundDescription)
{
    const qsizetype c = fundCode.size();
    const qsizetype l = fundDescription.size();
    const QChar hyphen(u'-');
    QString code;
    if (c == 2 || c == 7)
        code = fundCode;
    // The windows end before the description's last character.
    else if (l > 4 && fundDescription.mid(l - 5, 4).contains(hyphen))
        code = fundDescription.right(2);
    else if (l > 9 && fundDescription.mid(l - 10, 9).contains(hyphen))
        code = fundDescription.right(7);
    else
        code = fundCode;
    return code.left(kProjectCodeSize);
}

QString TfrmMain::CongregationField(int cbFieldIndex)
{
    switch (cbFieldIndex) {
    case 1: return QStringLiteral("EnvNbr");
    case 2: return QStringLiteral("Field1");
    case 3: return QStringLiteral("Field2");
    case 4: return QStringLiteral("Field3");
    case 5: return QStringLiteral("Field4");
    case 6: return QStringLiteral("Field5");
    default: return QStringLiteral("Pin");
    }
}

void TfrmMain::serviceWindow()
{
    if (m_pendingProgress >= 0 && pb1->value() != m_pendingProgress)
        pb1->setValue(std::min(m_pendingProgress, pb1->maximum()));
    tbCBDet1.releaseReadLock();
    QCoreApplication::processEvents();
}

void TfrmMain::stepProgress()
{
    ++m_pendingProgress;
    if (uiHook)
        uiHook();
}

void TfrmMain::PrepareExport()
{
    // 1. An empty extract in Sort_Index order.
    if (tbExtractTable.exists()) {
        tbExtractTable.close();
        tbExtractTable.emptyTable();
        tbExtractTable.setIndexName(QString::fromLatin1(data::catalogue::kSortIndex));
        tbExtractTable.open();
    }
    // 2. What other users of the suite changed since start-up.
    if (!tbCBDet1.active())
        tbCBDet1.open();
    tbCBDet1.refresh();
    if (!tbCBTabl.active())
        tbCBTabl.open();
    tbCBTabl.refresh();

    m_giftFields = std::make_unique<GiftFields>(giftFields(tbCBDet1, tbExtractTable));

    // The funds once into memory: a look-up per gift line then costs no query.
    m_funds.clear();
    const bool onlySelected = rbSelectedFunds->isChecked();
    data::Field number = tbCBTabl.fieldByName(QStringLiteral("Fund_Number"));
    data::Field code = tbCBTabl.fieldByName(QStringLiteral("Fund_Code"));
    data::Field description = tbCBTabl.fieldByName(QStringLiteral("Fund_Description"));
    tbCBTabl.first();
    while (!tbCBTabl.eof()) {
        FundRow fund;
        fund.description = description.asString();
        fund.projectCode = ProjectCode(code.asString(), fund.description);
        fund.selected = !onlySelected || FSelectedFunds.indexOf(fund.description) >= 0;
        m_funds.insert(number.asInteger(), fund);
        tbCBTabl.next();
    }
}

void TfrmMain::AddGiftsForContributor(const QString &familyNumber, const QString &congregationId,
                                      qint32 individualNumber)
{
    if (!m_giftFields)
        m_giftFields = std::make_unique<GiftFields>(giftFields(tbCBDet1, tbExtractTable));
    const GiftFields &f = *m_giftFields;
    CancelFlag &cancel = ProgramCancelFlag();
    const QString congregation = congregationId.left(kCongregationIdSize);
    // 1. One key-range seek on CBTax, both ends included.
    tbCBDet1.setRange({familyNumber, individualNumber, meFrom->date()},
                      {familyNumber, individualNumber, meTo->date()});
    tbCBDet1.first();
    // 2.
    while (!tbCBDet1.eof()) {
        if (cancel.isSet())
            return;
        if (f.postedFlag->asString() != QLatin1String("1")) {
            const auto fund = m_funds.constFind(f.fundNumber->asInteger());
            if (fund != m_funds.constEnd() && fund->selected) {
                // A row that cannot be stored ends the export with the failure:
                // dropping it would report an incomplete file as complete.
                try {
                    tbExtractTable.append();
                    f.congregationId->setAsString(congregation);
                    f.projectDescription->setAsString(fund->projectCode);
                    f.giftDate->setAsDate(f.postedDate->asDate());
                    if (f.fundAmount->isNull())
                        f.giftAmount->clear();
                    else
                        f.giftAmount->setAsCurrency(f.fundAmount->asCurrency());
                    tbExtractTable.post();
                } catch (...) {
                    if (tbExtractTable.state() != data::TableState::Browse)
                        tbExtractTable.cancel();
                    throw;
                }
            }
        }
        tbCBDet1.next();
    }
}

void TfrmMain::BuildFromOrganizations()
{
    CancelFlag &cancel = ProgramCancelFlag();
    // The ids of the selected synods, in list order. A name that is not in
    // the organisation list (a synod now on the bottom level) has no id to
    // compare and brings nobody in.
    const bool onlySelected = rbSelectedSynods->isChecked();
    QList<qint32> synodIds;
    if (onlySelected) {
        for (int i = 0; i < FSelectedSynods.count(); ++i) {
            const int at = FOrganizations.indexOf(FSelectedSynods.strings(i));
            if (at >= 0)
                if (auto *org = dynamic_cast<TTypeRecord *>(FOrganizations.objects(at)))
                    synodIds.append(org->OrgID);
        }
    }
    // 1.
    tbOrg.refresh();
    pb1->setMaximum(tbOrg.recordCount() + 1);
    tbOrg.first();
    const data::Field orgId = tbOrg.fieldByName(QStringLiteral("OrgID"));
    const data::Field parentId = tbOrg.fieldByName(QStringLiteral("ParentID"));
    const data::Field familyNumber = tbOrg.fieldByName(QStringLiteral("Family_Number"));
    const data::Field congregation = tbOrg.fieldByName(CongregationField(cbField->currentIndex()));
    // 2.
    while (!tbOrg.eof()) {
        if (cancel.isSet())
            return;
        stepProgress();
        if (cancel.isSet())
            return;
        if (onlySelected) {
            const qint32 own = orgId.asInteger();
            const qint32 parent = parentId.asInteger();
            bool belongs = false;
            for (qint32 id : std::as_const(synodIds)) {
                if (own == id || parent == id) {
                    belongs = true;
                    break;
                }
            }
            if (!belongs) {
                tbOrg.next();
                continue;
            }
        }
        // In the synod choices an organisation's gifts are those of its
        // family number under individual number 1.
        AddGiftsForContributor(familyNumber.asString(), congregation.asString(), 1);
        tbOrg.next();
    }
}

void TfrmMain::BuildFromPeople()
{
    CancelFlag &cancel = ProgramCancelFlag();
    // 1.
    if (!tblPeople.active())
        tblPeople.open();
    tblPeople.refresh();
    pb1->setMaximum(tblPeople.recordCount() + 1);
    tblPeople.first();
    const data::Field individual = tblPeople.fieldByName(QStringLiteral("Individual_Number"));
    const data::Field envelope = tblPeople.fieldByName(QStringLiteral("Envelope_Number"));
    const data::Field family = tblPeople.fieldByName(QStringLiteral("Family_Number"));
    // 2.
    while (!tblPeople.eof()) {
        if (cancel.isSet())
            return;
        stepProgress();
        if (cancel.isSet())
            return;
        AddGiftsForContributor(family.asString(), envelope.asString(), individual.asInteger());
        tblPeople.next();
    }
}

void TfrmMain::BuildExtract()
{
    PrepareExport();
    // One transaction for the whole extract: a commit per row would make a
    // large export take minutes. Rows appended before a Cancel stay.
    tbExtractTable.startTransaction();
    // A read lock on the gifts per contributor would cost a fifth of the
    // build: keep it from one servicing of the window to the next instead.
    tbCBDet1.setHoldReadLock(true);
    m_building = true;
    const auto unhold = qScopeGuard([this] {
        tbCBDet1.setHoldReadLock(false);
        m_building = false;
    });
    try {
        if (rbPeople->isChecked())
            BuildFromPeople();
        else
            BuildFromOrganizations();
        tbExtractTable.commit();
    } catch (...) {
        try {
            tbExtractTable.rollback();
        } catch (...) {
        }
        throw;
    }
}

TExtractList TfrmMain::ExtractColumns()
{
    TExtractList columns;
    for (int i = 1; i < tbExtractTable.fieldCount(); ++i)
        columns.append(TExtractObject{QString(), tbExtractTable.field(i).fieldName()});
    return columns;
}

void TfrmMain::WriteExtract(int fileType, const QString &fileName, const TExtractList &columns,
                            data::Table &table)
{
    ExportContext context(ProgramCancelFlag());
    context.beforeRecord = uiHook;
    context.progress = [this](int position, int maximum) {
        if (position == 0)
            pb1->setMaximum(std::max(maximum, 1));
        m_pendingProgress = position;
    };
    // The extract holds its read lock for the whole pass: reading on from
    // one statement costs half of seeking again for every batch, and another
    // copy of the tool cannot empty the table under the file being written.
    table.setHoldReadLock(true);
    const auto unhold = qScopeGuard([&table] { table.setHoldReadLock(false); });
    switch (fileType) {
    case 0:
        WriteCommaDelimited(fileName, columns, table, true, context);
        break;
    case 1:
        WriteFixedLength(fileName, columns, table, context);
        break;
    case 2:
        WriteHtml(fileName, columns, table, context);
        break;
    case 3:
        throw platform::Error(QStringLiteral(
            "The Excel workbook writer is not available yet. Nothing was written; "
            "choose another file type."));
    default:
        throw platform::Error(QStringLiteral("Unknown file type %1.").arg(fileType));
    }
}

bool TfrmMain::DeliverExtract(const TExtractList &columns, data::Table &table)
{
    CancelFlag &cancel = ProgramCancelFlag();
    // 1. Owned by nobody: a modal dialog of its own.
    auto dialog = std::make_unique<TfrmExtract>();
    const bool wasOpen = table.active();
    QString returnFolder;
    bool written = false;
    std::exception_ptr failure;
    // 2.
    try {
        if (!table.active())
            table.open();
        returnFolder = GetDefaultFolder();
        if (!returnFolder.isEmpty())
            dialog->dlbDirectory->setDirectory(returnFolder);
        dialog->ebFileName->setText(QStringLiteral("Untitled"));
        dialog->cbFileType->setCurrentIndex(dialog->cbFileType->count() - 1);
        if (dialog->exec() != QDialog::Accepted) {
            inform(kFileNotSaved);
            cancel.set();
        } else {
            const int fileType = dialog->cbFileType->currentIndex();
            const QString fileName = ComposeExtractFileName(dialog->dlbDirectory->directory(),
                                                            dialog->ebFileName->text(), fileType);
            WriteExtract(fileType, fileName, columns, table);
            written = true;
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // 3.
    if (!cancel.isSet() && written)
        inform(kExtractComplete);
    try {
        if (table.active() != wasOpen) {
            if (wasOpen)
                table.open();
            else
                table.close();
        }
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (cancel.isSet())
        inform(kExtractCanceled);
    const bool result = !cancel.isSet();
    if (!returnFolder.isEmpty())
        dialog->dlbDirectory->setDirectory(returnFolder);
    dialog.reset();
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

void TfrmMain::btnExportClick()
{
    if (m_exporting)
        return;
    CancelFlag &cancel = ProgramCancelFlag();
    // 1.-2.
    cancel.clear();
    m_exporting = true;
    lblSimpleText->setText(QStringLiteral("Building File"));
    btnCancel->show();
    pb1->show();
    pb1->setValue(0);
    m_pendingProgress = 0;
    // 3.
    TExtractList columns;
    // 5. However the export ends.
    auto cleanUp = [&] {
        pb1->setValue(0);
        pb1->hide();
        lblSimpleText->clear();
        btnCancel->hide();
        columns.clear();
        m_pendingProgress = -1;
        m_exporting = false;
    };
    // 4.
    try {
        BuildExtract();
        if (!cancel.isSet()) {
            lblSimpleText->setText(QStringLiteral("Creating Extract File"));
            columns = ExtractColumns();
            DeliverExtract(columns, tbExtractTable);
        }
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // The close box does nothing while an export runs; Cancel stops it.
    if (m_exporting) {
        event->ignore();
        return;
    }
    bool canClose = true;
    platform::guarded([&] { FormCloseQuery(canClose); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    // While an export runs only Cancel takes input: the choices must not
    // change under the builder, and Export or Exit must not re-enter it.
    if (m_exporting && watched != btnCancel) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::Wheel:
            if (auto *w = qobject_cast<QWidget *>(watched); w && w->window() == this)
                return true;
            break;
        default:
            break;
        }
    }
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
