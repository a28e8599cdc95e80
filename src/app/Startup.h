#pragma once

#include <QString>

// Makes the compiled-in resource tree available; static libraries need this called explicitly.
void initResourceTree();

// Sets the version from the build (CMake's project version) as the application's, on every
// platform; --version and the settings page show it.
void applyApplicationVersion();

// What the process sets before its QApplication exists: high-DPI pixmaps, no bearer polling.
void prepareProcess();

// What the application sets up once it exists and before its first window: version, desktop
// file name, resources and font.
void setUpApplication();

// Installs the built-in font as the application font and maps the "Roboto" family onto it.
// Returns false, leaving the platform font, when the font cannot be loaded.
bool installApplicationFont(
    const QString &fontPath = QStringLiteral(":/fonts/RobotoCondensed.ttf"));
