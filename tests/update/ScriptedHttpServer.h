#pragma once
// A small HTTP server on 127.0.0.1 for the update tests: each path gets a
// scripted behaviour (an answer, a connection closed without an answer, or
// silence), and every request is recorded.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

class ScriptedHttpServer : public QObject {
    Q_OBJECT
public:
    // Answer closes the connection after the body; AnswerAndHold keeps it open.
    enum class Behaviour { Answer, AnswerAndHold, CloseWithoutAnswer, NeverAnswer };
    struct Script {
        Behaviour behaviour = Behaviour::Answer;
        int status = 200;
        QByteArray body;
        // Sent instead of body.size() when set (>= 0).
        qint64 contentLength = -1;
    };

    ScriptedHttpServer();

    QString site() const;
    void script(const QString& path, Script s) { m_scripts.insert(path, std::move(s)); }
    void answer(const QString& path, const QByteArray& body, int status = 200)
    {
        script(path, {Behaviour::Answer, status, body, -1});
    }

    // Raw request heads in arrival order.
    const QList<QByteArray>& requests() const { return m_requests; }
    // Connections the client closed before it got an answer.
    int abandonedByClient() const { return m_abandonedByClient; }

private:
    void serve(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QString, Script> m_scripts;
    QList<QByteArray> m_requests;
    int m_abandonedByClient = 0;
};

// Points the update check at `site` for its lifetime, then restores what
// CORVANE_SITE was before (unset, when it was unset).
class ScopedSite {
public:
    explicit ScopedSite(const QString& site)
        : m_had(qEnvironmentVariableIsSet("CORVANE_SITE"))
        , m_previous(qgetenv("CORVANE_SITE"))
    {
        set(site);
    }
    ~ScopedSite()
    {
        if (m_had)
            qputenv("CORVANE_SITE", m_previous);
        else
            qunsetenv("CORVANE_SITE");
    }
    void set(const QString& site)
    {
        if (site.isNull())
            qunsetenv("CORVANE_SITE");
        else
            qputenv("CORVANE_SITE", site.toUtf8());
    }

private:
    bool m_had;
    QByteArray m_previous;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
