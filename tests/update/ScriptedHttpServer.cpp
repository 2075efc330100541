#include "ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

ScriptedHttpServer::ScriptedHttpServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString ScriptedHttpServer::site() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

void ScriptedHttpServer::serve(QTcpSocket* socket)
{
    if (socket->property("served").toBool())
        return;
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    socket->setProperty("head", head);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    socket->setProperty("served", true);
    head.truncate(end);
    m_requests.append(head);

    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
    const Script s = m_scripts.value(path, Script{Behaviour::Answer, 404, "not here", -1});

    switch (s.behaviour) {
    case Behaviour::CloseWithoutAnswer:
        socket->close();
        return;
    case Behaviour::NeverAnswer:
        connect(socket, &QTcpSocket::disconnected, this, [this] { ++m_abandonedByClient; });
        return;
    case Behaviour::Answer:
    case Behaviour::AnswerAndHold:
        break;
    }
    const qint64 length = s.contentLength >= 0 ? s.contentLength : s.body.size();
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(s.status) + " Scripted\r\n"
        + "Content-Type: text/html\r\nConnection: close\r\nContent-Length: "
        + QByteArray::number(length) + "\r\n\r\n" + s.body;
    socket->write(reply);
    if (s.behaviour == Behaviour::Answer)
        socket->disconnectFromHost();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return done();
}
