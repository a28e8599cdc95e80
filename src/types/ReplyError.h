#pragma once

#include <QMetaType>

namespace ReplyError {

// What kind of service failure the main window is told about.
enum Type {
    Login = 0,
    Subscription = 1,
    Service = 2,
};

} // namespace ReplyError

Q_DECLARE_METATYPE(ReplyError::Type)
