#pragma once

#include <QString>

// The application's name: the caption of every message box, the first words
// of the window title and the product name in the version resource.
inline QString ApplicationName() {
    return QStringLiteral("KomaSlate Utility");
}
