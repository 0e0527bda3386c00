#include "data/Catalogue.h"

#include "data/Engine.h"

namespace data::catalogue {

namespace {

FieldDef text(const QString &name, int size, bool required = false)
{
    return FieldDef{name, FieldType::String, size, required};
}

FieldDef typed(const QString &name, FieldType type, bool required = false)
{
    return FieldDef{name, type, 0, required};
}

FieldDef integer(const QString &name, bool required = false)
{
    return typed(name, FieldType::Integer, required);
}

IndexDef primary(const QStringList &fields)
{
    IndexDef index;
    index.fields = fields;
    index.primary = true;
    index.unique = true;
    return index;
}

IndexDef secondary(const QString &name, const QStringList &fields, bool caseInsensitive = false,
                   bool unique = false)
{
    IndexDef index;
    index.name = name;
    index.fields = fields;
    index.unique = unique;
    index.caseInsensitive = caseInsensitive;
    return index;
}

TableDef tableDef(const QString &name, const QList<FieldDef> &fields, const QList<IndexDef> &indexes)
{
    TableDef def;
    def.name = name;
    def.fields = fields;
    def.indexes = indexes;
    return def;
}

TableDef makeUsers()
{
    return tableDef(QString::fromLatin1(kUsers),
                    {integer(QStringLiteral("UserID"), true),
                     text(QStringLiteral("UserName"), 30, true),
                     text(QStringLiteral("Password"), 30),
                     text(QStringLiteral("FullName"), 60),
                     text(QStringLiteral("Email"), 80),
                     typed(QStringLiteral("Active"), FieldType::Boolean),
                     typed(QStringLiteral("LastLogin"), FieldType::DateTime)},
                    {primary({QStringLiteral("UserID")}),
                     // the login searches with the lower-cased typed name
                     secondary(QString::fromLatin1(kByUserName), {QStringLiteral("UserName")}, true)});
}

TableDef makePermissions()
{
    return tableDef(QString::fromLatin1(kPermissions),
                    {integer(QStringLiteral("UserID"), true),
                     integer(QStringLiteral("Permission"), true),
                     integer(QStringLiteral("Value"))},
                    {primary({QStringLiteral("UserID"), QStringLiteral("Permission")})});
}

TableDef makeOrganizations()
{
    return tableDef(QString::fromLatin1(kOrganizations),
                    {integer(QStringLiteral("OrgID"), true),
                     text(QStringLiteral("Name"), 60),
                     integer(QStringLiteral("LevelID")),
                     integer(QStringLiteral("ParentID")),
                     text(QStringLiteral("Pin"), 20),
                     text(QStringLiteral("EnvNbr"), 20),
                     text(QStringLiteral("Field1"), 40),
                     text(QStringLiteral("Field2"), 40),
                     text(QStringLiteral("Field3"), 40),
                     text(QStringLiteral("Field4"), 40),
                     text(QStringLiteral("Field5"), 40),
                     text(QStringLiteral("Family_Number"), 20),
                     text(QStringLiteral("City"), 40),
                     text(QStringLiteral("Phone"), 20)},
                    {primary({QStringLiteral("OrgID")}),
                     secondary(QStringLiteral("byName"), {QStringLiteral("Name")}, true)});
}

TableDef makeOrgLevels()
{
    return tableDef(QString::fromLatin1(kOrgLevels),
                    {integer(QStringLiteral("LevelID"), true),
                     integer(QStringLiteral("ParentID")),
                     text(QStringLiteral("Description"), 40)},
                    {primary({QStringLiteral("LevelID")}),
                     // the last record in this order is the bottom level
                     secondary(QString::fromLatin1(kByParentID),
                               {QStringLiteral("ParentID"), QStringLiteral("LevelID")})});
}

TableDef makeFieldDescriptions()
{
    return tableDef(QString::fromLatin1(kFieldDescriptions),
                    {integer(QStringLiteral("FieldID"), true),
                     text(QStringLiteral("Description"), 40),
                     text(QStringLiteral("TableName"), 20)},
                    {primary({QStringLiteral("FieldID")})});
}

TableDef makeFunds()
{
    return tableDef(QString::fromLatin1(kFunds),
                    {integer(QStringLiteral("Fund_Number"), true),
                     text(QStringLiteral("Fund_Code"), 10),
                     text(QStringLiteral("Fund_Description"), 50),
                     text(QStringLiteral("GL_Account"), 20),
                     typed(QStringLiteral("Tax_Deductible"), FieldType::Boolean)},
                    {primary({QStringLiteral("Fund_Number")}),
                     secondary(QStringLiteral("byFundCode"), {QStringLiteral("Fund_Code")}, true)});
}

TableDef makeGifts()
{
    return tableDef(QString::fromLatin1(kGifts),
                    {integer(QStringLiteral("Detail_ID"), true),
                     text(QStringLiteral("Family_Number"), 20, true),
                     integer(QStringLiteral("Individual_Number"), true),
                     typed(QStringLiteral("Posted_Date"), FieldType::Date, true),
                     integer(QStringLiteral("Batch_Number")),
                     integer(QStringLiteral("Fund_Number")),
                     typed(QStringLiteral("Fund_Amount"), FieldType::Currency),
                     text(QStringLiteral("Posted_Flag"), 1),
                     text(QStringLiteral("Check_Number"), 15),
                     text(QStringLiteral("Memo"), 40)},
                    {primary({QStringLiteral("Detail_ID")}),
                     // one contributor's gifts by date; the line id keeps the key unique
                     secondary(QString::fromLatin1(kCBTax),
                               {QStringLiteral("Family_Number"), QStringLiteral("Individual_Number"),
                                QStringLiteral("Posted_Date"), QStringLiteral("Detail_ID")},
                               false, true)});
}

TableDef makePeople()
{
    return tableDef(QString::fromLatin1(kPeople),
                    {text(QStringLiteral("Family_Number"), 20, true),
                     integer(QStringLiteral("Individual_Number"), true),
                     text(QStringLiteral("Envelope_Number"), 20),
                     text(QStringLiteral("First_Name"), 30),
                     text(QStringLiteral("Last_Name"), 40),
                     typed(QStringLiteral("Birth_Date"), FieldType::Date),
                     text(QStringLiteral("Email"), 80)},
                    {primary({QStringLiteral("Family_Number"), QStringLiteral("Individual_Number")}),
                     secondary(QStringLiteral("byName"),
                               {QStringLiteral("Last_Name"), QStringLiteral("First_Name")}, true)});
}

TableDef makeReports()
{
    return tableDef(QString::fromLatin1(kReports),
                    {integer(QStringLiteral("ID"), true),
                     integer(QStringLiteral("Level")),
                     text(QStringLiteral("ReportName"), 55),
                     typed(QStringLiteral("ReportInformation"), FieldType::Memo)},
                    {primary({QStringLiteral("ID")})});
}

TableDef makeExtractTable()
{
    IndexDef sortIndex = secondary(QString::fromLatin1(kSortIndex),
                                   {QStringLiteral("Congregation ID"), QStringLiteral("Gift Date"),
                                    QStringLiteral("Project Description")},
                                   true);
    return tableDef(QString::fromLatin1(kExtractTable),
                    {typed(QStringLiteral("Record_ID"), FieldType::AutoInc),
                     text(QStringLiteral("Congregation ID"), 30),
                     text(QStringLiteral("Project Description"), 25),
                     typed(QStringLiteral("Gift Date"), FieldType::Date),
                     typed(QStringLiteral("Gift Amount"), FieldType::Currency)},
                    {primary({QStringLiteral("Record_ID")}), sortIndex});
}

struct Definitions {
    QList<TableDef> suite{makeUsers(),          makePermissions(), makeOrganizations(),
                          makeOrgLevels(),      makeFieldDescriptions(), makeFunds(),
                          makeGifts(),          makePeople(),       makeReports()};
    TableDef extract = makeExtractTable();
};

const Definitions &definitions()
{
    static const Definitions defs;
    return defs;
}

} // namespace

const TableDef &awusrmst() { return definitions().suite.at(0); }
const TableDef &awusrpfl() { return definitions().suite.at(1); }
const TableDef &aworname() { return definitions().suite.at(2); }
const TableDef &aworlvl() { return definitions().suite.at(3); }
const TableDef &awgeflds() { return definitions().suite.at(4); }
const TableDef &awcbtabl() { return definitions().suite.at(5); }
const TableDef &awcbdet1() { return definitions().suite.at(6); }
const TableDef &awpeindv() { return definitions().suite.at(7); }
const TableDef &awgerpt() { return definitions().suite.at(8); }
const TableDef &extractTable() { return definitions().extract; }

const QList<TableDef> &suiteTables() { return definitions().suite; }

const TableDef *findTable(const QString &name)
{
    for (const TableDef &def : definitions().suite) {
        if (def.name.compare(name, Qt::CaseInsensitive) == 0)
            return &def;
    }
    if (definitions().extract.name.compare(name, Qt::CaseInsensitive) == 0)
        return &definitions().extract;
    return nullptr;
}

const TableDef &table(const QString &name)
{
    if (const TableDef *def = findTable(name))
        return *def;
    throw EngineError(QStringLiteral("Table %1 is not in the table catalogue").arg(name));
}

} // namespace data::catalogue
