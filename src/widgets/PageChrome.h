#pragma once

#include <QString>

class LanguageManager;
class QLabel;
class QPushButton;
class QWidget;

// The look the servers, settings and account pages share: rounded 411 x 914 panel with a soft
// gradient, two colour blobs, a back button and a section title.
namespace PageChrome {

// Returns the back button; the title label is named "mobileSectionTitle".
QPushButton *build(QWidget *page, const QString &title);

// Names the back button in the member's language.
void translate(QWidget *page, const LanguageManager *languages);

} // namespace PageChrome
