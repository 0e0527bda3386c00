#pragma once

// The forms were laid out for Tahoma at 8 points (11 pixels). Debian ships
// Wine's metric-compatible Tahoma with fonts-wine, outside fontconfig's
// folders, so the application registers it itself.

#include <QString>
#include <QStringList>

class QFont;
class QWidget;

// Registers Tahoma from the given files, or Wine's regular Tahoma from the
// fonts-wine folder when none are given. When they cannot be loaded, "Tahoma"
// is mapped to DejaVu Sans. Returns the family that now stands for Tahoma.
// Needs a QGuiApplication; safe to call more than once.
QString LoadFormFonts(const QStringList &candidateFiles = {});

// True when the last LoadFormFonts call registered the real Tahoma files.
bool FormFontsLoaded();

// A font of the given family whose character height is exactly px pixels,
// as the form files of the suite give it, whatever the screen's resolution.
QFont PixelFont(const QString &family, int px, bool bold = false);

// Sets the character height of w's font to px pixels, keeping its family and
// weight.
void SetPixelHeight(QWidget *w, int px);
