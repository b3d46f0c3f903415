#include "transfer/IonKillModule.h"
#include "transfer/Os9Module.h"

#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace vantor;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Change = std::function<void(Bytes&)>;

Bytes toBytes(const QByteArray& data) {
    return Bytes(data.begin(), data.end());
}

QByteArray toQt(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

quint32 longAt(const QByteArray& b, int at) {
    return (quint32(quint8(b[at])) << 24) | (quint32(quint8(b[at + 1])) << 16) |
           (quint32(quint8(b[at + 2])) << 8) | quint8(b[at + 3]);
}

void putLong(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// A valid module of another size and edition, as a site's own module would be.
Bytes siteModule(std::size_t size = 20000, std::uint16_t edition = 12) {
    Bytes m = os9::buildStandInModule();
    m.resize(size, 0);
    putLong(m, 0x04, std::uint32_t(size));
    m[0x16] = std::uint8_t(edition >> 8);
    m[0x17] = std::uint8_t(edition);
    os9::seal(m);
    return m;
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestIonKillModule : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void crcCheckValue();
    void carriedModuleHeader();
    void carriedModuleBody();
    void carriedAsUpperCaseHexText();
    void refusedModules_data();
    void refusedModules();
    void generatorTakesValidSiteModule();
    void generatorRefuses_data();
    void generatorRefuses();
    void writtenFileIsTheModule();
    void writeReplacesPlantedLinkNotItsTarget();
    void writeFailureRaisesFileError();
};

void TestIonKillModule::crcCheckValue() {
    const QByteArray text("123456789");
    const Bytes b = toBytes(text);
    QCOMPARE(os9::crc24(b), 0x200FA5u);
}

void TestIonKillModule::carriedModuleHeader() {
    const QByteArray m = IonKillModule::bytes();
    QCOMPARE(m.size(), 17738);
    QCOMPARE(m.left(4), QByteArray::fromHex("4AFC0001"));
    QCOMPARE(longAt(m, 0x04), 17738u);

    os9::ModuleInfo info;
    const Bytes b = toBytes(m);
    QCOMPARE(QString::fromStdString(os9::checkProgramModule(b, "ionkill", &info)), QString());
    QCOMPARE(info.name, std::string("ionkill"));
    QCOMPARE(info.type, os9::kTypeProgram);
    QCOMPARE(info.language, os9::kLanguageObjectCode);
    QCOMPARE(info.attributes, os9::kAttributeReentrant);
    QCOMPARE(info.edition, std::uint16_t(7));

    // The checks as the controller makes them: all 24 header words XOR to FFFF, and the CRC
    // run over the whole module, its own three bytes included, leaves the residue.
    quint16 x = 0;
    for (int at = 0; at < 0x30; at += 2)
        x ^= quint16((quint8(m[at]) << 8) | quint8(m[at + 1]));
    QCOMPARE(x, quint16(0xFFFF));
    QCOMPARE(os9::crc24Accumulate(b), 0x800FE3u);
}

void TestIonKillModule::carriedModuleBody() {
    QVERIFY(IonKillModule::isStandIn());
    const QByteArray m = IonKillModule::bytes();
    const quint32 entry = longAt(m, 0x30);
    QCOMPARE(entry % 2, 0u);
    QCOMPARE(m.mid(int(entry), 6), QByteArray::fromHex("72004E400006")); // exit with status 0
    // Initialised data and pointer fixups: present and empty.
    for (const int field : {0x40, 0x44}) {
        const quint32 at = longAt(m, field);
        QVERIFY(at >= 0x48 && at + 8 < quint32(m.size()));
        QCOMPARE(m.mid(int(at), 8), QByteArray(8, '\0'));
    }
    QCOMPARE(m.mid(int(longAt(m, 0x0C)), 8), QByteArray("ionkill\0", 8));
    QVERIFY(IonKillModule::description().contains(QStringLiteral("stops nothing")));
    QVERIFY(IonKillModule::description().startsWith(QStringLiteral("ionkill edition 7, 17738 bytes")));
}

void TestIonKillModule::carriedAsUpperCaseHexText() {
    const QByteArrayView text = IonKillModule::hexText();
    QCOMPARE(text.size(), 35476);
    for (const char c : text)
        QVERIFY2((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), qPrintable(QString(QChar(c))));
    QCOMPARE(text.data()[text.size()], '\0');
}

void TestIonKillModule::refusedModules_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("problem");
    const auto resealed = [](Change c) {
        return Change([c](Bytes& m) {
            c(m);
            os9::seal(m);
        });
    };
    QTest::newRow("too short") << Change([](Bytes& m) { m.resize(0x40); }) << "too short";
    QTest::newRow("no sync code") << resealed([](Bytes& m) { m[0] = 0x87; }) << "sync code";
    QTest::newRow("6809 sync code") << resealed([](Bytes& m) { m[0] = 0x87, m[1] = 0xCD; }) << "sync code";
    QTest::newRow("truncated") << Change([](Bytes& m) { m.resize(m.size() - 100); }) << "size field";
    QTest::newRow("size field") << resealed([](Bytes& m) { putLong(m, 0x04, 17737); }) << "size field";
    QTest::newRow("parity") << Change([](Bytes& m) { m[0x2F] ^= 1; }) << "parity";
    QTest::newRow("header field, old parity") << Change([](Bytes& m) { m[0x17] = 8; }) << "parity";
    QTest::newRow("body byte, old CRC") << Change([](Bytes& m) { m[0x100] = 1; }) << "CRC";
    QTest::newRow("CRC byte") << Change([](Bytes& m) { m.back() ^= 0x80; }) << "CRC";
    QTest::newRow("other name") << resealed([](Bytes& m) { m[0x48] = 'I'; }) << "named \"Ionkill\"";
    QTest::newRow("longer name") << resealed([](Bytes& m) { m[0x4F] = 'x'; }) << "named \"ionkillx\"";
    QTest::newRow("name offset outside")
        << resealed([](Bytes& m) { putLong(m, 0x0C, std::uint32_t(m.size())); }) << "outside";
    QTest::newRow("name in the header") << resealed([](Bytes& m) { putLong(m, 0x0C, 0x10); }) << "outside";
    QTest::newRow("name without end") << resealed([](Bytes& m) {
        putLong(m, 0x0C, std::uint32_t(m.size() - 10));
        std::fill(m.end() - 10, m.end(), 'k');
    }) << "zero byte";
    QTest::newRow("data module") << resealed([](Bytes& m) { m[0x12] = 4; }) << "not 1 (program)";
}

void TestIonKillModule::refusedModules() {
    QFETCH(Change, change);
    QFETCH(QString, problem);
    Bytes m = os9::buildStandInModule();
    change(m);
    const QString found = QString::fromStdString(os9::checkProgramModule(m, "ionkill"));
    QVERIFY2(found.contains(problem), qPrintable(found));
}

namespace {
struct GeneratorRun {
    int exitCode = -1;
    QString errors;
};

GeneratorRun runGenerator(const QStringList& arguments) {
    QProcess gen;
    gen.start(QStringLiteral(VANTOR_IONKILL_GEN), arguments);
    if (!gen.waitForFinished(30000)) {
        gen.kill();
        gen.waitForFinished(5000);
        return {};
    }
    return {gen.exitStatus() == QProcess::NormalExit ? gen.exitCode() : -1,
            QString::fromLocal8Bit(gen.readAllStandardError())};
}
} // namespace

void TestIonKillModule::generatorTakesValidSiteModule() {
    QTemporaryDir dir;
    const QString module = dir.filePath(QStringLiteral("site ionkill.mod"));
    const QString out = dir.filePath(QStringLiteral("IonKillData.cpp"));
    const Bytes site = siteModule();
    QVERIFY(writeFile(module, toQt(site)));
    const GeneratorRun run = runGenerator({"--out", out, "--module", module});
    QCOMPARE(run.exitCode, 0);
    const QByteArray source = readFile(out);
    QVERIFY(source.contains("kStandIn = false"));
    QVERIFY(source.contains("kEdition = 12"));
    QVERIFY(source.contains("kOrigin[] = \"site ionkill.mod\""));
    QVERIFY(source.contains("kHexDigits = 40000"));
    // The digit lines, joined, are the file's bytes in upper-case hexadecimal.
    QByteArray digits;
    for (const QByteArray& line : source.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.size() > 2 && t.startsWith('"') && t.endsWith('"') && !t.contains(' '))
            digits += t.mid(1, t.size() - 2);
    }
    QCOMPARE(digits, toQt(site).toHex().toUpper());
}

void TestIonKillModule::generatorRefuses_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    Bytes badCrc = siteModule();
    badCrc[500] ^= 0xFF;
    Bytes otherName = siteModule();
    std::copy_n("abortit", 7, otherName.begin() + 0x48);
    os9::seal(otherName);
    QTest::newRow("empty file") << QByteArray() << "too short";
    QTest::newRow("text file") << QByteArray(200, 'x') << "sync code";
    QTest::newRow("bad CRC") << toQt(badCrc) << "CRC";
    QTest::newRow("other name") << toQt(otherName) << "named \"abortit\"";
    QTest::newRow("missing file") << QByteArray("-") << "cannot be read";
}

void TestIonKillModule::generatorRefuses() {
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString module = dir.filePath(QStringLiteral("ionkill.mod"));
    const QString out = dir.filePath(QStringLiteral("IonKillData.cpp"));
    if (content != "-")
        QVERIFY(writeFile(module, content));
    QVERIFY(writeFile(out, "// the previous build's module\n"));
    const GeneratorRun run = runGenerator({"--out", out, "--module", module});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains(QStringLiteral("refused")) && run.errors.contains(problem),
             qPrintable(run.errors));
    QCOMPARE(readFile(out), QByteArray("// the previous build's module\n"));
}

void TestIonKillModule::writtenFileIsTheModule() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("ionkill"));
    QVERIFY(writeFile(file, QByteArray(50000, 'z'))); // a longer file is replaced, not overwritten in part
    IonKillModule::write(file);
    const QByteArray written = readFile(file);
    QCOMPARE(written.size(), 17738);
    QCOMPARE(written, IonKillModule::bytes());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ionkill"});
}

void TestIonKillModule::writeReplacesPlantedLinkNotItsTarget() {
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim"));
    QVERIFY(writeFile(victim, "precious"));
    const QString file = dir.filePath(QStringLiteral("ionkill"));
    QVERIFY(QFile::link(victim, file));
    IonKillModule::write(file);
    QCOMPARE(readFile(victim), QByteArray("precious"));
    QVERIFY(!QFileInfo(file).isSymLink());
    QCOMPARE(readFile(file), IonKillModule::bytes());
}

void TestIonKillModule::writeFailureRaisesFileError() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("no such folder/ionkill"));
    try {
        IonKillModule::write(file);
        QFAIL("no error raised");
    } catch (const FileError& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot create file")), qPrintable(e.message()));
        QVERIFY(e.message().contains(QStringLiteral("no such folder")));
    }
}

QTEST_GUILESS_MAIN(TestIonKillModule)
#include "tst_ionkillmodule.moc"
