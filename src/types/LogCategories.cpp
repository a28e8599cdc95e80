#include "types/LogCategories.h"

Q_LOGGING_CATEGORY(lcApp, "corvane.app")
Q_LOGGING_CATEGORY(lcHelper, "corvane.helper")
Q_LOGGING_CATEGORY(lcNetwork, "corvane.network")
Q_LOGGING_CATEGORY(lcPlatform, "corvane.platform")
Q_LOGGING_CATEGORY(lcServers, "corvane.servers")
Q_LOGGING_CATEGORY(lcUi, "corvane.ui")
Q_LOGGING_CATEGORY(lcVpn, "corvane.vpn")
