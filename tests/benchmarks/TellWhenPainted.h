#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <functional>

// Says "painted" on standard output once, after the first paint of a widget the test picks has
// returned: how BenchLaunch learns that a program it started shows its first page.
class TellWhenPainted final : public QObject {
public:
    explicit TellWhenPainted(std::function<bool(QObject *)> isWatched)
        : isWatched(std::move(isWatched))
    {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!told && event->type() == QEvent::Paint && isWatched(watched)) {
            told = true;
            QTimer::singleShot(0, [] {
                std::puts("painted");
                std::fflush(stdout);
            });
        }
        return false;
    }

private:
    std::function<bool(QObject *)> isWatched;
    bool told = false;
};
