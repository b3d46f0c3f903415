#pragma once

#include "support/Errors.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QIODevice;
class QTcpSocket;

namespace vantor {

// A socket operation failed: connection set-up, name lookup, a platform socket error
// ("10054:Connection reset by peer"), or a wait that saw no progress for TimeOut ms.
class ESockError : public Error {
public:
    using Error::Error;
};

// A wait ended because Cancel was called ("Socket send aborted", "Socket readln aborted").
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

class TAsyncSocket;
class TInputBuffer;

// Where a socket is in its life: a fresh socket is Idle; Connect goes through Resolving
// (a name lookup) and Connecting to Connected; Listen waits in Listening until a connection
// arrives (Accepted), which UseAcceptedSocket makes the Connected socket. A close, by
// either side, leaves a fresh Idle socket.
enum class TSocketPhase { Idle, Resolving, Connecting, Connected, Listening, Accepted };

// Event types. Every event is called synchronously on the GUI thread from inside the
// operation or notification that raises it, so a handler with a bool& parameter can set
// Handled before the operation goes on. A handler must not start another operation on
// the same object.
using TNotifyEvent = std::function<void(TAsyncSocket* Sender)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(TAsyncSocket* Sender)>;
using TOnStatus = std::function<void(TAsyncSocket* Sender, const QString& Status)>;
using TOnErrorEvent = std::function<void(TAsyncSocket* Sender, quint16 Errno, const QString& Errmsg)>;

// One TCP stream socket with blocking-style operations for its owner: connect with name
// resolution and a time-out, line and buffer I/O, sending a whole file, capturing what is
// received into a file, listening for and accepting one connection.
//
// Every blocking operation waits through vantor::pumpUntil, so the application's events
// (socket notifications, timers, window input) are handled while it waits. Notifications
// from Qt's sockets arrive on the one GUI thread and are handled in the order the
// operations below describe. No thread is created.
//
// Every wait ends on Cancel, when the peer closes the connection, and, when TimeOut is
// above 0, after TimeOut ms without progress (no accept, no line, no byte moved) with an
// ESockError that names what was awaited. A transfer that keeps moving is never cut off;
// bytes the system still holds for a slow peer count as moving while they leave.
//
// Ownership: the object owns its Qt socket, listener and buffers; its QObject parent
// (the owner) frees it. Text on the wire is taken byte for byte (Latin-1), so a name read
// from the server goes back to it unchanged.
class TAsyncSocket : public QObject {
    Q_OBJECT

public:
    explicit TAsyncSocket(QObject* owner = nullptr);
    ~TAsyncSocket() override;

    // --- Published properties -------------------------------------------------------
    QString Host;        // peer name or dotted IPv4 address
    int Port = 0;        // peer port; for a listening socket the local port (0 = any)
    int TimeOut = 0;     // ms; 0 = no limit (waits then end only on cancel or close)
    int ReportLevel = 0; // highest status level reported through OnStatus
    QString Proxy;       // when set, the connection goes here instead of Host
    int ProxyPort = 0;   // port used when Proxy is set
    // Listen takes a connection only from this address; one from anywhere else is closed
    // and logged. Null: from anyone.
    QHostAddress AcceptOnlyFrom;

    // --- Events ---------------------------------------------------------------------
    // OnStatus: every status text at or below ReportLevel (1 protocol traffic, 4 buffer
    // sends / accept / close, 8 inner steps, 16 error checks), as it is reported.
    // OnConnect: the TCP connection is established, inside Connect (TFtpClient: the login
    // has completed). OnConnectionFailed: Connect failed, just before its ESockError.
    // OnDisconnect: the socket was closed by Disconnect or by the peer (not while the
    // object is being destroyed). OnError: the platform reported a socket error (refused
    // connect, reset, ...) with its WinSock number and "number:text".
    // OnPacketRecvd / OnPacketSent: once per block of at most 16383 bytes received or
    // handed to the socket while counting (SendFile, CaptureFile, a listing), bytes that
    // arrive together with the peer's close included.
    TNotifyEvent OnDisconnect;
    TNotifyEvent OnConnect;
    THandlerEvent OnInvalidHost;    // the host cannot be resolved; Handled = retry once
    TOnHostResolved OnHostResolved; // a name lookup (not a dotted address) succeeded
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;
    TOnErrorEvent OnError;
    THandlerEvent OnConnectionRequired; // CheckConnected found no connection; may Connect
    TNotifyEvent OnAccept;              // a connection came to Listen(false); unused by the FTP client

    // --- Run-time state -------------------------------------------------------------
    TSocketPhase Phase() const;
    bool IsConnected() const; // Connected, or Accepted
    qint16 ReplyCode() const;
    const QString& LastReply() const;
    const QString& LastStatus() const;
    int LastSocketError() const;
    virtual qint64 ReceivedCount() const;
    virtual qint64 SentCount() const;
    qint64 TransferSize() const;
    const QStringList& WinsockInfo() const;
    bool CancelRequested() const;
    bool TimedOut() const;
    // Bytes received and not yet taken by Read/ReadLn.
    qsizetype BufferedCount() const;
    // The last wait of this socket ended by its time-out.
    bool LastWaitTimedOut() const;

    // --- Operations -----------------------------------------------------------------
    virtual void Connect();                              // resolve, connect, wait (TimeOut applies)
    virtual void Disconnect();                           // close the socket; a fresh one is ready for Connect
    virtual QString Transaction(const QString& command); // Writeln, ReadLn, ReplyCode
    virtual void Abort() {}                              // called when the time-out timer fires

    // Waits for the connection announced by Listen and returns it (the caller owns it and
    // hands it to UseAcceptedSocket). Raises "Accepting Canceled" or, with TimeOut, a
    // time-out naming the data connection.
    virtual QTcpSocket* Accept();

    void Cancel();         // every wait of this object ends at its next test
    void CheckConnected(); // "Not Connected" unless connected (OnConnectionRequired first)

    void SendBuffer(const QByteArray& bytes, int length = 0); // 0 = up to the first NUL
    void Write(const QString& text);
    void Writeln(const QString& text);
    QString Read(int count); // 0 = everything buffered
    QString ReadLn();        // one line, LF included; an unterminated last line when closed
    void SendFile(const QString& path);
    // Waits until the peer has acknowledged every byte handed to the system, the bytes
    // leaving counting as progress for TimeOut. Returns at once where the platform cannot
    // tell how much is still queued.
    void WaitDelivered();
    // Writes everything received to `target` until the peer closes. The device must be
    // open for writing; the caller decides what becomes of it (see TFtpClient::Download).
    void CaptureFile(QIODevice& target);
    void CaptureFile(const QString& path);
    void Listen(bool reportOnCompletion);
    void UseAcceptedSocket(QTcpSocket* socket); // closes the listener, takes the socket
    void RequestCloseSocket();
    void ErrorManager(int tolerated);
    QString SocketErrorMessage(int code);
    void ReportStatus(quint8 level, const QString& text);
    void ResolveHost();
    void TimerOn();
    void TimerOff();
    void TimerExpired();

    QString LocalAddressText() const; // "192,168,0,5": the connected socket's local IPv4 address
    QString LocalPortText() const;    // ",4,1": this socket's local (listening) port, high byte first
    QHostAddress RemoteAddress() const;

    // "230" from "230 Logged in"; 0 without leading digits or when out of 16-bit range.
    static qint16 ReplyCodeOf(const QString& line);
    // The two halves of a PORT argument: "192,168,0,5" and ",4,1" (port 1025).
    static QString AddressText(const QHostAddress& address);
    static QString PortText(quint16 port);

protected:
    // --- What a derived socket may change ----------------------------------------------
    // The connect notification; TFtpClient does not pass it on (its OnConnect means login).
    virtual void NotifyConnected();
    // Called after every read that stored data (TFtpClient watches for 421/426 here).
    virtual void DataArrived() {}
    // Something outside this socket that ends its waits (the control connection of a data
    // connection was lost, say): the error text, or empty while waits may go on.
    virtual QString WaitAbandoned() const { return {}; }
    // Called when a wait has seen no progress for TimeOut ms, just before its ESockError.
    virtual void WaitTimedOut() {}
    // What a line wait and a data wait await, for their time-out messages.
    virtual QString LineAwaited() const { return QStringLiteral("a reply"); }
    virtual QString DataAwaited() const { return QStringLiteral("data"); }

    // --- What a derived socket may use -------------------------------------------------
    // Pumps events until `done` holds. Raises ESockError when WaitAbandoned says so, or
    // when TimeOut > 0 and no progress was seen for TimeOut ms; with `bytesAreProgress`
    // every byte moved restarts that clock, otherwise it runs from the start of the wait.
    void waitUntil(const std::function<bool()>& done, const QString& awaited, bool bytesAreProgress);
    const TInputBuffer& input() const; // received, not yet taken
    void discardInput();
    void setCounting(bool on); // count received bytes and fire OnPacketRecvd
    void setReplyCode(qint16 code);
    void setLastReply(const QString& reply);
    void setTransferSize(qint64 size);
    void clearCancel();

private:
    struct Private;
    std::unique_ptr<Private> d;

    void createSocket();
    void attach(QTcpSocket* socket);
    void ReadToStream();
    void WriteFromStream();
    void storeBlock(const char* data, qint64 size, bool counted);
    void onConnectedNotification();
    void onSocketError(QTcpSocket* socket);
    void onCloseNotification(QTcpSocket* socket);
    void onBytesWritten();
    void postRead();
    void postWrite();
    void takePendingConnections();
    void noteBytesLeaving();
};

} // namespace vantor
