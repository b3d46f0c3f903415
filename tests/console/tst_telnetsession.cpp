#include "FakeController.h"

#include "common/TestSupport.h"
#include "console/engine/Cp932.h"
#include "console/engine/TelnetSession.h"
#include "console/engine/TerminalText.h"
#include "support/Wait.h"

#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;
using namespace vantor;
using vantor::test::FakeController;

// The telnet console against a controller-like peer on loopback.
class TestTelnetSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void logsInWithBothAnswers();
    void answersBothPromptsOfOneChunkInOrder();
    void splitPromptIsNotAnswered();
    void erasedEchoAloneAndMidChunk();
    void telnetCommandsAreNeitherAnsweredNorShown();
    void shiftJisSplitAcrossReadsShowsWhole();
    void lastOutputComesBeforeDisconnected();
    void closingShowsDisconnected();
    void refusedConnectionShowsErrorCode();
    void sendWithoutConnectionSendsNothing();

private:
    // Waits until the view's text holds `part`.
    bool waitForShown(const QString& part) {
        return pumpUntil([&] { return text->lines().join(u'\n').contains(part); }, 5s);
    }
    void connectSession() {
        session->open(QStringLiteral("127.0.0.1"), peer->port());
        QVERIFY(peer->waitForClient());
        QVERIFY(pumpUntil([&] { return session->isConnected(); }, 5s));
    }

    std::unique_ptr<FakeController> peer;
    std::unique_ptr<TerminalText> text;
    std::unique_ptr<TelnetSession> session;
};

void TestTelnetSession::init() {
    peer = std::make_unique<FakeController>();
    text = std::make_unique<TerminalText>();
    session = std::make_unique<TelnetSession>(*text);
    session->setUserName(QStringLiteral("super"));
    session->setPassword(QStringLiteral("kolm"));
}

void TestTelnetSession::cleanup() {
    session.reset();
    text.reset();
    peer.reset();
}

void TestTelnetSession::logsInWithBothAnswers() {
    QSignalSpy changed(session.get(), &TelnetSession::connectionChanged);
    QSignalSpy loggedIn(session.get(), &TelnetSession::loggedIn);
    connectSession();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toBool(), true);
    QCOMPARE(text->lines().first(), QStringLiteral("Connected"));

    peer->say("\r\nOS-9/68K V3.0\r\nUser name?: ");
    QVERIFY(peer->waitForHeard("super\r\n"));
    QVERIFY(!session->isLoggedIn());
    peer->say("Password: ");
    QVERIFY(peer->waitForHeard("kolm\r\n"));
    QCOMPARE(peer->heard(), QByteArray("super\r\nkolm\r\n"));
    QVERIFY(session->isLoggedIn());
    QCOMPARE(loggedIn.count(), 1);
    peer->say("\r\n$ ");
    QVERIFY(waitForShown("OS-9/68K V3.0\nUser name?: Password: \n$ "));
}

void TestTelnetSession::answersBothPromptsOfOneChunkInOrder() {
    connectSession();
    peer->say("User name?: Password: ");
    QVERIFY(peer->waitForHeard("kolm\r\n"));
    QCOMPARE(peer->heard(), QByteArray("super\r\nkolm\r\n"));
    QVERIFY(session->isLoggedIn());
}

void TestTelnetSession::splitPromptIsNotAnswered() {
    connectSession();
    peer->say("User na");
    QVERIFY(waitForShown("User na"));
    peer->say("me?: ");
    QVERIFY(waitForShown("User name?: "));
    peer->say("Pass");
    QVERIFY(waitForShown("Pass"));
    peer->say("word: ");
    QVERIFY(waitForShown("Password: "));
    pumpFor(100ms);
    QVERIFY(peer->heard().isEmpty());
    QVERIFY(!session->isLoggedIn());
}

void TestTelnetSession::erasedEchoAloneAndMidChunk() {
    connectSession();
    peer->say("$ dirx");
    QVERIFY(waitForShown("$ dirx"));
    peer->say("\b \b");
    QVERIFY(pumpUntil([&] { return text->lastLine() == QStringLiteral("$ dir"); }, 5s));
    peer->say("a\b \bb");
    QVERIFY(pumpUntil([&] { return text->lastLine() == QStringLiteral("$ dira\b \bb"); }, 5s));
}

void TestTelnetSession::telnetCommandsAreNeitherAnsweredNorShown() {
    connectSession();
    peer->say("\xff\xfd\x18\xff\xfb\x01\xff\xfb\x03Welcome\xff");
    QVERIFY(waitForShown("Welcome"));
    peer->say("\xfd\x1f\xff\xfa\x18\x01\xff\xf0 to OS-9\r\n");
    QVERIFY(waitForShown("Welcome to OS-9\n"));
    pumpFor(100ms);
    QVERIFY(peer->heard().isEmpty());
    QCOMPARE(text->lines(), (QStringList{"Connected", "Welcome to OS-9", ""}));
}

void TestTelnetSession::shiftJisSplitAcrossReadsShowsWhole() {
    connectSession();
    const QByteArray bytes = encodeCp932(QString::fromUtf8("ディレクトリ"));
    peer->say(bytes.left(5)); // the third character's lead byte ends the read
    QVERIFY(waitForShown(QString::fromUtf8("ディ")));
    peer->say(bytes.mid(5));
    QVERIFY(waitForShown(QString::fromUtf8("ディレクトリ")));
    QCOMPARE(text->lastLine(), QString::fromUtf8("ディレクトリ"));
}

void TestTelnetSession::lastOutputComesBeforeDisconnected() {
    QSignalSpy changed(session.get(), &TelnetSession::connectionChanged);
    connectSession();
    peer->say("User name?: Password: ");
    QVERIFY(pumpUntil([&] { return session->isLoggedIn(); }, 5s));
    peer->say("logout\r\n");
    peer->hangUp();
    QVERIFY(pumpUntil([&] { return changed.count() == 2; }, 5s));
    QCOMPARE(changed.last().first().toBool(), false);
    QVERIFY(!session->isLoggedIn());
    QVERIFY(!session->isConnected());
    QCOMPARE(text->lines(), (QStringList{"Connected", "User name?: Password: logout", "Disconnected", ""}));
}

void TestTelnetSession::closingShowsDisconnected() {
    QSignalSpy changed(session.get(), &TelnetSession::connectionChanged);
    connectSession();
    session->close();
    QVERIFY(pumpUntil([&] { return changed.count() == 2; }, 5s));
    QVERIFY(text->lines().contains(QStringLiteral("Disconnected")));
    QVERIFY(!session->send("dir\r"));
}

void TestTelnetSession::refusedConnectionShowsErrorCode() {
    const quint16 closedPort = test::closedPort();
    QVERIFY(closedPort != 0);
    QSignalSpy errors(session.get(), &TelnetSession::socketError);
    QSignalSpy changed(session.get(), &TelnetSession::connectionChanged);
    session->open(QStringLiteral("127.0.0.1"), closedPort);
    QVERIFY(pumpUntil([&] { return errors.count() > 0; }, 5s));
    QCOMPARE(errors.first().first().toInt(), 10061);
    QCOMPARE(text->lines().first(), QStringLiteral("Error : 10061"));
    QCOMPARE(TelnetClient::errorText(10061), QStringLiteral("Asynchronous socket error 10061"));
    pumpFor(50ms);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!session->isConnected());
}

void TestTelnetSession::sendWithoutConnectionSendsNothing() {
    QVERIFY(!session->send("dir\r"));
    QVERIFY(!session->sendText(u"dir\r"));
    session->close(); // closing a closed console does nothing
    QVERIFY(text->isEmpty());
}

QTEST_GUILESS_MAIN(TestTelnetSession)
#include "tst_telnetsession.moc"
