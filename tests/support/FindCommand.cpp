#include "FindCommand.h"

#ifndef CORVANE_BIN_DIR
#error "CORVANE_BIN_DIR names the folder of the programs built"
#endif

QString FindCommand::program()
{
    return QStringLiteral(CORVANE_BIN_DIR "/corvane-find");
}

FindCommand& FindCommand::set(const QString& variable, const QString& value)
{
    m_environment.insert(variable, value);
    return *this;
}

FindCommand& FindCommand::cacheHome(const QString& folder)
{
    return set(QStringLiteral("XDG_CACHE_HOME"), folder);
}

FindCommand& FindCommand::workingDirectory(const QString& folder)
{
    m_workingDirectory = folder;
    return *this;
}

FindCommand& FindCommand::under(const QStringList& wrapper)
{
    m_wrapper = wrapper;
    return *this;
}

FindCommand& FindCommand::timeout(int milliseconds)
{
    m_timeout = milliseconds;
    return *this;
}

void FindCommand::startProgram(
    QProcess& process, const QString& name, const QStringList& arguments) const
{
    process.setProcessEnvironment(m_environment);
    if (!m_workingDirectory.isEmpty())
        process.setWorkingDirectory(m_workingDirectory);
    process.start(name, arguments);
    process.closeWriteChannel();
}

void FindCommand::start(QProcess& process, const QStringList& arguments) const
{
    if (m_wrapper.isEmpty()) {
        startProgram(process, program(), arguments);
        return;
    }
    QStringList words = m_wrapper.mid(1);
    words << program() << arguments;
    startProgram(process, m_wrapper.front(), words);
}

FindCommand::Outcome FindCommand::finish(QProcess& process) const
{
    Outcome outcome;
    if (!process.waitForFinished(m_timeout))
        return outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

FindCommand::Outcome FindCommand::run(const QStringList& arguments) const
{
    QProcess process;
    start(process, arguments);
    return finish(process);
}

FindCommand::Outcome FindCommand::runThrough(
    const QString& other, const QStringList& arguments) const
{
    QProcess process;
    startProgram(process, other, arguments);
    return finish(process);
}
