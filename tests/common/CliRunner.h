#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class QProcess;

// The built command-line program ($KOVRA_BIN_DIR/kovra-cli), run as a user would run it.
namespace kovra::test {

struct CliOptions
{
    QByteArray input;                // written to its standard input, which is then closed
    QProcessEnvironment environment; // empty: the test's own
    int timeoutMs = 30000;
    QString program; // another program in its place (a copy, a shell); empty: kovra-cli
};

struct CliRun
{
    bool normalExit = false; // finished within the time, not killed by a signal
    int code = -1;           // its exit code; -1 unless normalExit
    QString out;             // standard output and error, decoded as UTF-8
    QString err;
    qint64 ms = 0; // from start to finish
};

// Path of the built kovra-cli.
QString cliProgram();
// Runs kovra-cli (or options.program) with args and waits for it.
CliRun runCli(const QStringList& args, const CliOptions& options = {});
// Starts kovra-cli with args in process, for tests that run several at once.
void startCli(QProcess& process, const QStringList& args);

} // namespace kovra::test
