// Paradox tables as the database page opens them, whatever the file holds: either the
// table is refused with a database error, or every record of it reads with the size the
// header gives, and every field decodes and shows, or is refused, without harm. A value
// read from a field and stored again reads back the same.

#include "FuzzSupport.h"

#include "dbmaint/DatabaseErrors.h"
#include "dbmaint/ParadoxTable.h"

#include <QDateTime>
#include <QDebug>

#include <cmath>

using namespace vantor;

namespace {

bool comparable(const QVariant& value) {
    // A stored NaN is no number to compare; text read through a code page may hold
    // characters the page writes back otherwise; a date outside the years 1 to 9999 the
    // engine's calendar knows has no written form to be stored as.
    const auto inCalendar = [](const QDate& date) {
        return date.isValid() && date.year() >= 1 && date.year() <= 9999;
    };
    switch (value.typeId()) {
    case QMetaType::Double:
        return !std::isnan(value.toDouble());
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() && inCalendar(value.toDateTime().date());
    case QMetaType::QDate:
        return inCalendar(value.toDate());
    case QMetaType::QTime:
        return value.toTime().isValid();
    case QMetaType::Int:
    case QMetaType::Bool:
        return true;
    default:
        // Text read through a code page, and raw bytes, which a field of another width or
        // a damaged header may hold in a form the field cannot store back.
        return false;
    }
}

QString describe(const QVariant& value) {
    QString text;
    QDebug(&text) << value;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    ParadoxTable table;
    try {
        table.openBytes(bytes);
    } catch (const DatabaseError&) {
        return 0;
    }
    VANTOR_FUZZ_CHECK(table.recordCount() >= 0, fuzz::hex(bytes.left(128)));
    const int fields = int(table.fields().size());
    // Enough rows to cross block boundaries; the rest reads the same way.
    for (int row = 0; row < std::min(table.recordCount(), 300); ++row) {
        QByteArray record;
        try {
            record = table.record(row);
        } catch (const DatabaseError&) {
            continue;
        }
        VANTOR_FUZZ_CHECK(record.size() == table.header().recordSize, fuzz::hex(bytes.left(128)));
        for (int field = 0; field < fields; ++field) {
            try {
                const QVariant value = table.decode(record, field);
                table.displayText(record, field);
                if (!comparable(value))
                    continue;
                QByteArray stored = table.blankRecord();
                table.encode(stored, field, value);
                VANTOR_FUZZ_CHECK(table.decode(stored, field) == value,
                                  QStringLiteral("field %1 (%2): %3 stored, %4 read back\nheader %5")
                                      .arg(field)
                                      .arg(table.fields().at(field).name, describe(value),
                                           describe(table.decode(stored, field)),
                                           fuzz::hex(bytes.left(128))));
            } catch (const DatabaseError&) {
            } catch (const ConversionError&) {
            }
        }
    }
    return 0;
}
