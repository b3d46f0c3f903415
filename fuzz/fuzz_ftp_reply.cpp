// The FTP client's reply reading, against a peer on loopback that answers each command
// with the next reply of the input: the greeting, the login, PWD, CWD, MKD and other
// commands, whatever the replies hold (multi-line replies, lines without a code, missing
// line ends, early closes). The client ends every operation within its time-out with a
// result or one of its own errors and stays in step with the peer; the pure reply helpers
// hold their promises on every line.
//
// Replies are cut from the input by FTP's own rule: a reply that starts "ddd-" runs to the
// line that starts with the same code and a blank.

#include "FuzzSupport.h"

#include "ftp/DirectoryList.h"
#include "ftp/FtpClient.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <limits>

using namespace vantor;

namespace {

bool isCode(const QByteArray& line, qsizetype at = 0) {
    return line.size() >= at + 3 && std::isdigit(uchar(line[at])) && std::isdigit(uchar(line[at + 1])) &&
           std::isdigit(uchar(line[at + 2]));
}

QList<QByteArray> repliesOf(const QByteArray& script) {
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (from < script.size()) {
        qsizetype lf = script.indexOf('\n', from);
        lf = lf < 0 ? script.size() : lf + 1;
        lines.append(script.mid(from, lf - from));
        from = lf;
    }
    QList<QByteArray> replies;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray reply = lines.at(i);
        if (isCode(reply) && reply.size() > 3 && reply[3] == '-') {
            const QByteArray code = reply.left(3);
            while (++i < lines.size()) {
                const QByteArray& line = lines.at(i);
                reply += line;
                if (line.startsWith(code + ' '))
                    break;
            }
        }
        replies.append(reply);
    }
    return replies;
}

// Answers each command line with the next reply; closes when none is left.
class ScriptedPeer final : public QObject {
public:
    explicit ScriptedPeer(QList<QByteArray> replies) : m_replies(std::move(replies)) {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                if (m_socket) {
                    socket->abort();
                    socket->deleteLater();
                    continue;
                }
                m_socket = socket;
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this] { onCommand(); });
                answer(); // the greeting
            }
        });
    }
    ~ScriptedPeer() override {
        if (m_socket)
            m_socket->abort();
        delete m_socket;
    }

    quint16 port() const { return m_server.serverPort(); }
    // The reply sent for the last command; empty when none was sent.
    QByteArray lastAnswer() const { return m_lastAnswer; }

private:
    void onCommand() {
        m_pending += m_socket->readAll();
        qsizetype lf;
        while (m_socket && (lf = m_pending.indexOf('\n')) >= 0) {
            m_pending.remove(0, lf + 1);
            answer();
        }
    }
    void answer() {
        if (m_next >= m_replies.size()) {
            m_lastAnswer.clear();
            m_socket->disconnectFromHost();
            return;
        }
        m_lastAnswer = m_replies.at(m_next++);
        m_socket->write(m_lastAnswer);
        if (m_next == m_replies.size())
            m_socket->disconnectFromHost(); // nothing more will come: the client need not wait
    }

    QTcpServer m_server;
    QTcpSocket* m_socket = nullptr;
    QList<QByteArray> m_replies;
    qsizetype m_next = 0;
    QByteArray m_pending;
    QByteArray m_lastAnswer;
};

void checkHelpers(const QByteArray& reply) {
    for (const QByteArray& bytes : reply.split('\n')) {
        const QString line = QString::fromLatin1(bytes);
        const qint16 code = TAsyncSocket::ReplyCodeOf(line);
        VANTOR_FUZZ_CHECK(code >= 0, fuzz::hex(bytes));
        if (code > 0) {
            // The code is read from at most the first ten digits.
            qsizetype digits = 0;
            while (digits < bytes.size() && digits < 10 && std::isdigit(uchar(bytes[digits])))
                ++digits;
            VANTOR_FUZZ_CHECK(bytes.left(digits).toLongLong() == code, fuzz::hex(bytes));
        }
        const qint64 size = TFtpClient::SizeFromReply(line);
        VANTOR_FUZZ_CHECK(size >= 0 && size <= std::numeric_limits<qint32>::max(), fuzz::hex(bytes));
        if (size > 0)
            VANTOR_FUZZ_CHECK(line.contains(QString::number(size)), fuzz::hex(bytes));
        VendorFromSystReply(line);
    }
}

// The code of the reply the peer sent last, as the client reads codes: from its first line.
qint16 codeOf(const QByteArray& reply) {
    const qsizetype lf = reply.indexOf('\n');
    return TAsyncSocket::ReplyCodeOf(QString::fromLatin1(lf < 0 ? reply : reply.left(lf)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray script(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> replies = repliesOf(script);
    for (const QByteArray& reply : replies)
        checkHelpers(reply);

    ScriptedPeer peer(replies);
    TFtpClient ftp;
    ftp.Host = QStringLiteral("127.0.0.1");
    ftp.Port = peer.port();
    ftp.TimeOut = 2000;
    ftp.UserID = QStringLiteral("super");
    ftp.Password = QStringLiteral("kolm");

    // Each step either completes, is refused by the peer (FTPException, the session goes
    // on), or loses the session (ESockError); nothing else may escape.
    const auto step = [&](const char* what, const std::function<void()>& operation) {
        if (!ftp.IsConnected() && qstrcmp(what, "login") != 0)
            return;
        try {
            operation();
        } catch (const ESockError&) {
            return;
        } catch (const FTPException&) {
        } catch (const std::exception& e) {
            fuzz::fail(what,
                       QStringLiteral("unexpected error %1\nscript %2").arg(e.what(), fuzz::hex(script)));
        }
        // Each reply is read to its end, refusals and lines without a code between
        // included, so the client's last reply is the one the peer sent for its last
        // command: the session stays in step.
        if (ftp.IsConnected() && !peer.lastAnswer().isEmpty())
            VANTOR_FUZZ_CHECK(ftp.ReplyCode() == codeOf(peer.lastAnswer()),
                              QStringLiteral("%1: client %2, peer sent %3\nscript %4")
                                  .arg(what)
                                  .arg(ftp.ReplyCode())
                                  .arg(fuzz::hex(peer.lastAnswer()), fuzz::hex(script)));
    };
    step("login", [&] { ftp.Connect(); });
    step("PWD", [&] { ftp.CurrentDir(); });
    step("CWD", [&] { ftp.ChangeDir(QStringLiteral("/h0/CMDS")); });
    step("MKD", [&] { ftp.MakeDir(QStringLiteral("NEW")); });
    step("TYPE", [&] { ftp.SetMode(tmAscii); });
    step("NOOP", [&] { ftp.DoCommand(QStringLiteral("NOOP")); });
    step("QUIT", [&] { ftp.Disconnect(); });
    return 0;
}
