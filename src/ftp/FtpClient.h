#pragma once

#include "AsyncSocket.h"
#include "DirectoryList.h"

#include <exception>
#include <memory>

namespace vantor {

// What a command or transfer was; passed to OnSuccess, OnFailure and OnUnSupportedFunction.
enum TCmdType : quint8 {
    ctChangeDir = 0, // DoCommand of "CWD ..."
    ctMakeDir = 1,   // "MKD ..."
    ctDelete = 2,    // "DELE ..."
    ctRemoveDir = 3, // "RMD ..."
    ctList = 4,      // List
    ctRename = 5,
    ctUploadRestore = 6,
    ctDownloadRestore = 7,
    ctDownload = 8, // Download
    ctUpload = 9,   // Upload
    ctUploadAppend = 10,
    ctReInit = 11,
    ctAllocate = 12,
    ctNList = 13,      // NList
    ctDoCommand = 14,  // any other command, TYPE and SYST included
    ctCurrentDir = 15, // exactly "PWD"
};

// "ChangeDir" ... "DoCommand" for 0 to 14 (the hosts append " success" / " failure"),
// "CurrentDir" for 15.
QString CmdTypeName(TCmdType type);

// Transfer types for SetMode.
enum TTransferMode : int { tmAscii = 1, tmImage = 2, tmLocal8 = 3 };

// The server refused a command or transfer; the message is its reply line as read,
// line end included.
class FTPException : public Error {
public:
    using Error::Error;
};

using TFailureEvent = std::function<void(bool& Handled, TCmdType Trans_Type)>;
using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
using TListItemEvent = std::function<void(const QString& Listing)>;
using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;

// The FTP client: its own socket is the control connection; each transfer (List, NList,
// Download, Upload) opens a data connection in active mode (PORT from the control
// connection's local address, the server connects to us) and frees it at its end.
//
// Every operation blocks, pumping events, until it has finished; results arrive through
// the events below, called synchronously in this order:
//   DoCommand: OnUnSupportedFunction (500-502) then OnFailure, or OnSuccess.
//   List:   OnTransactionStart (before the server connects), OnListItem per line,
//           OnTransactionStop, then OnSuccess or OnFailure.
//   NList, Download, Upload: OnTransactionStart (after the server connected),
//           OnListItem per line (NList) or OnPacketRecvd / OnPacketSent per block of at
//           most 16383 bytes with the data connection as Sender, OnTransactionStop, then
//           OnSuccess or OnFailure.
// A failure raises FTPException with the server's reply unless an OnFailure handler sets
// Handled. A transfer is reported as a success only when the data moved completely and
// the server confirmed it: a 421/426 during the transfer, a completion reply of 400-599,
// or a broken data connection end it through OnFailure / FTPException (or ESockError when
// the server gave no reply), never through OnSuccess; so does a download that brought
// fewer bytes than the server announced. Commands and names holding CR, LF or NUL are
// refused with vantor::Error before anything is sent.
//
// Every reply is read to its end before anything is made of it. A multi-line reply
// ("550-...") ends only at the line that starts with its own code and a blank; the lines
// between may look like anything. A failure reply (425, say) that comes while the client
// waits for the server's data connection ends that wait at once and is the failure.
//
// Protocol faults end the operation with ESockError: a reply line without a reply code
// ("Not an FTP reply: ..."), a reply running past 1 MiB ("Reply too long from peer"). They,
// and a wait that times out, close the session without QUIT (OnDisconnect fires), since
// the unread rest or the server's late answer would otherwise pass for the reply to the
// next command.
//
// Download writes into a temporary file beside the local file, which replaces the local
// file only when the transfer succeeded; an existing file is otherwise left untouched. A
// local write failure ends the download with FileError naming the local file, after the
// server's answer to the transfer has been read. The data connection is accepted only from
// the control connection's peer; a connection from elsewhere is closed and reported.
//
// Ownership: the client owns its data connection (DataConnection(), only during a
// transfer) and its listing parser (DirectoryList(), from the first parsed listing after
// a login until Disconnect). The destructor sends QUIT when connected and fires no events.
class TFtpClient final : public TAsyncSocket {
    Q_OBJECT

public:
    explicit TFtpClient(QObject* owner = nullptr);
    ~TFtpClient() override;

    // --- Published properties (besides those of TAsyncSocket) ------------------------
    QString UserID;
    QString Password;
    int Vendor = VendorDetect; // server system type; VendorDetect = ask with SYST at the first listing
    bool ParseList = false;    // file listing lines into DirectoryList()

    // --- Events (OnConnect, inherited, fires once the login has completed) -------------
    TNotifyEvent OnTransactionStart;
    TNotifyEvent OnTransactionStop;
    THandlerEvent OnAuthenticationNeeded; // UserID or Password empty at login; may fill them
    THandlerEvent OnAuthenticationFailed; // never fired
    TFailureEvent OnFailure;
    TSuccessEvent OnSuccess;
    TListItemEvent OnListItem;
    TUnsupportedEvent OnUnSupportedFunction;

    // --- Run-time state -----------------------------------------------------------------
    TAsyncSocket* DataConnection() const { return m_data; }
    TFTPDirectoryList* DirectoryList() const { return m_directoryList.get(); }
    // The current data connection's counters, 0 outside a transfer.
    qint64 ReceivedCount() const override;
    qint64 SentCount() const override;

    // --- Operations -----------------------------------------------------------------------
    void Connect() override;    // TCP connect, greeting, USER (and PASS on 331), OnConnect
    void Disconnect() override; // QUIT, close, OnDisconnect; nothing when not connected
    QString Transaction(const QString& command) override; // first reply line; continuation lines skipped
    void Abort() override;                                // cancels the data connection's wait

    void DoCommand(const QString& command);
    void ChangeDir(const QString& directory);
    void MakeDir(const QString& directory);
    QString CurrentDir();   // the text between the first two double quotes of the PWD reply
    void SetMode(int mode); // tmAscii "TYPE A", tmImage "TYPE I", tmLocal8 "TYPE L 8"

    void List();
    void NList();
    // An empty localFile means the file-name part of remoteFile, in the current folder.
    void Download(const QString& remoteFile, const QString& localFile);
    // An empty remoteFile means the file-name part of localFile.
    void Upload(const QString& localFile, const QString& remoteFile);

    // --- Pure helpers -------------------------------------------------------------------
    static TCmdType CommandTypeOf(const QString& command);
    // The size announced in a reply: the digits just before the first "BYTE"; 0 if none.
    static qint64 SizeFromReply(const QString& line);
    // A listing line without its line end; a line of one or two characters stays whole.
    static QString StripListingLineEnd(const QString& line);
    // A reply line that announces more lines of the same reply.
    static bool IsContinuation(const QString& line);
    // Whether `line` is the last line of the multi-line reply that `first` opened: the one
    // that starts with the same code and a blank. Lines between may look like anything.
    static bool IsLastLineOf(const QString& first, const QString& line);
    // The length of the complete reply at the front of `bytes`, or -1 while it is not
    // complete yet.
    static qsizetype ReplyLength(QByteArrayView bytes);
    static bool HoldsLineBreak(const QString& text);

    struct TransferKind;

protected:
    void NotifyConnected() override {}
    void DataArrived() override; // a 421/426 while no reply is awaited aborts the transfer
    void WaitTimedOut() override;

private:
    void dropOutOfStepSession();
    [[noreturn]] void outOfStep(const QString& message);
    void requireReplyCode(const QString& line);
    // Reads the rest of the reply that `first` opened, reporting each line and keeping it in
    // `rest` when given.
    void SkipContinuation(const QString& first, QStringList* rest = nullptr);
    QString transact(const QString& command, QStringList* rest);
    QString readReply(); // a whole reply that answers no command of ours; its first line
    bool failureReplyWaiting() const;
    QString DrainAfterAbort();
    QString readReplyLine();
    void refuseLineBreak(const QString& text) const;
    bool failureHandled(TCmdType type);
    void raiseReplyFailure(TCmdType type, const QString& reply);
    void prepareParser();

    // A transfer runs four steps: open the data channel (listen, local file, PORT), send the
    // command, run the data phase (the server's connection, the data, the close), read the
    // completion; then its result is judged.
    class TransferChannel;
    struct TransferRun;
    void transfer(const TransferKind& kind, const QString& remoteFile, const QString& localFile);
    void openDataChannel(TransferRun& run);
    void sendCommand(TransferRun& run);
    void runDataPhase(TransferRun& run);
    void moveData(TransferRun& run);
    void readCompletion(TransferRun& run);
    void finishTransfer(TransferRun& run, std::exception_ptr error);
    QString transferAbandoned(bool serverConnected) const;

    TAsyncSocket* m_data = nullptr;
    std::unique_ptr<TFTPDirectoryList> m_directoryList;
    bool m_readingReply = false;    // a reply is awaited: a 421/426 is that reply, not an abort
    bool m_serverAbortSeen = false; // a 421/426 arrived while no reply was awaited
};

} // namespace vantor
