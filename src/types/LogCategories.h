#pragma once

#include <QLoggingCategory>

// The diagnostic lines' categories, one a subsystem, so that QT_LOGGING_RULES can quiet or pick
// them (for example "corvane.vpn.debug=false"). The lines' own words stay as they are.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcHelper)
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
Q_DECLARE_LOGGING_CATEGORY(lcServers)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcVpn)
