#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// Probes of the real machine for the tests that run against real tools and networks.

// Runs a program to its end, waiting at most 20 s: its exit code, -1 when it did not end
// normally; its standard output goes to output when asked for.
inline int runProgram(const QString &program, const QStringList &arguments,
                      QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

inline QByteArray programOutput(const QString &program, const QStringList &arguments)
{
    QByteArray output;
    runProgram(program, arguments, &output);
    return output;
}

inline bool tcpReachable(const QString &address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return socket.waitForConnected(1500);
}

// Whether a connection attempt leaves the machine: answered, or refused by the host (nothing
// listens there); a block drops it without a word.
inline bool tcpLeaves(const QString &address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return socket.waitForConnected(1500) ||
           socket.error() == QAbstractSocket::ConnectionRefusedError;
}

// Whether a program of another user (nobody) can connect.
inline bool reachableByAnotherUser(const QString &address, quint16 port)
{
    return runProgram("setpriv",
                      {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                       "import socket, sys\n"
                       "socket.create_connection((sys.argv[1], int(sys.argv[2])), 2)",
                       address, QString::number(port)}) == 0;
}
