#pragma once

#include "app/MainWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

// Drives the real main window as a member does: through its pages' own widgets.

inline QString currentPage(const MainWindow &window)
{
    return window.findChild<QStackedWidget *>("stackedWidget")->currentWidget()->objectName();
}

// Types the e-mail and password into the login page and signs in; true once the home page shows.
inline bool signInThroughLoginPage(MainWindow &window, const QString &email,
                                   const QString &password)
{
    if (!QTest::qWaitFor([&] { return currentPage(window) == QStringLiteral("pageLogin"); }, 10000))
        return false;
    for (const char *field : {"lineEditEmail", "lineEditPassword"})
        window.findChild<QLineEdit *>(field)->clear();
    QTest::keyClicks(window.findChild<QLineEdit *>("lineEditEmail"), email);
    QTest::keyClicks(window.findChild<QLineEdit *>("lineEditPassword"), password);
    QTest::mouseClick(window.findChild<QPushButton *>("pushButtonLogIn"), Qt::LeftButton);
    return QTest::qWaitFor([&] { return currentPage(window) == QStringLiteral("pageMain"); },
                           10000);
}

// Waits for the connect button to take a click, then clicks it.
inline bool clickConnectButton(MainWindow &window)
{
    auto *button = window.findChild<QPushButton *>("pushButtonChangeConnectionState");
    if (!QTest::qWaitFor([button] { return button->isEnabled(); }, 10000))
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}
