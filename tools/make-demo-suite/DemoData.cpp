#include "DemoData.h"

namespace demodata {

namespace {

QStringList utf8List(std::initializer_list<const char *> items)
{
    QStringList list;
    list.reserve(int(items.size()));
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

} // namespace

const QList<FundRow> &funds()
{
    static const QList<FundRow> rows{
        {1, "GF", "General Fund", true},
        {2, "BLDG001", "Building Fund - 42", true},           // seven-character code wins over the hyphen
        {3, "310", "Roof Repair - 42", true},
        {4, "420", "Youth Camp-2025", true},                  // hyphen first of the four before the last
        {5, "430", "Pre-K", true},                            // hyphen just before the last character
        {6, "500", "Missions - 1234567", true},
        {7, "510", "Bible Camp-2024 fund", true},             // hyphen first of the nine before the last
        {8, "520", "Disaster Relief-Haiti", true},            // hyphen fifth from the end
        {9, "610", "Food Bank - Emergency", true},            // hyphen tenth from the end: no part of either window
        {10, "620", "Benevolence -", true},                   // hyphen only as the last character
        {11, "730", "K-12", true},                            // too short for either window
        {12, "820", "Re-Entry", true},                        // hyphen outside the four, too short for the nine
        {13, "100", "Sunday School", true},
        {14, "", "Miscellaneous", true},
        {15, "MSN2024", "World Missions", true},
        {16, "YM", "Youth Ministry", true},
        {17, "FLWR", "Altar Flowers", false},
        {18, "MUSIC1", "Music Ministry", true},
        {19, "ORGANFND", "Organ Restoration - 08", true},
        {20, "220", "Women's Guild & Altar Society", true},
        {21, "230", "\"Loaves & Fishes\" Meal Program", true},
        {22, "240", "Bread for the World, Inc.", true},
        {23, "250", "Missão São Paulo - 77", true},
        {24, "260", "Église Saint-Étienne", true},
        {25, "270", "Kirchbau Zürich – 2026", true},           // an en dash, not a hyphen
        {26, "280", "Lenten Offering", true},
        {27, "290", "Christmas Offering", true},
        {28, "300", "Easter Lilies", false},
        {29, "340", "Seminary Support - B", true},
        {30, "350", "Capital Campaign 2024-26", true},
    };
    return rows;
}

const QList<int> &missingFundNumbers()
{
    static const QList<int> numbers{31, 45};
    return numbers;
}

const QStringList &firstNames()
{
    static const QStringList names = utf8List({
        "Mary", "John", "Patricia", "James", "Linda", "Robert", "Barbara", "Michael", "Elizabeth",
        "William", "Jennifer", "David", "Susan", "Richard", "Margaret", "Thomas", "Dorothy", "Charles",
        "Karen", "Daniel", "Nancy", "Paul", "Betty", "Mark", "Ruth", "Peter", "Helen", "Andrew",
        "Anna", "Joseph", "Grace", "Samuel", "Esther", "Matthias", "Ingrid", "Lars", "Zoë", "René",
        "Chloé", "Jürgen", "Søren", "Inês", "José", "Noémie", "Björn", "Åsa", "Łukasz", "Siobhán",
    });
    return names;
}

const QStringList &lastNames()
{
    static const QStringList names = utf8List({
        "Smith", "Johnson", "Williams", "Brown", "Jones", "Miller", "Davis", "Wilson", "Anderson",
        "Taylor", "Thomas", "Moore", "Martin", "Jackson", "Thompson", "White", "Harris", "Clark",
        "Lewis", "Robinson", "Walker", "Young", "Allen", "King", "Wright", "Scott", "Hill", "Green",
        "Adams", "Baker", "Nelson", "Carter", "Mitchell", "Roberts", "Campbell", "Olson", "Larson",
        "Hansen", "Peterson", "Johansson", "Schmidt", "Müller", "Schäfer", "Weiß", "Núñez",
        "O'Brien", "O'Neil", "Van der Berg", "Dvořák", "Østergaard", "Lefèvre", "García",
    });
    return names;
}

const QStringList &churchNames()
{
    static const QStringList names = utf8List({
        "Grace Lutheran Church", "Trinity Church", "Zion Church", "Bethlehem Lutheran Church",
        "St. Paul's Church", "Emmanuel Church", "Holy Cross Church", "Good Shepherd Church",
        "Our Saviour's Church", "Peace Lutheran Church", "Hope Church", "Faith Church",
        "Christ the King Church", "Redeemer Church", "St. Mark's Church", "St. Luke's Church",
        "St. Matthew's Church", "Bethany Church", "Calvary Church", "Messiah Church",
        "Resurrection Church", "All Saints Church", "St. Andrew's Church", "St. Peter's Church",
        "Immanuel Church", "Shepherd of the Hills", "Gethsemane Church", "Salem Church",
        "Nazareth Church", "Mount Olive Church", "St. Stephen's Church", "Ascension Church",
        "St. Timothy's Church", "Epiphany Church", "Advent Church", "St. John's Church",
    });
    return names;
}

const QStringList &places()
{
    static const QStringList names = utf8List({
        "Springfield", "Riverton", "Oakdale", "Millbrook", "Fairview", "Lakeside", "Cedar Falls",
        "Greenville", "Ashford", "Brookhaven", "Maplewood", "Kingsport", "Clearwater", "Elmira",
        "Northfield", "Westbury", "Pine Ridge", "Stony Brook", "Harbor City", "Hillsdale",
        "Bridgeton", "Marston", "Saint-Rémi", "Neuchâtel", "Göteborg", "Ålesund", "Lindenau",
        "Wexford", "Coeur d'Alene", "Orléans",
    });
    return names;
}

const QStringList &synodNames()
{
    static const QStringList names = utf8List({
        "Northern Synod", "Southern Synod", "Eastern Synod", "Western Synod", "Central Synod",
        "Coastal Synod", "Mountain Synod", "Lakes Synod", "Prairie Synod", "River Valley Synod",
        "Highlands Synod", "Île-de-France Synod",
    });
    return names;
}

} // namespace demodata
