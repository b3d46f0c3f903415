#pragma once

#include "console/engine/TelnetCommandFilter.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>

class QTcpSocket;
class QTimer;

namespace vantor {

// The event-driven TCP client the telnet console talks through. open() returns at once;
// the outcome arrives as events, always in this order for one connection:
//   connected, received (any number), disconnected       - a connection that was made
//   errorOccurred, then disconnected if it was connected  - a failure
// A connection that cannot be made raises errorOccurred only. Closing a connected client
// raises disconnected; the peer closing it normally does the same, without an error.
//
// received() carries the data bytes as they came, with telnet command sequences taken
// out. Error codes are WinSock numbers (10061 refused, 10060 timed out, 11001 host not
// found, ...), which is what the engineer's documentation and the console show.
class TelnetClient final : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kTelnetPort = 23;

    explicit TelnetClient(QObject* parent = nullptr);
    ~TelnetClient() override;

    // Starts connecting; a connection still open or being made is dropped first.
    void open(const QString& host, quint16 port = kTelnetPort);
    void close();
    bool isConnected() const;
    // True from open() until the connection is closed or has failed.
    bool isActive() const;
    // Queues all bytes for sending, unaltered. False (nothing sent) when not connected.
    bool send(const QByteArray& bytes);
    // Hands what send() queued to the operating system now, without waiting, instead of on
    // the next pass of the event loop.
    void flush();

    // How long a connection may take before it fails with 10060; 20 s by default.
    void setConnectTimeout(std::chrono::milliseconds limit) { m_connectTimeout = limit; }
    std::chrono::milliseconds connectTimeout() const { return m_connectTimeout; }

    // The socket layer's own report of an error code, for the error box.
    static QString errorText(int code);

Q_SIGNALS:
    void connected();
    void received(const QByteArray& data);
    void disconnected();
    void errorOccurred(int code);

private:
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();
    void onConnectTimeout();
    void deliverPending();

    QTcpSocket* m_socket;
    QTimer* m_connectTimer;
    QTimer* m_closeTimer;
    TelnetCommandFilter m_filter;
    std::chrono::milliseconds m_connectTimeout{20000};
    bool m_wasConnected = false;
};

} // namespace vantor
