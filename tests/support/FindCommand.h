#pragma once
// corvane-find of this build, run as a user runs it: a process of its own
// with the environment and folder a test gives it, its output captured.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class FindCommand {
public:
    // What one run ended with; exitCode is -1 when it crashed, was killed or
    // did not end in time.
    struct Outcome {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // The corvane-find next to the tests.
    static QString program();

    // Sets a variable of the run's environment (the rest is the test's own).
    FindCommand& set(const QString& variable, const QString& value);
    // Where XDG_CACHE_HOME points, so that no run touches the user's cache.
    FindCommand& cacheHome(const QString& folder);
    FindCommand& workingDirectory(const QString& folder);
    // Runs corvane-find under another program, "prlimit --as=N" for one:
    // the wrapper's words first, then corvane-find and its arguments.
    FindCommand& under(const QStringList& wrapper);
    FindCommand& timeout(int milliseconds);

    // Starts corvane-find with its standard input closed; the caller waits.
    void start(QProcess& process, const QStringList& arguments) const;
    // Runs it to the end.
    Outcome run(const QStringList& arguments) const;
    // Runs another program to the end in the same environment and folder,
    // one that starts corvane-find itself: script(1) with a shell line that
    // names program(), for one.
    Outcome runThrough(const QString& other, const QStringList& arguments) const;

private:
    void startProgram(QProcess& process, const QString& name, const QStringList& arguments) const;
    Outcome finish(QProcess& process) const;

    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QString m_workingDirectory;
    QStringList m_wrapper;
    int m_timeout = 120000;
};
