// The controller's listing as the remote panel classifies it, and the devices it knows.

#include "transfer/RemoteBrowser.h"

#include <QtTest>

using namespace vantor;

Q_DECLARE_METATYPE(ListingEntry::Kind)

class TestRemoteListing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void classifies_data();
    void classifies();
    void knownDrives_data();
    void knownDrives();
};

void TestRemoteListing::classifies_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<ListingEntry::Kind>("kind");
    QTest::addColumn<QString>("name");
    using K = ListingEntry::Kind;
    QTest::newRow("title") << "                            Directory of /h0/QEL_V4  2026/12/08 10:15"
                           << K::Skipped << "";
    QTest::newRow("header") << " Owner     Last modified  Attributes Sector Bytecount Name" << K::Skipped
                            << "";
    QTest::newRow("ruler") << "-------    -------------  ---------- ------ --------- ----" << K::Skipped
                           << "";
    QTest::newRow("folder") << "    0.0    26/12/01 0915   d-ewrewr       1A0       192 CMDS" << K::Folder
                            << "CMDS";
    QTest::newRow("file") << "    0.0    26/12/01 0915   ----r-wr       2B4      1234 startup" << K::File
                          << "startup";
    QTest::newRow("owner 12.3") << "   12.3    26/12/01 0915   ----r-wr       2B4      1234 x.c" << K::File
                                << "x.c";
    QTest::newRow("owner -1") << "   -1.0    26/12/01 0915   ----r-wr       2B4      1234 y" << K::Skipped
                              << "";
    QTest::newRow("owner not a number")
        << "  abc.0    26/12/01 0915   ----r-wr       2B4      1234 y" << K::Skipped << "";
    QTest::newRow("empty") << "" << K::Skipped << "";
    QTest::newRow("owner, no attributes") << "    7 lonely" << K::File << "    7 lonely";
    QTest::newRow("folder named dotdot")
        << "    0.0    26/12/01 0915   d-ewrewr       1A0       192 .." << K::Folder << "..";
    QTest::newRow("file with slash") << "    0.0    26/12/01 0915   ----r-wr       2B4         3 a/b"
                                     << K::File << "a/b";
    QTest::newRow("trailing blank kept")
        << "    0.0    26/12/01 0915   ----r-wr       2B4         3 tail " << K::File << "tail ";
}

void TestRemoteListing::classifies() {
    QFETCH(QString, line);
    QFETCH(ListingEntry::Kind, kind);
    QFETCH(QString, name);
    const ListingEntry entry = classifyListingLine(line);
    QCOMPARE(entry.kind, kind);
    if (kind != ListingEntry::Kind::Skipped)
        QCOMPARE(entry.name, name);
}

void TestRemoteListing::knownDrives_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("known");
    for (const char* d : {"/h0", "/m0", "/dd", "/h1", "/h6"})
        QTest::newRow(d) << QString::fromLatin1(d) << true;
    QTest::newRow("/h") << "/h" << false;
    QTest::newRow("/H0") << "/H0" << false;
    QTest::newRow("/h0/") << "/h0/" << false;
    QTest::newRow("/h2") << "/h2" << false;
    QTest::newRow("empty") << "" << false;
}

void TestRemoteListing::knownDrives() {
    QFETCH(QString, text);
    QFETCH(bool, known);
    QCOMPARE(RemoteBrowser::IsKnownDrive(text), known);
}

QTEST_GUILESS_MAIN(TestRemoteListing)
#include "tst_remotelisting.moc"
