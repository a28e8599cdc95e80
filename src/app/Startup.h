#pragma once

#include <QString>

// Makes the compiled-in resource tree available; static libraries need this called explicitly.
void initResourceTree();

// The version from the build (CMake's project version), for every platform.
QString applicationVersion();
// Sets applicationVersion() as the application's version; --version and the settings page show it.
void applyApplicationVersion();

// Installs the built-in font as the application font and maps the "Roboto" family onto it.
// Returns false, leaving the platform font, when the font cannot be loaded.
bool installApplicationFont(
    const QString &fontPath = QStringLiteral(":/fonts/RobotoCondensed.ttf"));
