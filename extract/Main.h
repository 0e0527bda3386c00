#pragma once

// Unit Main: the tool's main window. It holds the choices of an export (date
// range, funds, contributors, the organisation field that carries the VUVE
// number), restores them from the settings record when it opens and saves
// them there when it closes.

#include "data/Table.h"
#include "dialogs/StringList.h"
#include "extract/CancelFlag.h"
#include "writers/ExtractObject.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TfrmMain;
}
class CaptionGroupBox;
class DateEdit;
class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

// An organisation of the organisation list: its id and name.
class TTypeRecord : public ListObject {
public:
    TTypeRecord(qint32 orgId, const QString &name) : OrgID(orgId), Name(name) {}
    qint32 OrgID;
    QString Name;
};

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // The row of awgerpt that holds the saved choices.
    static constexpr qint32 kSettingsId = 20003;

    // Creating the window runs FormCreate; a failure in it is shown in the
    // "Tallyport" error box and the window is created all the same.
    explicit TfrmMain(QWidget *parent = nullptr);
    // Runs FormDestroy: closes the tables and deletes the extract table.
    ~TfrmMain() override;

    // Controls, under their form names.
    CaptionGroupBox *gbDateRange = nullptr;
    DateEdit *meFrom = nullptr;
    DateEdit *meTo = nullptr;
    CaptionGroupBox *gbFunds = nullptr;
    QRadioButton *rbAllFunds = nullptr;
    QRadioButton *rbSelectedFunds = nullptr;
    QPushButton *btnSelectFunds = nullptr;
    CaptionGroupBox *gbSynods = nullptr;
    QRadioButton *rbAllSynods = nullptr;
    QRadioButton *rbSelectedSynods = nullptr;
    QRadioButton *rbPeople = nullptr;
    QPushButton *btnSelectSynods = nullptr;
    CaptionGroupBox *GroupBox1 = nullptr;
    QComboBox *cbField = nullptr;
    QFrame *pnlButtons = nullptr;
    QPushButton *btnExport = nullptr;
    QPushButton *btnExit = nullptr;
    QProgressBar *pb1 = nullptr;
    QPushButton *btnCancel = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblSimpleText = nullptr;

    // Table components, all through ZEL_DATA.
    data::Table tbOrg;            // aworname, primary index
    data::Table tblOrgLevel;      // aworlvl, byParentID
    data::Table tblFld;           // awgeflds, primary index
    data::Table tbCBTabl;         // AWCBTABL, primary index
    data::Table tbCBDet1;         // AWCBDET1, CBTax
    data::Table tblPeople;        // awpeindv, primary index
    data::Table tblRpt;           // awgerpt, primary index
    data::Table tbExtractTable;   // ExtractTable

    // Working lists. FOrganizations owns its TTypeRecord objects.
    StringList FOrganizations;
    StringList FSelectedSynods;
    StringList FSelectedFunds;

    // The lines of the settings record, from FormCreate until the settings
    // are saved; absent before FormCreate got as far as reading them.
    std::optional<QStringList> SettingsLines;

    // One settings line, or the default when there is no such line.
    QString GetSetting(int line, const QString &def) const;

    // Handlers under their form names.
    void FormCreate();
    void FormCloseQuery(bool &CanClose);
    void FormDestroy();
    void FormKeyPress(QChar &Key);
    void btnExitClick();
    void btnCancelClick();
    void FundsSelect();
    void SynodsSelect();
    void btnSelectFundsClick();
    void btnSelectSynodsClick();
    void btnExportClick();

    // The export, step by step (btnExportClick runs them in this order).
    // Empties the extract table, selects Sort_Index, re-reads the gift and
    // fund tables and takes the funds into memory for the builder.
    void PrepareExport();
    // PrepareExport, then the builder of the chosen contributors, all in one
    // transaction on the extract table.
    void BuildExtract();
    void BuildFromOrganizations();
    void BuildFromPeople();
    void AddGiftsForContributor(const QString &familyNumber, const QString &congregationId,
                                qint32 individualNumber);
    // The export column list: every extract field after Record_ID.
    TExtractList ExtractColumns();
    // The save dialog and the writer of the chosen type; true when the
    // export was not cancelled. A failed write is raised after the dialog
    // is gone.
    bool DeliverExtract(const TExtractList &columns, data::Table &table);
    // Writes the table with the writer of a file type of the save dialog.
    void WriteExtract(int fileType, const QString &fileName, const TExtractList &columns,
                      data::Table &table);

    // The project code of a fund, cut to the extract's 25 characters.
    static QString ProjectCode(const QString &fundCode, const QString &fundDescription);
    // The aworname field that carries the congregation id for a cbField item.
    static QString CongregationField(int cbFieldIndex);

    // Runs before each contributor row of the builder and each record of the
    // writers: moves the progress bar and, every few milliseconds, lets the
    // window process its pending messages. Tests put their own hook here.
    std::function<void()> uiHook;
    // What the hook does when it is time: shows the progress, gives back the
    // read lock the builder keeps on the gifts (so the suite can write
    // them) and processes the pending messages.
    void serviceWindow();
    // True while btnExportClick runs: then only Cancel acts.
    bool exporting() const { return m_exporting; }

    struct GiftFields;

    // The extract table: created empty and open in primary order when the
    // window opens (any table of that name left behind is deleted first);
    // closed and deleted when it is destroyed.
    void SetUpExtractTable();
    void RemoveExtractTable();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void freeOrganizations();
    void saveSettings();
    void stepProgress();

    struct FundRow {
        QString description;
        QString projectCode;
        bool selected = true;
    };

    std::unique_ptr<Ui::TfrmMain> ui;
    bool m_saved = false;
    bool m_exporting = false;
    // The funds of the running export, by Fund_Number.
    QHash<qint32, FundRow> m_funds;
    // Progress waiting to be shown by the UI hook (the writers report per row).
    int m_pendingProgress = -1;
    bool m_building = false;   // the builder runs: the hook looks at the clock on every call
    std::unique_ptr<GiftFields> m_giftFields;
};
