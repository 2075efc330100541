#include "ConverterProcess.h"

#include "converter/ConverterContract.h"

#include <QDir>
#include <QProcess>

QString ConverterProcess::programPath()
{
    return ConverterContract::programPath(QStringLiteral(CORVANE_BIN_DIR));
}

ConverterResult ConverterProcess::run(const QStringList& arguments, const QString& workingFolder)
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.start(programPath(), arguments);
    ConverterResult result;
    if (!process.waitForStarted(10000))
        return result;
    // Far above the time Corvane allows; only a hang reaches it.
    if (!process.waitForFinished(60000)) {
        result.timedOut = true;
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

QStringList ConverterProcess::entriesExcept(const QString& folder, const QStringList& keep)
{
    QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : keep)
        entries.removeAll(name);
    return entries;
}
