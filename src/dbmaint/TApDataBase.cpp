#include "TApDataBase.h"

#include "DatabaseAliases.h"
#include "DatabaseErrors.h"

#include <cmath>
#include <limits>

namespace vantor {

namespace {

const QString kQelAlias = QStringLiteral("QelDataBase");
const QString kDaxAlias = QStringLiteral("DaxDataBase");

// Values of fields 0 to 20 of one record; the Align fields 21 to 28 of a QEL record are 0.0.
QVariantList apertureRecord(int apNo, bool lowCurrent, double probeCurrent, double beamSize, double accV,
                            double ibm, double apX) {
    QVariantList v{apNo, lowCurrent, 9.3, 9.3, 5.0, 5.0};
    for (int field = 6; field <= 13; ++field) // StigmaX to Brightness
        v << 0.0;
    v << probeCurrent << beamSize << accV << ibm << 1.0 << apX << 2500.0;
    return v;
}

QVariantList qelStandardRecord(int apNo, double accV) {
    QVariantList v = apertureRecord(apNo, true, 1.0, 4.0, accV, 0.6, 12500.0);
    for (int align = 21; align <= 28; ++align)
        v << 0.0;
    return v;
}

// The fifteen records a new DAX table starts with.
QVariantList daxInitialRecord(int apNo) {
    struct Row {
        bool low;
        double probe, beam, ibm, apXThousands;
    };
    static const Row rows[] = {
        {false, 3000.0, 500.0, 0.8, 0}, {true, 500.0, 500.0, 0.6, 0},   {false, 1000.0, 100.0, 0.8, 5},
        {true, 70.0, 500.0, 0.6, 5},    {false, 300.0, 50.0, 0.8, 7.5}, {true, 20.0, 50.0, 0.6, 7.5},
        {false, 80.0, 10.0, 0.8, 10},   {true, 15.0, 10.0, 0.6, 10},    {false, 5.0, 4.0, 0.8, 12.5}};
    const Row r = apNo < 9 ? rows[apNo] : Row{true, 1.0, 4.0, 0.6, 12.5};
    return apertureRecord(apNo, r.low, r.probe, r.beam, 30.0, r.ibm, r.apXThousands * 1000.0);
}

} // namespace

const QStringList& TApDataBase::tableNames() {
    static const QStringList names{QStringLiteral("ApCtrl5kV.db"),  QStringLiteral("ApCtrl10kV.db"),
                                   QStringLiteral("ApCtrl15kV.db"), QStringLiteral("ApCtrl20kV.db"),
                                   QStringLiteral("ApCtrl25kV.db"), QStringLiteral("ApOpticsCtrl.db")};
    return names;
}

const QStringList& TApDataBase::fieldNames() {
    static const QStringList names{
        QStringLiteral("AP-No"),         QStringLiteral("Low-Cur"),       QStringLiteral("C.L."),
        QStringLiteral("O.L.C"),         QStringLiteral("O.L.F"),         QStringLiteral("O.L.S.F"),
        QStringLiteral("StigmaX"),       QStringLiteral("StigmaY"),       QStringLiteral("ShiftX"),
        QStringLiteral("ShiftY"),        QStringLiteral("AlignX"),        QStringLiteral("AlignY"),
        QStringLiteral("Contrast"),      QStringLiteral("Brightness"),    QStringLiteral("ProbeCurrent"),
        QStringLiteral("Beam Size"),     QStringLiteral("AccV"),          QStringLiteral("Ibm"),
        QStringLiteral("FilW"),          QStringLiteral("AP-X address"),  QStringLiteral("AP-Y address"),
        QStringLiteral("Align1-ShiftX"), QStringLiteral("Align1-ShiftY"), QStringLiteral("Align1-TiltX"),
        QStringLiteral("Align1-TiltY"),  QStringLiteral("Align2-ShiftX"), QStringLiteral("Align2-ShiftY"),
        QStringLiteral("Align2-TiltX"),  QStringLiteral("Align2-TiltY")};
    return names;
}

TApDataBase::TApDataBase(const DatabaseAliases* aliases) : TTable(aliases) {
    if (m_prepareOnce)
        PrepareApTables();
}

void TApDataBase::SelectApTable(int index) {
    if (index >= 0 && index < tableNames().size())
        setTableName(tableNames().at(index));
}

QList<paradox::FieldDef> TApDataBase::fieldDefs(int count) const {
    QList<paradox::FieldDef> defs;
    for (int i = 0; i < count; ++i) {
        if (i == 0)
            defs.append({fieldNames()[i], paradox::FieldType::Long, 4});
        else if (i == 1)
            defs.append({fieldNames()[i], paradox::FieldType::Logical, 1});
        else
            defs.append({fieldNames()[i], paradox::FieldType::Number, 8});
    }
    return defs;
}

double TApDataBase::accelerationVoltage(const QString& tableName) {
    const QStringList& names = tableNames();
    const int index = int(names.indexOf(tableName));
    return index >= 0 && index < 5 ? 5.0 * (index + 1) : 30.0;
}

void TApDataBase::PrepareApTables() {
    m_prepareOnce = false;
    for (const QString& name : tableNames()) {
        close();
        const auto prepare = [&](quint8 family, const QString& alias,
                                 void (TApDataBase::*step)(const QString&)) {
            m_family = family;
            setDatabaseName(alias);
            try {
                (this->*step)(name);
            } catch (const Error& e) {
                close();
                m_errors.append(QStringLiteral("%1 (%2): %3").arg(name, alias, e.message()));
            }
        };
        if (aliasDefined(kDaxAlias))
            prepare(2, kDaxAlias, &TApDataBase::PrepareDaxApTable);
        if (aliasDefined(kQelAlias))
            prepare(1, kQelAlias, &TApDataBase::PrepareQelApTable);
    }
}

void TApDataBase::PrepareQelApTable(const QString& tableName) {
    setTableName(tableName);
    const double accV = accelerationVoltage(tableName);
    if (!exists()) {
        createTable(fieldDefs(kQelFields), 1);
        open();
        appendRecord(qelStandardRecord(0, accV));
    } else {
        open();
    }
    const int count = recordCount();
    if (table().fieldIndex(QStringLiteral("Align1-ShiftX")) < 0 && m_family == 1) {
        close();
        for (int i = 21; i < kQelFields; ++i)
            AddTableField({fieldNames()[i], 7});
        open();
        for (int apNo = 0; apNo < count; ++apNo) {
            if (!findKey({apNo}))
                continue;
            edit();
            for (int i = 21; i < kQelFields; ++i)
                setFieldValue(fieldNames()[i], 0.0);
            post();
        }
    }
    QList<QByteArray> added;
    for (int apNo = count; apNo < kQelRecords; ++apNo) {
        if (table().findKey({apNo}) >= 0)
            continue; // a gap below: the number is taken, a second record would violate the key
        added.append(table().recordFrom(qelStandardRecord(apNo, accV)));
    }
    table().appendRecords(added);
    close();
}

void TApDataBase::PrepareDaxApTable(const QString& tableName) {
    setTableName(tableName);
    QList<QByteArray> added;
    if (!exists()) {
        createTable(fieldDefs(kDaxFields), 1);
        open();
        for (int apNo = 0; apNo < kDaxRecords; ++apNo)
            added.append(table().recordFrom(daxInitialRecord(apNo)));
    } else {
        open();
        for (int apNo = recordCount(); apNo < kDaxRecords; ++apNo) {
            if (table().findKey({apNo}) >= 0)
                continue;
            added.append(table().recordFrom(apertureRecord(apNo, true, 1.0, 4.0, 30.0, 0.6, 12500.0)));
        }
    }
    table().appendRecords(added);
    close();
}

double TApDataBase::ReadApValue(const QString& field, int apNo) {
    const bool wasOpen = active();
    open();
    double value = std::numeric_limits<double>::quiet_NaN();
    try {
        if (findKey({apNo}))
            value = fieldValue(field).toDouble();
    } catch (...) {
        if (!wasOpen)
            close();
        throw;
    }
    if (!wasOpen)
        close();
    return value;
}

void TApDataBase::WriteApValue(const QString& field, int apNo, double value) {
    open();
    try {
        if (!findKey({apNo}))
            throw DatabaseError(QStringLiteral("Aperture %1 is not in table \"%2\"; nothing was written")
                                    .arg(apNo)
                                    .arg(tableName()));
        edit();
        setFieldValue(field, value);
        post();
    } catch (...) {
        close();
        throw;
    }
    close();
}

void TApDataBase::AddTableField(const FieldDescription& description) {
    paradox::FieldDef def{description.name, paradox::FieldType::Number, 8};
    switch (description.logicalType) {
    case 1: // string
        def = {description.name, paradox::FieldType::Alpha, description.length};
        break;
    case 2:
        def = {description.name, paradox::FieldType::Date, 4};
        break;
    case 4:
        def = {description.name, paradox::FieldType::Logical, 1};
        break;
    case 5:
        def = {description.name, paradox::FieldType::Short, 2};
        break;
    case 6: // 32-bit integer, subtype 29 counts by itself
        def = {description.name,
               description.subType == 29 ? paradox::FieldType::AutoInc : paradox::FieldType::Long, 4};
        break;
    case 7: // float, subtype 21 is money
        def = {description.name,
               description.subType == 21 ? paradox::FieldType::Currency : paradox::FieldType::Number, 8};
        break;
    case 8:
        def = {description.name, paradox::FieldType::Bcd, description.precision};
        break;
    case 9:
        def = {description.name, paradox::FieldType::Bytes, description.length};
        break;
    case 10:
        def = {description.name, paradox::FieldType::Time, 4};
        break;
    case 11:
        def = {description.name, paradox::FieldType::Timestamp, 8};
        break;
    default:
        throw DatabaseError(
            QStringLiteral("Field type %1 cannot be added to a table").arg(description.logicalType));
    }

    const bool wasOpen = active();
    close();
    setExclusive(true);
    try {
        open();
        if (!active())
            throw DatabaseError(QStringLiteral("Table must be opened to restructure"));
        if (!exclusive())
            throw DatabaseError(QStringLiteral("Table must be opened exclusivelyto restructure"));
        if (tableType() != u"PARADOX" && tableType() != u"DBASE")
            throw DatabaseError(QStringLiteral("Field altering can only occur on Paradox or dBASE tables"));
        table().addField(def);
    } catch (...) {
        close();
        setExclusive(false);
        throw;
    }
    close();
    setExclusive(false);
    if (wasOpen)
        open();
}

} // namespace vantor
