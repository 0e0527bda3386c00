#include "controls/FormFonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QWidget>

namespace {
bool g_loaded = false;
QString g_family;

// Only the regular face: Wine's tahomabd.ttf has a character map that
// fontconfig cannot read, so Qt would draw bold text in a fallback family.
// Bold drawn from the regular face keeps Tahoma's shapes and widths.
QStringList defaultTahomaFiles()
{
    return {QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")};
}
} // namespace

QString LoadFormFonts(const QStringList &candidateFiles)
{
    if (g_loaded && candidateFiles.isEmpty())
        return g_family;
    const QStringList files = candidateFiles.isEmpty() ? defaultTahomaFiles() : candidateFiles;
    bool any = false;
    for (const QString &file : files) {
        if (!QFile::exists(file))
            continue;
        const int id = QFontDatabase::addApplicationFont(file);
        if (id < 0)
            continue;
        if (QFontDatabase::applicationFontFamilies(id).contains(QStringLiteral("Tahoma"),
                                                                Qt::CaseInsensitive))
            any = true;
    }
    g_loaded = any;
    if (any) {
        QFont::removeSubstitutions(QStringLiteral("Tahoma"));
        g_family = QStringLiteral("Tahoma");
    } else {
        QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
        g_family = QStringLiteral("DejaVu Sans");
    }
    return g_family;
}

bool FormFontsLoaded()
{
    return g_loaded;
}

QFont PixelFont(const QString &family, int px, bool bold)
{
    QFont f(family);
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

void SetPixelHeight(QWidget *w, int px)
{
    QFont f = w->font();
    f.setPixelSize(px);
    w->setFont(f);
}
