#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The fake outside programs (tests/fakes) as the only programs on PATH, with a fresh call log.
// Scripts their answers through the environment variables the fakes read.
class FakePrograms final {
public:
    FakePrograms();
    ~FakePrograms();

    // name is the program's own name ("wg-quick"); key is STDOUT, STDERR, EXIT, DELAY_MS, HANG
    // or WAIT_FOR, optionally with the call number ("EXIT_2").
    void script(const QString &name, const QString &key, const QString &value);
    // Every call so far, one "program<TAB>arg<TAB>arg" text each, in order.
    QStringList calls() const;
    // The calls of one program only.
    QStringList callsOf(const QString &program) const;
    // Hides a program, so that starting it fails.
    void remove(const QString &name);

    static QString variable(const QString &name, const QString &key);

private:
    QTemporaryDir scratch;
    QString binDir;
    QByteArray originalPath;
    QString originalCurrent;
};
