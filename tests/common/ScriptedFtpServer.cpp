#include "ScriptedFtpServer.h"

#include <QTimer>

namespace vantor::test {

ScriptedFtpServer::ScriptedFtpServer() {
    peer.onConnection = [this](FakeConnection& c) {
        if (control)
            return;
        control = &c;
        if (greetingInParts) {
            replyInParts(greeting);
            return;
        }
        for (const QByteArray& line : greeting)
            c.sendLine(line);
    };
    peer.onLine = [this](FakeConnection& c, const QByteArray& line) {
        if (&c == control)
            handle(line);
    };
}

void ScriptedFtpServer::replyInParts(const QList<QByteArray>& lines) {
    reply(lines.first());
    QTimer::singleShot(100, control, [this, lines] {
        for (const QByteArray& line : lines.mid(1))
            reply(line);
    });
}

FakeConnection* ScriptedFtpServer::sendData(const QByteArray& bytes, const QByteArray& completion,
                                            int holdMs) {
    FakeConnection* data = openData();
    data->send(bytes);
    replyOnClose(data, completion, 0);
    if (holdMs > 0)
        QTimer::singleShot(holdMs, data, [data] { data->close(); });
    else
        data->close();
    return data;
}

FakeConnection* ScriptedFtpServer::receiveData(const QByteArray& completion, int replyMs) {
    FakeConnection* data = openData();
    replyOnClose(data, completion, replyMs);
    return data;
}

void ScriptedFtpServer::replyOnClose(FakeConnection* data, const QByteArray& completion, int delayMs) {
    if (completion.isEmpty())
        return;
    QObject::connect(data->socket(), &QTcpSocket::disconnected, data, [this, completion, delayMs] {
        if (delayMs > 0)
            QTimer::singleShot(delayMs, control, [this, completion] { reply(completion); });
        else
            reply(completion);
    });
}

void ScriptedFtpServer::handle(const QByteArray& line) {
    commands << line;
    const QByteArray verb = line.split(' ').first().toUpper();
    const QByteArray argument = line.mid(verb.size() + 1);
    if (verb == "USER") {
        reply(userReply);
    } else if (verb == "PASS") {
        reply(passReply);
    } else if (verb == "TYPE") {
        reply("200 Type set");
    } else if (verb == "PORT") {
        const QList<QByteArray> p = argument.split(',');
        if (p.size() == 6) {
            dataHost = QHostAddress(QString("%1.%2.%3.%4").arg(p[0], p[1], p[2], p[3]));
            dataPort = quint16(p[4].toInt() * 256 + p[5].toInt());
        }
        reply("200 PORT command successful");
    } else if (verb == "QUIT") {
        reply("221 Goodbye");
        control->close();
    } else if (const auto handler = m_verbs.constFind(verb); handler != m_verbs.cend()) {
        (*handler)(argument);
    } else if (onCommand) {
        onCommand(line);
    } else {
        reply("502 Command not implemented");
    }
}

} // namespace vantor::test
