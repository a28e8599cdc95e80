#pragma once

#include <QMetaType>

namespace AppStyleUtil {
namespace ApplicationForm {

// The pages of the main window; each value is the page's index in its stacked widget.
enum Form {
    LoadingPage = 0,
    MessagePage = 1,
    LoginPage = 2,
    MainPage = 3,
};

} // namespace ApplicationForm
} // namespace AppStyleUtil

Q_DECLARE_METATYPE(AppStyleUtil::ApplicationForm::Form)
