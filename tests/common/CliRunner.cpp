#include "CliRunner.h"

#include <QElapsedTimer>
#include <QProcess>

namespace kovra::test {

QString cliProgram()
{
    return qEnvironmentVariable("KOVRA_BIN_DIR") + QStringLiteral("/kovra-cli");
}

CliRun runCli(const QStringList& args, const CliOptions& options)
{
    QProcess p;
    if (!options.environment.isEmpty())
        p.setProcessEnvironment(options.environment);
    QElapsedTimer clock;
    clock.start();
    p.start(options.program.isEmpty() ? cliProgram() : options.program, args);
    if (p.waitForStarted(options.timeoutMs)) {
        if (!options.input.isEmpty())
            p.write(options.input);
        p.closeWriteChannel();
    }
    CliRun r;
    const bool finished = p.waitForFinished(options.timeoutMs);
    r.ms = clock.elapsed();
    if (!finished) {
        p.kill();
        p.waitForFinished();
    }
    r.normalExit = finished && p.exitStatus() == QProcess::NormalExit;
    r.code = r.normalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void startCli(QProcess& process, const QStringList& args)
{
    process.start(cliProgram(), args);
}

} // namespace kovra::test
