// The FTP engine's pure parts: reply codes, announced sizes, command types, listing lines,
// the listing parser, vendor detection, PORT texts, the socket error texts and the socket's
// input and output buffers.

#include "ftp/FtpClient.h"
#include "ftp/InputBuffer.h"
#include "ftp/SendPump.h"
#include "support/SocketErrors.h"

#include <QBuffer>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace vantor;

class TestFtpText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replyCode_data();
    void replyCode();
    void continuation_data();
    void continuation();
    void replyEnd_data();
    void replyEnd();
    void inputBuffer_data();
    void inputBuffer();
    void sendPump_data();
    void sendPump();
    void announcedSize_data();
    void announcedSize();
    void commandType_data();
    void commandType();
    void listingLineEnd_data();
    void listingLineEnd();
    void columns_data();
    void columns();
    void unixRecord_data();
    void unixRecord();
    void listsGrowInStepAndClear();
    void vendorFromSyst_data();
    void vendorFromSyst();
    void parserForVendor();
    void portTexts_data();
    void portTexts();
    void lineBreaks_data();
    void lineBreaks();
    void socketErrorTexts_data();
    void socketErrorTexts();
    void platformErrorsMapToWinsockNumbers_data();
    void platformErrorsMapToWinsockNumbers();
    void commandTypeNames();
};

void TestFtpText::replyCode_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");
    QTest::newRow("230 and a space") << "230 User logged in.\r\n" << 230;
    QTest::newRow("continuation dash") << "220-Welcome\r\n" << 220;
    QTest::newRow("no leading digits") << "hello\r\n" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("leading zeros") << "007 x" << 7;
    QTest::newRow("beyond 16 bits") << "99999 x" << 0;
    QTest::newRow("largest 16-bit") << "32767 x" << 32767;
    QTest::newRow("eleven digits read as ten") << "12345678901" << 0;
    QTest::newRow("digits stop at letter") << "12a" << 12;
    QTest::newRow("space first") << " 230" << 0;
}

void TestFtpText::replyCode() {
    QFETCH(QString, line);
    QFETCH(int, code);
    QCOMPARE(int(TAsyncSocket::ReplyCodeOf(line)), code);
}

void TestFtpText::continuation_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("continues");
    QTest::newRow("220-") << "220-Welcome\r\n" << true;
    QTest::newRow("220 space") << "220 ready\r\n" << false;
    QTest::newRow("leading space") << " text\r\n" << true;
    QTest::newRow("short dash line") << "22-" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dash at fourth of garbage") << "abc-def" << true;
}

void TestFtpText::continuation() {
    QFETCH(QString, line);
    QFETCH(bool, continues);
    QCOMPARE(TFtpClient::IsContinuation(line), continues);
}

// Where a reply ends in what the control connection holds: only at the line with the first
// line's code and a blank, whatever the lines between look like.
void TestFtpText::replyEnd_data() {
    QTest::addColumn<QByteArray>("buffered");
    QTest::addColumn<int>("length"); // -1: not complete yet
    QTest::newRow("single line") << QByteArray("200 OK\r\n226 next") << 8;
    QTest::newRow("half a line") << QByteArray("200 O") << -1;
    QTest::newRow("prefixed continuation")
        << QByteArray("550-No such file\r\n second line\r\n550 End\r\n") << 41;
    QTest::newRow("unprefixed middle line")
        << QByteArray("220-Welcome to the controller\r\nPlease log in\r\n220 Ready\r\n") << 57;
    QTest::newRow("another code with a blank does not end it")
        << QByteArray("220-Welcome\r\n230 not yet\r\n220 Ready\r\n") << 37;
    QTest::newRow("own code with a dash does not end it") << QByteArray("250-a\r\n250-b\r\n250 c\r\n") << 21;
    QTest::newRow("own code without blank does not end it") << QByteArray("250-a\r\n250\r\n") << -1;
    QTest::newRow("end not arrived yet") << QByteArray("425-Can't\r\nfirewall\r\n") << -1;
    QTest::newRow("last line without its line end") << QByteArray("425-Can't\r\n425 End") << -1;
}

void TestFtpText::replyEnd() {
    QFETCH(QByteArray, buffered);
    QFETCH(int, length);
    QCOMPARE(int(TFtpClient::ReplyLength(buffered)), length);
}

// Bytes arrive in pieces and are taken line by line from the front; what has no line end
// yet stays.
void TestFtpText::inputBuffer_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("rest");
    using Bytes = QList<QByteArray>;
    QTest::newRow("two lines in one piece") << Bytes{"a\r\nb\n"} << Bytes{"a\r\n", "b\n"} << QByteArray();
    QTest::newRow("line split over pieces")
        << Bytes{"ab", "c\r", "\nd"} << Bytes{"abc\r\n"} << QByteArray("d");
    QTest::newRow("no line end yet") << Bytes{"xyz", "w"} << Bytes{} << QByteArray("xyzw");
    QTest::newRow("empty lines") << Bytes{"\n\n"} << Bytes{"\n", "\n"} << QByteArray();
    QTest::newRow("nothing") << Bytes{} << Bytes{} << QByteArray();
    const QByteArray line = "0123456789abcde\n";
    QTest::newRow("long stream, taken from the front") // well past the point where it compacts
        << Bytes{line.repeated(6000), line.repeated(6000) + "tail"} << Bytes(12000, line)
        << QByteArray("tail");
}

void TestFtpText::inputBuffer() {
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, rest);
    TInputBuffer in;
    QList<QByteArray> taken;
    for (const QByteArray& piece : pieces) {
        in.append(piece.constData(), piece.size());
        for (qsizetype at = in.indexOfLf(); at >= 0; at = in.indexOfLf())
            taken << in.take(at + 1);
    }
    QCOMPARE(taken, lines);
    QCOMPARE(in.unread().toByteArray(), rest);
    QCOMPARE(in.size(), rest.size());
    in.clear();
    QVERIFY(in.isEmpty());
}

// Whatever part of each piece the socket takes, the bytes go out once each and in order,
// from memory as from a file.
void TestFtpText::sendPump_data() {
    QTest::addColumn<bool>("fromFile");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QList<int>>("takes"); // what the socket takes of successive pieces; -1 all
    QTest::newRow("memory, taken whole") << false << 30 << QList<int>{-1};
    QTest::newRow("memory, taken in part") << false << 30 << QList<int>{10};
    QTest::newRow("file, taken whole") << true << 30 << QList<int>{-1};
    QTest::newRow("file, taken in part") << true << 30 << QList<int>{7};
    QTest::newRow("file, refused once") << true << 64 << QList<int>{0, -1};
}

void TestFtpText::sendPump() {
    QFETCH(bool, fromFile);
    QFETCH(int, pieceSize);
    QFETCH(QList<int>, takes);
    QByteArray data;
    for (int i = 0; i < 200; ++i)
        data.append(char('a' + i % 26));
    QBuffer file(&data);
    QVERIFY(file.open(QIODevice::ReadOnly));
    TSendPump pump;
    if (fromFile)
        pump.sendFile(&file);
    else
        pump.queue(data);
    QByteArray sent;
    for (int round = 0; pump.pending() && round < 1000; ++round) {
        const QByteArrayView piece = pump.next(pieceSize);
        QVERIFY(!piece.isEmpty() && piece.size() <= pieceSize);
        const int take = takes.at(std::min<int>(round, int(takes.size()) - 1));
        const qint64 taken = take < 0 ? piece.size() : std::min<qint64>(take, piece.size());
        sent.append(piece.first(taken).toByteArray());
        pump.consumed(taken);
    }
    QCOMPARE(sent, data);
    QVERIFY(pump.fileError().isEmpty());
}

void TestFtpText::announcedSize_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<qint64>("size");
    QTest::newRow("bytes in parentheses") << "150 Opening BINARY mode data connection for x (1234 bytes).\r\n"
                                          << qint64(1234);
    QTest::newRow("lower case") << "150 data for f (77 bytes)" << qint64(77);
    QTest::newRow("no keyword") << "150 Opening data connection.\r\n" << qint64(0);
    QTest::newRow("BYTE without a digit before") << "Opening: BYTES follow" << qint64(0);
    QTest::newRow("only the reply code before BYTE") << "150 BYTES follow" << qint64(150);
    QTest::newRow("nearest run before BYTE") << "150 file2 has 512 Bytes" << qint64(512);
    QTest::newRow("digits only after") << "Data bytes: 99" << qint64(0);
    QTest::newRow("beyond 32 bits") << "150 (99999999999 bytes)" << qint64(0);
    QTest::newRow("largest 32-bit") << "150 (2147483647 bytes)" << qint64(2147483647);
    QTest::newRow("digit glued to keyword") << "150 (42bytes)" << qint64(42);
}

void TestFtpText::announcedSize() {
    QFETCH(QString, line);
    QFETCH(qint64, size);
    QCOMPARE(TFtpClient::SizeFromReply(line), size);
}

void TestFtpText::commandType_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("type");
    QTest::newRow("CWD /h0") << "CWD /h0" << int(ctChangeDir);
    QTest::newRow("CWD alone") << "CWD" << int(ctChangeDir);
    QTest::newRow("cwd lower case") << "cwd x" << int(ctDoCommand);
    QTest::newRow("MKD") << "MKD new" << int(ctMakeDir);
    QTest::newRow("DELE") << "DELE f" << int(ctDelete);
    QTest::newRow("RMD") << "RMD d" << int(ctRemoveDir);
    QTest::newRow("PWD exactly") << "PWD" << int(ctCurrentDir);
    QTest::newRow("PWD with a space") << "PWD " << int(ctDoCommand);
    QTest::newRow("TYPE I") << "TYPE I" << int(ctDoCommand);
    QTest::newRow("empty") << "" << int(ctDoCommand);
    QTest::newRow("CWDX") << "CWDX a" << int(ctDoCommand);
}

void TestFtpText::commandType() {
    QFETCH(QString, command);
    QFETCH(int, type);
    QCOMPARE(int(TFtpClient::CommandTypeOf(command)), type);
}

void TestFtpText::listingLineEnd_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("item");
    QTest::newRow("CR LF") << "file\r\n"
                           << "file";
    QTest::newRow("LF only") << "file\n"
                             << "file";
    QTest::newRow("only CR LF") << "\r\n"
                                << "\r\n";
    QTest::newRow("only LF") << "\n"
                             << "\n";
    QTest::newRow("one char and CR LF") << "a\r\n"
                                        << "a";
    QTest::newRow("unterminated last line") << "abc"
                                            << "abc";
    QTest::newRow("unterminated two chars") << "ab"
                                            << "ab";
    QTest::newRow("CR inside") << "a\rb\r\n"
                               << "a\rb";
}

void TestFtpText::listingLineEnd() {
    QFETCH(QString, line);
    QFETCH(QString, item);
    QCOMPARE(TFtpClient::StripListingLineEnd(line), item);
}

void TestFtpText::columns_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("single spaces") << "a b c" << QStringList{"a", "b", "c"};
    QTest::newRow("two spaces split as one") << "a  b" << QStringList{"a", "b"};
    QTest::newRow("leading space") << " a" << QStringList{"", "a"};
    QTest::newRow("trailing spaces") << "a  " << QStringList{"a", ""};
    QTest::newRow("empty line") << "" << QStringList{""};
    QTest::newRow("tab is no separator") << "a\tb c" << QStringList{"a\tb", "c"};
    QTest::newRow("long column kept to 255")
        << QString(300, 'x') + " y" << QStringList{QString(255, 'x'), "y"};
    QStringList many;
    for (int i = 1; i <= 30; ++i)
        many << QString::number(i);
    QTest::newRow("thirty columns") << many.join(' ') << many;
}

void TestFtpText::columns() {
    QFETCH(QString, line);
    QFETCH(QStringList, columns);
    TFTPDirectoryList list;
    list.ParseLine(line);
    QCOMPARE(list.Columns, columns);
    QCOMPARE(list.ColumnCount, columns.size());
    QVERIFY(list.Names.isEmpty()); // the base class files nothing
}

void TestFtpText::unixRecord_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("record"); // attributes, name, date, size; empty = not filed
    QTest::newRow("nine columns") << "-rw-r--r--   1 root     root       100000 Dec 08 01:36 rand.bin"
                                  << QStringList{"-rw-r--r--", "rand.bin", "Dec 08 01:36", "100000"};
    QTest::newRow("eight columns, no group") << "drwxr-xr-x 2 owner 4096 Jan 1 2020 CMDS"
                                             << QStringList{"drwxr-xr-x", "CMDS", "Jan 1 2020", "4096"};
    QTest::newRow("total line") << "total 12" << QStringList{};
    QTest::newRow("seven columns") << "a b c d e f g" << QStringList{};
    QTest::newRow("name with spaces") << "-rw-r--r-- 1 u g 10 Dec 08 01:36 my file"
                                      << QStringList{"-rw-r--r--", "file", "08 01:36 my", "Dec"};
    QTest::newRow("OS-9 entry") << "    0.0    26/12/01 0915   ----r-wr       2B4      1234 startup"
                                << QStringList{"", "startup", "----r-wr 2B4 1234", "0915"};
}

void TestFtpText::unixRecord() {
    QFETCH(QString, line);
    QFETCH(QStringList, record);
    TFTPUnixList list;
    list.ParseLine(line);
    if (record.isEmpty()) {
        QVERIFY(list.Names.isEmpty());
        QVERIFY(list.Attributes.isEmpty());
        return;
    }
    QCOMPARE(list.Attributes, QStringList{record.at(0)});
    QCOMPARE(list.Names, QStringList{record.at(1)});
    QCOMPARE(list.ModifDates, QStringList{record.at(2)});
    QCOMPARE(list.Sizes, QStringList{record.at(3)});
}

void TestFtpText::listsGrowInStepAndClear() {
    TFTPUnixList list;
    list.ParseLine("total 8");
    list.ParseLine("-rw-r--r-- 1 u g 1 Dec 08 01:36 a");
    list.ParseLine("-rw-r--r-- 1 u g 2 Dec 08 01:37 b");
    QCOMPARE(list.Names, (QStringList{"a", "b"}));
    QCOMPARE(list.Sizes, (QStringList{"1", "2"}));
    QCOMPARE(list.ModifDates.size(), 2);
    QCOMPARE(list.Attributes.size(), 2);
    list.ClearLists();
    QVERIFY(list.Names.isEmpty() && list.Sizes.isEmpty() && list.ModifDates.isEmpty() &&
            list.Attributes.isEmpty());
}

void TestFtpText::vendorFromSyst_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("vendor");
    QTest::newRow("UNIX") << "215 UNIX Type: L8\r\n" << 2400;
    QTest::newRow("VMS before VM") << "215 VMS system\r\n" << 2406;
    QTest::newRow("MVS before VM") << "215 MVS is the operating system\r\n" << 2408;
    QTest::newRow("VM") << "215 VM/CMS\r\n" << 2402;
    QTest::newRow("NETWARE") << "215 NETWARE\r\n" << 2416;
    QTest::newRow("DOS") << "215 DOS\r\n" << 2401;
    QTest::newRow("MACOS") << "215 MACOS Peter's Server\r\n" << 2404;
    QTest::newRow("OS/400") << "215 OS/400 is the remote operating system\r\n" << 2414;
    QTest::newRow("OS-9") << "215 OS-9\r\n" << 2410;
    QTest::newRow("lower case unix") << "215 unix\r\n" << 2410;
    QTest::newRow("UNIX before NETWARE") << "215 NETWARE on UNIX\r\n" << 2400;
    QTest::newRow("refused") << "502 Command not implemented.\r\n" << 2410;
}

void TestFtpText::vendorFromSyst() {
    QFETCH(QString, reply);
    QFETCH(int, vendor);
    QCOMPARE(VendorFromSystReply(reply), vendor);
}

void TestFtpText::parserForVendor() {
    for (int vendor : {2400, 2401, 2402, 2404, 2406, 2408, 2410, 2414, 2416})
        QVERIFY2(dynamic_cast<TFTPUnixList*>(TFTPDirectoryList::ForVendor(vendor).get()),
                 qPrintable(QString::number(vendor)));
    for (int vendor : {2411, 2403, 0, 1234})
        QVERIFY(!TFTPDirectoryList::ForVendor(vendor));
}

void TestFtpText::portTexts_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("argument");
    QTest::newRow("port 1025") << "192.168.0.5" << 1025 << "192,168,0,5,4,1";
    QTest::newRow("loopback, high port") << "127.0.0.1" << 65535 << "127,0,0,1,255,255";
    QTest::newRow("IPv4-mapped") << "::ffff:128.0.1.2" << 256 << "128,0,1,2,1,0";
}

void TestFtpText::portTexts() {
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, argument);
    QCOMPARE(TAsyncSocket::AddressText(QHostAddress(address)) + TAsyncSocket::PortText(quint16(port)),
             argument);
}

void TestFtpText::lineBreaks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << "CWD /h0/QEL_V4" << false;
    QTest::newRow("CR") << "CWD a\rDELE b" << true;
    QTest::newRow("LF") << "CWD a\nDELE b" << true;
    QTest::newRow("NUL") << QString("MKD a") + QChar(0) + "b" << true;
    QTest::newRow("spaces and quotes") << "MKD \"a b\"" << false;
}

void TestFtpText::lineBreaks() {
    QFETCH(QString, text);
    QFETCH(bool, refused);
    QCOMPARE(TFtpClient::HoldsLineBreak(text), refused);
}

void TestFtpText::socketErrorTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("refused") << 10061 << "10061:Connection refused";
    QTest::newRow("reset") << 10054 << "10054:Connection reset by peer";
    QTest::newRow("host not found") << 11001 << "11001:Host not found";
    QTest::newRow("last entry") << 11004 << "11004:Valid name, no data record of requested type";
    QTest::newRow("zero") << 0 << "";
    QTest::newRow("unknown") << 12345 << "Unknown Error No. 12345";
}

void TestFtpText::socketErrorTexts() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(winsockErrorText(code), text);
    TAsyncSocket socket;
    QCOMPARE(socket.SocketErrorMessage(code), text);
}

void TestFtpText::platformErrorsMapToWinsockNumbers_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("platformText");
    QTest::addColumn<int>("code");
    QTest::newRow("reset, told by its text")
        << int(QAbstractSocket::NetworkError) << QString::fromLocal8Bit(std::strerror(ECONNRESET)) << 10054;
    QTest::newRow("broken pipe") << int(QAbstractSocket::NetworkError)
                                 << QString::fromLocal8Bit(std::strerror(EPIPE)) << 10058;
    QTest::newRow("refused") << int(QAbstractSocket::ConnectionRefusedError) << "Connection refused" << 10061;
    QTest::newRow("refused, Qt's own text") << int(QAbstractSocket::ConnectionRefusedError) << "" << 10061;
    QTest::newRow("timed out") << int(QAbstractSocket::SocketTimeoutError) << "Socket operation timed out"
                               << 10060;
    QTest::newRow("normal close") << int(QAbstractSocket::RemoteHostClosedError) << "The remote host closed"
                                  << 0;
    QTest::newRow("host not found") << int(QAbstractSocket::HostNotFoundError) << "Host not found" << 11001;
    QTest::newRow("address in use") << int(QAbstractSocket::AddressInUseError) << "whatever" << 10048;
}

void TestFtpText::platformErrorsMapToWinsockNumbers() {
    QFETCH(int, error);
    QFETCH(QString, platformText);
    QFETCH(int, code);
    QCOMPARE(winsockErrorOf(QAbstractSocket::SocketError(error), platformText), code);
}

void TestFtpText::commandTypeNames() {
    QCOMPARE(CmdTypeName(ctChangeDir) + " success", QString("ChangeDir success"));
    QCOMPARE(CmdTypeName(ctDownloadRestore), QString("DownloadRestore"));
    QCOMPARE(CmdTypeName(ctDoCommand) + " failure", QString("DoCommand failure"));
    QCOMPARE(CmdTypeName(ctCurrentDir), QString("CurrentDir"));
}

QTEST_GUILESS_MAIN(TestFtpText)
#include "tst_ftptext.moc"
