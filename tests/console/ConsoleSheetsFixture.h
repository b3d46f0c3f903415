#pragma once

// Shared ground of the console sheet tests: the main window in an instrument-like folder
// layout, driven through its controls, and a scripted controller on the telnet side.

#include "app/FormInstall.h"
#include "app/FunctionSheet.h"
#include "app/RadioGroup.h"
#include "common/InstrumentFolders.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>

namespace vantor::test {

// The controller's telnet port on 127.0.0.1: the test says what the controller prints and
// reads what the console sent.
class ScriptedController final : public QObject {
public:
    ScriptedController() {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_client = socket;
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { m_heard += socket->readAll(); });
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    bool waitForClient() {
        return QTest::qWaitFor([this] { return !m_client.isNull(); }, 5000);
    }
    void say(const QByteArray& bytes) {
        QVERIFY(m_client);
        m_client->write(bytes);
        m_client->flush();
    }
    // Waits until what the console sent so far holds `expected`.
    bool waitForHeard(const QByteArray& expected, int limitMs = 5000) {
        return QTest::qWaitFor([&] { return m_heard.contains(expected); }, limitMs);
    }
    QByteArray heard() const { return m_heard; }
    void forget() { m_heard.clear(); }
    void hangUp() {
        if (m_client)
            m_client->disconnectFromHost();
    }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_heard;
};

// The engineer's way through the Function sheet: QEL, ion beam off, then the function.
inline void chooseFunction(TFormInstall& form, int function) {
    form.functionSheet()->rbQEL->click();
    form.functionSheet()->RGConfirm->button(0)->click();
    form.functionSheet()->RdoFunction->button(function)->click();
}

// The engineer clicks the tab of a sheet.
inline void chooseSheet(TFormInstall& form, QWidget* sheet) {
    QVERIFY(form.isSheetTabVisible(sheet));
    form.PageFTPCtrl->setCurrentWidget(sheet);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace vantor::test
