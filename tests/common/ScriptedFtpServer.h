#pragma once

#include "common/FakePeer.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>

#include <functional>

namespace vantor::test {

// A scripted FTP server on FakePeer, for the replies, timings and faults no real server
// gives on demand: it greets, answers USER, PASS, TYPE, PORT and QUIT as a server would,
// hands a command to the handler the test set for its verb, then to `onCommand`, and
// answers anything else with 502. Data connections go to the address of the last PORT.
class ScriptedFtpServer {
public:
    ScriptedFtpServer();

    FakePeer peer;
    QList<QByteArray> greeting{"220 Fake server ready"};
    bool greetingInParts = false; // the greeting's first line alone, the rest a little later
    QByteArray userReply = "331 Password required";
    QByteArray passReply = "230 Logged in";
    // Every command not answered above or by a verb handler, as the whole line.
    std::function<void(const QByteArray& line)> onCommand;
    FakeConnection* control = nullptr;
    QList<QByteArray> commands; // every line the client sent on the control connection
    QHostAddress dataHost;
    quint16 dataPort = 0;

    // `verb` ("RETR") with the rest of the line after the space goes to `handler`.
    void answer(const QByteArray& verb, std::function<void(const QByteArray& argument)> handler) {
        m_verbs.insert(verb.toUpper(), std::move(handler));
    }

    void reply(const QByteArray& line) { control->sendLine(line); }
    // The first line of a reply now and the rest a little later, as a slow server or a
    // busy network delivers it.
    void replyInParts(const QList<QByteArray>& lines);

    FakeConnection* openData() { return peer.connectTo(dataHost, dataPort); }
    // Opens the data connection, sends `bytes`, closes it after `holdMs` and, once it is
    // closed, replies `completion` (nothing when empty).
    FakeConnection* sendData(const QByteArray& bytes, const QByteArray& completion, int holdMs = 0);
    // Opens the data connection and keeps what it receives; `completion` follows `replyMs`
    // after the client closed it.
    FakeConnection* receiveData(const QByteArray& completion, int replyMs = 0);

private:
    void handle(const QByteArray& line);
    void replyOnClose(FakeConnection* data, const QByteArray& completion, int delayMs);

    QHash<QByteArray, std::function<void(const QByteArray&)>> m_verbs;
};

} // namespace vantor::test
