#include "ConsoleCommands.h"

#include "console/engine/Cp932.h"

namespace vantor {

QByteArray commandLine(QStringView text) {
    return encodeCp932(text) + '\r';
}

QList<QByteArray> batchCommands(const QStringList& lines) {
    QList<QByteArray> out;
    out.reserve(lines.size());
    for (const QString& line : lines)
        out << commandLine(line);
    return out;
}

QByteArray abortCommand() {
    return QByteArray(1, '\x03');
}

QByteArray startQelCommand() {
    return commandLine(u"chd /h0; startqel2");
}

QByteArray adjustTimeCommand(const QDateTime& localNow) {
    return commandLine(
        QString(QStringLiteral("setime ") + localNow.toString(QStringLiteral("yy/MM/dd HH:mm:ss"))));
}

QStringList commandListRows() {
    QStringList rows = {
        QStringLiteral("dir"),
        QStringLiteral("procs -e"),
        QStringLiteral("chd /h0/QEL_V4/CMDS; dir -e"),
        QStringLiteral("chd /h0/QEL_V4/DATA/MANAGER; dir -e"),
        QStringLiteral("chd /h0/QEL_V4/DATA/HARD; dir -e"),
        QStringLiteral("free /h0"),
        QStringLiteral("free /dd"),
        QStringLiteral("mfree -e"),
        QStringLiteral("lestat /le0"),
        QString(),
        QString(),
        QStringLiteral("chd /h0/QEL/HARD/CUSTOMDATA"),
        QStringLiteral("dsave /h0/QEL_V4/CUSTOMDATA/HARD -evdmb100"),
        QStringLiteral("chd /h0/QEL_V4/CUSTOMDATA/HARD"),
        QStringLiteral("dsave /h0/QEL/HARD/CUSTOMDATA -evdmb100"),
    };
    while (rows.size() < 100)
        rows << QString();
    return rows;
}

} // namespace vantor
