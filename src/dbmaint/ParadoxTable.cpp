#include "ParadoxTable.h"

#include "DatabaseErrors.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTextCodec>

extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <numeric>

namespace vantor {

using paradox::FieldDef;
using paradox::FieldType;

namespace {

// Paradox counts days from 1 January of year 1 (day 1); Qt counts Julian days.
constexpr qint64 kJulianOffset = 1721425;
constexpr double kMsPerDay = 86400000.0;
constexpr double kLargestTimestampMs = 1e17; // some three million years

void bootPxlib() {
    static std::once_flag once;
    std::call_once(once, [] { PX_boot(); });
}

bool allZero(const char* data, int size) {
    return std::all_of(data, data + size, [](char c) { return c == 0; });
}

QString blobKind(FieldType type) {
    switch (type) {
    case FieldType::Memo:
        return QStringLiteral("MEMO");
    case FieldType::FmtMemo:
        return QStringLiteral("FMTMEMO");
    case FieldType::Ole:
        return QStringLiteral("OLE");
    case FieldType::Graphic:
        return QStringLiteral("GRAPHIC");
    default:
        return QStringLiteral("BLOB");
    }
}

QString trimmedText(const QVariant& value) {
    return value.toString().trimmed();
}

bool isText(const QVariant& value) {
    return value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
}

double toDouble(const QVariant& value) {
    if (!isText(value)) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (ok)
            return d;
    }
    const QString text = trimmedText(value);
    bool ok = false;
    double d = QLocale::c().toDouble(text, &ok);
    if (!ok)
        d = QLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(d))
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return d;
}

qint64 toInteger(const QVariant& value, qint64 low, qint64 high) {
    qint64 n = 0;
    bool ok = false;
    if (isText(value)) {
        n = trimmedText(value).toLongLong(&ok);
    } else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double d = value.toDouble();
        ok = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e15;
        n = qint64(d);
    } else {
        n = value.toLongLong(&ok);
    }
    if (!ok)
        throw ConversionError(
            QStringLiteral("'%1' is not a valid integer value").arg(value.toString().trimmed()));
    if (n < low || n > high)
        throw ConversionError(
            QStringLiteral("%1 is not within the range %2 to %3").arg(n).arg(low).arg(high));
    return n;
}

QDate toDate(const QVariant& value) {
    if (value.typeId() == QMetaType::QDate)
        return value.toDate();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date();
    const QString text = trimmedText(value);
    for (const char* format :
         {"yyyy-MM-dd", "yyyy/MM/dd", "yyyy/M/d", "dd.MM.yyyy", "d.M.yyyy", "MM/dd/yyyy", "M/d/yyyy"}) {
        const QDate d = QDate::fromString(text, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
}

QTime toTime(const QVariant& value) {
    if (value.typeId() == QMetaType::QTime)
        return value.toTime();
    const QString text = trimmedText(value);
    for (const char* format : {"hh:mm:ss.zzz", "hh:mm:ss", "h:mm:ss", "hh:mm", "h:mm"}) {
        const QTime t = QTime::fromString(text, QLatin1String(format));
        if (t.isValid())
            return t;
    }
    throw ConversionError(QStringLiteral("'%1' is not a valid time").arg(text));
}

QDateTime toDateTime(const QVariant& value) {
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    const QString text = trimmedText(value);
    const int blank = int(text.indexOf(QLatin1Char(' ')));
    if (blank < 0)
        return QDateTime(toDate(text), QTime(0, 0));
    return QDateTime(toDate(text.left(blank)), toTime(text.mid(blank + 1).trimmed()));
}

bool toBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (!isText(value))
        return value.toDouble() != 0.0;
    const QString text = trimmedText(value).toLower();
    if (text == u"true" || text == u"t" || text == u"yes" || text == u"y" || text == u"1")
        return true;
    if (text == u"false" || text == u"f" || text == u"no" || text == u"n" || text == u"0")
        return false;
    throw ConversionError(QStringLiteral("'%1' is not a valid boolean value").arg(trimmedText(value)));
}

// A BCD value as pxlib takes it: digits with an optional sign and point, at most 32 digits
// in all and no more decimals than the field holds.
QByteArray toBcdText(const QVariant& value, int decimals) {
    QString text = isText(value) ? trimmedText(value) : QString::number(value.toDouble(), 'f', decimals);
    static const QRegularExpression shape(QStringLiteral("^[+-]?[0-9]+(\\.[0-9]*)?$"));
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const qsizetype fraction = point < 0 ? 0 : text.size() - point - 1;
    const qsizetype digits = text.count(QRegularExpression(QStringLiteral("[0-9]")));
    if (!shape.match(text).hasMatch() || digits - fraction > 32 - decimals)
        throw ConversionError(QStringLiteral("'%1' is not a valid BCD value").arg(text));
    if (fraction > decimals)
        text.chop(fraction - decimals);
    return text.toLatin1();
}

// Owns the pxlib document and the stream it reads. The document is used for decoding and
// encoding values; it never writes a file.
FILE* openStream(const QString& path) {
#ifdef Q_OS_WIN
    return _wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"rb");
#else
    return std::fopen(QFile::encodeName(path).constData(), "rb");
#endif
}

} // namespace

struct ParadoxTable::Pxlib {
    pxdoc_t* doc = nullptr;
    FILE* stream = nullptr;
    QByteArray memory; // backs a stream opened on bytes
#ifdef Q_OS_WIN
    std::unique_ptr<QTemporaryFile> copy;
#endif
    QString error;

    Pxlib() = default;
    Pxlib(const Pxlib&) = delete;
    Pxlib& operator=(const Pxlib&) = delete;
    ~Pxlib() {
        if (doc) {
            PX_close(doc);
            PX_delete(doc);
        }
        if (stream)
            std::fclose(stream);
    }

    static void onError(pxdoc_t*, int, const char* message, void* self) {
        static_cast<Pxlib*>(self)->error = QString::fromLocal8Bit(message).trimmed();
    }

    void free(char* p) const {
        if (p)
            doc->free(doc, p);
    }
};

QTextCodec* codecForCodePage(int codePage) {
    QList<QByteArray> names;
    if (codePage == 0)
        codePage = 437; // 3.x tables name no code page: they were written under DOS
    switch (codePage) {
    case 932:
        names = {"windows-31j", "Shift_JIS"};
        break;
    case 936:
        names = {"GBK", "GB2312"};
        break;
    case 949:
        names = {"windows-949", "EUC-KR"};
        break;
    case 950:
        names = {"Big5"};
        break;
    default:
        if (codePage == 874 || (codePage >= 1250 && codePage <= 1258))
            names = {"windows-" + QByteArray::number(codePage)};
        else if (codePage > 0)
            names = {"IBM" + QByteArray::number(codePage), "cp" + QByteArray::number(codePage)};
    }
    for (const QByteArray& name : std::as_const(names))
        if (QTextCodec* c = QTextCodec::codecForName(name))
            return c;
    return QTextCodec::codecForName("ISO-8859-1");
}

ParadoxTable::ParadoxTable() = default;

ParadoxTable::~ParadoxTable() = default;

void ParadoxTable::open(const QString& path, Access access) {
    close();
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: an edit written through another handle must be seen by the next read.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw DatabaseError(QStringLiteral("Cannot open table \"%1\": %2").arg(path, file->errorString()));
    // A table that cannot be written is still shown; only an exclusive open, which exists
    // to change the table, needs the right to write.
    if (access != Access::ReadOnly && !QFileInfo(path).isWritable()) {
        if (access == Access::Exclusive)
            throw DatabaseError(
                QStringLiteral("Cannot open table \"%1\" exclusively: the file is read-only or locked")
                    .arg(path));
        access = Access::ReadOnly;
    }
    openDevice(std::move(file), path, access);
}

void ParadoxTable::openBytes(const QByteArray& bytes) {
    close();
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    openDevice(std::move(buffer), QString(), Access::ReadOnly);
}

void ParadoxTable::openDevice(std::unique_ptr<QIODevice> device, const QString& path, Access access) {
    const QString shown = path.isEmpty() ? QStringLiteral("(memory)") : path;
    try {
        m_header = paradox::readHeader(*device);
        m_runs = paradox::readBlockChain(*device, m_header);
    } catch (const DatabaseError& e) {
        m_header = {};
        m_runs.clear();
        throw DatabaseError(QStringLiteral("Cannot open table \"%1\": %2").arg(shown, e.message()));
    }

    // Only a file that passed the checks above reaches pxlib.
    bootPxlib();
    auto px = std::make_unique<Pxlib>();
    px->doc = PX_new3(&Pxlib::onError, nullptr, nullptr, nullptr, px.get());
    if (!px->doc)
        throw DatabaseError(QStringLiteral("Cannot open table \"%1\": out of memory").arg(shown));
    if (path.isEmpty()) {
        px->memory = static_cast<QBuffer*>(device.get())->data();
#ifdef Q_OS_WIN
        // No memory streams here: pxlib reads a private copy in a temporary file.
        px->copy = std::make_unique<QTemporaryFile>();
        if (px->copy->open() && px->copy->write(px->memory) == px->memory.size() && px->copy->flush())
            px->stream = openStream(px->copy->fileName());
#else
        px->stream = fmemopen(px->memory.data(), size_t(px->memory.size()), "rb");
#endif
    } else {
        px->stream = openStream(path);
    }
    if (!px->stream || PX_open_fp(px->doc, px->stream) < 0) {
        // pxlib frees its half-built block index when building it fails but leaves the
        // document pointing at it, so closing the document would free it once more.
        px->doc->px_indexdata = nullptr;
        px->doc->px_indexdatalen = 0;
        const QString why = px->error.isEmpty() ? QStringLiteral("not a table pxlib can read") : px->error;
        m_header = {};
        m_runs.clear();
        throw DatabaseError(QStringLiteral("Cannot open table \"%1\": %2").arg(shown, why));
    }

    m_px = std::move(px);
    m_device = std::move(device);
    m_path = path;
    m_access = access;
    m_codec = codecForCodePage(m_header.codePage);
    for (int i = 0; i < m_header.fields.size(); ++i)
        m_header.fields[i].name = m_codec->toUnicode(m_header.rawNames.value(i));
    m_runStart.clear();
    m_count = 0;
    for (const paradox::BlockRun& run : std::as_const(m_runs)) {
        m_runStart.append(m_count);
        m_count += run.records;
    }
    m_cachedRun = -1;
    m_cache.clear();
}

void ParadoxTable::close() {
    m_px.reset();
    m_device.reset();
    m_runs.clear();
    m_runStart.clear();
    m_count = 0;
    m_cachedRun = -1;
    m_cache.clear();
    m_path.clear();
    m_header = {};
}

bool ParadoxTable::isOpen() const {
    return m_px != nullptr;
}

bool ParadoxTable::isExclusive() const {
    return isOpen() && m_access == Access::Exclusive;
}

int ParadoxTable::fieldIndex(const QString& name) const {
    for (int i = 0; i < m_header.fields.size(); ++i)
        if (m_header.fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QByteArray ParadoxTable::record(int row) const {
    if (!isOpen())
        throw DatabaseError(QStringLiteral("The table is not open"));
    if (row < 0 || row >= m_count)
        throw DatabaseError(QStringLiteral("Record %1 does not exist").arg(row + 1));
    const int run =
        int(std::upper_bound(m_runStart.cbegin(), m_runStart.cend(), row) - m_runStart.cbegin()) - 1;
    if (run != m_cachedRun) {
        const paradox::BlockRun& r = m_runs[run];
        const qint64 size = qint64(r.records) * m_header.recordSize;
        if (!m_device->seek(r.offset))
            throw DatabaseError(QStringLiteral("Cannot read table \"%1\"").arg(m_path));
        QByteArray bytes = m_device->read(size);
        if (bytes.size() != size)
            throw DatabaseError(QStringLiteral("Cannot read table \"%1\"").arg(m_path));
        m_cache = std::move(bytes);
        m_cachedRun = run;
    }
    return m_cache.mid(qint64(row - m_runStart[run]) * m_header.recordSize, m_header.recordSize);
}

namespace {
int fieldOffset(const QList<FieldDef>& fields, int field) {
    int at = 0;
    for (int i = 0; i < field; ++i)
        at += fields[i].width();
    return at;
}
} // namespace

QVariant ParadoxTable::decode(const QByteArray& record, int field) const {
    const FieldDef& f = m_header.fields.at(field);
    const int width = f.width();
    QByteArray bytes = record.mid(fieldOffset(m_header.fields, field), width);
    if (bytes.size() != width || allZero(bytes.constData(), width) || paradox::isBlobType(f.type))
        return {};
    pxdoc_t* doc = m_px->doc;
    char* data = bytes.data();
    switch (f.type) {
    case FieldType::Alpha: {
        char* text = nullptr;
        const int got = PX_get_data_alpha(doc, data, width, &text);
        const QString s =
            got > 0 && text ? m_codec->toUnicode(text, int(qstrnlen(text, uint(width)))) : QString();
        m_px->free(text);
        return got > 0 ? QVariant(s) : QVariant();
    }
    case FieldType::Short: {
        short v = 0;
        return PX_get_data_short(doc, data, width, &v) > 0 ? QVariant(int(v)) : QVariant();
    }
    case FieldType::Long:
    case FieldType::AutoInc:
    case FieldType::Date:
    case FieldType::Time: {
        long v = 0;
        if (PX_get_data_long(doc, data, width, &v) <= 0)
            return {};
        if (f.type == FieldType::Date)
            return QDate::fromJulianDay(v + kJulianOffset);
        if (f.type == FieldType::Time)
            return QTime::fromMSecsSinceStartOfDay(int(v));
        return QVariant(int(v));
    }
    case FieldType::Number:
    case FieldType::Currency:
    case FieldType::Timestamp: {
        double v = 0;
        if (PX_get_data_double(doc, data, width, &v) <= 0)
            return {};
        if (f.type != FieldType::Timestamp)
            return v;
        // A stamp no calendar holds (not a number, infinite, or further from year 1 than
        // any date can be) is damage in the file: it reads as blank, not as a conversion
        // the processor does not define.
        if (!std::isfinite(v) || std::fabs(v) > kLargestTimestampMs)
            return {};
        const double days = std::floor(v / kMsPerDay);
        const int ms = int(std::llround(v - days * kMsPerDay));
        return QDateTime(QDate::fromJulianDay(qint64(days) + kJulianOffset), QTime(0, 0)).addMSecs(ms);
    }
    case FieldType::Logical: {
        char v = 0;
        return PX_get_data_byte(doc, data, width, &v) > 0 ? QVariant(v != 0) : QVariant();
    }
    case FieldType::Bcd: {
        // A blank BCD may keep its decimals byte: no sign bit and no digits.
        if ((uchar(data[0]) & 0x80) == 0 && allZero(data + 1, width - 1))
            return {};
        char* text = nullptr;
        const int got = PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), f.size, &text);
        QString s = got > 0 && text ? QString::fromLatin1(text) : QString();
        m_px->free(text);
        if (s.contains(QLatin1Char('?')) || s.isEmpty())
            return {};
        return s;
    }
    case FieldType::Bytes: {
        char* raw = nullptr;
        const int got = PX_get_data_bytes(doc, data, width, &raw);
        const QByteArray b = got > 0 && raw ? QByteArray(raw, width) : QByteArray();
        m_px->free(raw);
        return got > 0 ? QVariant(b) : QVariant();
    }
    default:
        return {};
    }
}

QString ParadoxTable::displayText(const QByteArray& record, int field) const {
    const FieldDef& f = m_header.fields.at(field);
    if (paradox::isBlobType(f.type)) {
        const QByteArray bytes = record.mid(fieldOffset(m_header.fields, field), f.width());
        const QString kind = blobKind(f.type);
        return QStringLiteral("(%1)").arg(allZero(bytes.constData(), int(bytes.size())) ? kind.toLower()
                                                                                        : kind);
    }
    const QVariant v = decode(record, field);
    if (v.isNull())
        return {};
    switch (f.type) {
    case FieldType::Number:
    case FieldType::Currency:
        return QString::number(v.toDouble(), 'g', 15);
    case FieldType::Date:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case FieldType::Time:
        return v.toTime().toString(QStringLiteral("hh:mm:ss"));
    case FieldType::Timestamp:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case FieldType::Logical:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Bytes:
        return QString::fromLatin1(v.toByteArray().toHex(' '));
    default:
        return v.toString();
    }
}

void ParadoxTable::encode(QByteArray& record, int field, const QVariant& value) const {
    const FieldDef& f = m_header.fields.at(field);
    const int width = f.width();
    const int at = fieldOffset(m_header.fields, field);
    if (record.size() != m_header.recordSize)
        throw DatabaseError(QStringLiteral("Record size does not match the table"));
    if (paradox::isBlobType(f.type))
        throw ConversionError(
            QStringLiteral(
                "Field \"%1\" is a memo or blob field, which is not loaded and cannot be changed here")
                .arg(f.name));
    QByteArray bytes(width, '\0');
    const bool blank = value.isNull() ||
                       (isText(value) && trimmedText(value).isEmpty() && f.type != FieldType::Alpha) ||
                       (f.type == FieldType::Alpha && value.toString().isEmpty());
    if (!blank) {
        pxdoc_t* doc = m_px->doc;
        char* data = bytes.data();
        switch (f.type) {
        case FieldType::Alpha: {
            QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
            const QString text = value.toString();
            QByteArray stored = m_codec->fromUnicode(text.constData(), int(text.size()), &state);
            if (state.invalidChars > 0)
                throw ConversionError(QStringLiteral("'%1' holds characters that code page %2 cannot store")
                                          .arg(text)
                                          .arg(m_header.codePage));
            if (stored.size() > width)
                throw ConversionError(QStringLiteral("'%1' is longer than field \"%2\" (%3 characters)")
                                          .arg(text, f.name)
                                          .arg(width));
            PX_put_data_alpha(doc, data, width, stored.data());
            break;
        }
        case FieldType::Short:
            PX_put_data_short(doc, data, width, short(toInteger(value, -32767, 32767)));
            break;
        case FieldType::Long:
        case FieldType::AutoInc:
            PX_put_data_long(doc, data, width, int(toInteger(value, -2147483647, 2147483647)));
            break;
        case FieldType::Number:
        case FieldType::Currency:
            PX_put_data_double(doc, data, width, toDouble(value));
            break;
        case FieldType::Date: {
            const QDate d = toDate(value);
            if (d.year() < 1 || d.year() > 9999)
                throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(value.toString()));
            PX_put_data_long(doc, data, width, int(d.toJulianDay() - kJulianOffset));
            break;
        }
        case FieldType::Time:
            PX_put_data_long(doc, data, width, toTime(value).msecsSinceStartOfDay());
            break;
        case FieldType::Timestamp: {
            const QDateTime t = toDateTime(value);
            const double days = double(t.date().toJulianDay() - kJulianOffset);
            PX_put_data_double(doc, data, width, days * kMsPerDay + t.time().msecsSinceStartOfDay());
            break;
        }
        case FieldType::Logical:
            PX_put_data_byte(doc, data, width, toBool(value) ? 1 : 0);
            break;
        case FieldType::Bcd: {
            QByteArray text = toBcdText(value, f.size);
            PX_put_data_bcd(doc, data, f.size, text.data());
            break;
        }
        case FieldType::Bytes: {
            const QByteArray raw = value.toByteArray();
            if (raw.size() > width)
                throw ConversionError(QStringLiteral("The value is longer than field \"%1\" (%2 bytes)")
                                          .arg(f.name)
                                          .arg(width));
            std::memcpy(data, raw.constData(), size_t(raw.size()));
            break;
        }
        default:
            break;
        }
    }
    record.replace(at, width, bytes);
}

QByteArray ParadoxTable::recordFrom(const QVariantList& values) const {
    QByteArray record = blankRecord();
    const int fields = int(qMin(values.size(), m_header.fields.size()));
    for (int i = 0; i < fields; ++i)
        encode(record, i, values[i]);
    return record;
}

QByteArray ParadoxTable::keyOf(const QByteArray& record) const {
    return record.left(m_header.keyWidth());
}

bool ParadoxTable::keyIsBytewise() const {
    for (int i = 0; i < m_header.keyFields; ++i)
        if (m_header.fields[i].type == FieldType::Alpha)
            return m_header.sortOrderId.compare("ascii", Qt::CaseInsensitive) == 0;
    return true;
}

int ParadoxTable::findKey(const QVariantList& key) const {
    if (!isOpen())
        throw DatabaseError(QStringLiteral("The table is not open"));
    const int fields = int(qMin(key.size(), m_header.fields.size()));
    QByteArray probe = blankRecord();
    for (int i = 0; i < fields; ++i)
        encode(probe, i, key[i]);
    const int width = fieldOffset(m_header.fields, fields);
    const QByteArray wanted = probe.left(width);
    if (m_header.keyed() && fields == m_header.keyFields && keyIsBytewise()) {
        int low = 0;
        int high = m_count - 1;
        while (low <= high) {
            const int mid = low + (high - low) / 2;
            const int c = std::memcmp(record(mid).constData(), wanted.constData(), size_t(width));
            if (c == 0)
                return mid;
            if (c < 0)
                low = mid + 1;
            else
                high = mid - 1;
        }
        return -1;
    }
    for (int row = 0; row < m_count; ++row)
        if (record(row).left(width) == wanted)
            return row;
    return -1;
}

void ParadoxTable::requireWritable() const {
    if (!isOpen())
        throw DatabaseError(QStringLiteral("The table is not open"));
    if (m_path.isEmpty() || m_access == Access::ReadOnly)
        throw DatabaseError(QStringLiteral("The table \"%1\" is open read-only").arg(m_path));
    const QFileInfo info(m_path);
    if (!info.isWritable())
        throw DatabaseError(QStringLiteral("The table \"%1\" is read-only or locked").arg(m_path));
    // The engine keeps secondary indexes (.Xnn, .Ynn, .XGn, .YGn) beside the table; a
    // change this program made would leave them stale, so such tables stay untouched.
    const QRegularExpression secondary(QStringLiteral("^%1\\.(X|Y)(G[0-9A-F]|[0-9A-F]{2})$")
                                           .arg(QRegularExpression::escape(info.completeBaseName())),
                                       QRegularExpression::CaseInsensitiveOption);
    const QStringList files = info.dir().entryList(QDir::Files);
    for (const QString& name : files)
        if (secondary.match(name).hasMatch())
            throw DatabaseError(
                QStringLiteral(
                    "The table \"%1\" has secondary indexes (%2), which this program cannot keep up to date")
                    .arg(m_path, name));
    // Record places are known from the header read at opening; if another program has
    // changed the table since, they may be wrong, and its change would be overwritten.
    QFile onDisk(m_path);
    if (!onDisk.open(QIODevice::ReadOnly) || onDisk.read(m_header.raw.size()) != m_header.raw ||
        onDisk.size() != m_device->size())
        throw DatabaseError(
            QStringLiteral(
                "The table \"%1\" was changed by another program after it was opened; open it again")
                .arg(m_path));
}

QByteArray ParadoxTable::allRecords() const {
    QByteArray all;
    all.reserve(qint64(m_count) * m_header.recordSize);
    for (const paradox::BlockRun& run : m_runs) {
        if (!m_device->seek(run.offset))
            throw DatabaseError(QStringLiteral("Cannot read table \"%1\"").arg(m_path));
        const qint64 size = qint64(run.records) * m_header.recordSize;
        const QByteArray bytes = m_device->read(size);
        if (bytes.size() != size)
            throw DatabaseError(QStringLiteral("Cannot read table \"%1\"").arg(m_path));
        all.append(bytes);
    }
    return all;
}

QByteArray ParadoxTable::sortedByKey(const QByteArray& records, int watch, int* watchedRow) const {
    const int size = m_header.recordSize;
    const int width = m_header.keyWidth();
    const int count = int(records.size() / size);
    QList<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    const char* base = records.constData();
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return std::memcmp(base + qint64(a) * size, base + qint64(b) * size, size_t(width)) < 0;
    });
    QByteArray sorted;
    sorted.reserve(records.size());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && std::memcmp(base + qint64(order[i - 1]) * size, base + qint64(order[i]) * size,
                                 size_t(width)) == 0)
            throw DatabaseError(QStringLiteral("Key violation."));
        if (order[i] == watch && watchedRow)
            *watchedRow = i;
        sorted.append(base + qint64(order[i]) * size, size);
    }
    return sorted;
}

void ParadoxTable::writeInPlace(int row, const QByteArray& bytes) {
    const int run =
        int(std::upper_bound(m_runStart.cbegin(), m_runStart.cend(), row) - m_runStart.cbegin()) - 1;
    const qint64 at = m_runs[run].offset + qint64(row - m_runStart[run]) * m_header.recordSize;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) || !file.seek(at) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw DatabaseError(QStringLiteral("Cannot write table \"%1\": %2").arg(m_path, file.errorString()));
    file.close();
    if (run == m_cachedRun)
        m_cache.replace(qint64(row - m_runStart[run]) * m_header.recordSize, bytes.size(), bytes);
}

int ParadoxTable::post(int row, const QByteArray& bytes) {
    requireWritable();
    if (bytes.size() != m_header.recordSize)
        throw DatabaseError(QStringLiteral("Record size does not match the table"));
    const QByteArray old = record(row);
    if (!m_header.keyed() || keyOf(old) == keyOf(bytes)) {
        writeInPlace(row, bytes);
        return row;
    }
    if (!keyIsBytewise())
        throw DatabaseError(
            QStringLiteral("The key of table \"%1\" is ordered by \"%2\", which this program cannot keep")
                .arg(m_path, QString::fromLatin1(m_header.sortOrderId)));
    QByteArray all = allRecords();
    all.replace(qint64(row) * m_header.recordSize, m_header.recordSize, bytes);
    int newRow = row;
    const QByteArray sorted = sortedByKey(all, row, &newRow);
    rewrite(m_header.raw, sorted, m_header.blockCode, false);
    return newRow;
}

int ParadoxTable::append(const QByteArray& bytes) {
    return appendAll({bytes});
}

void ParadoxTable::appendRecords(const QList<QByteArray>& records) {
    if (!records.isEmpty())
        appendAll(records);
}

// Returns the row of the first record given.
int ParadoxTable::appendAll(const QList<QByteArray>& given) {
    requireWritable();
    QByteArray header = m_header.raw;
    qint32 autoInc = m_header.autoInc;
    QByteArray all = allRecords();
    all.reserve(all.size() + qint64(given.size()) * m_header.recordSize);
    for (const QByteArray& bytes : given) {
        if (bytes.size() != m_header.recordSize)
            throw DatabaseError(QStringLiteral("Record size does not match the table"));
        QByteArray added = bytes;
        for (int i = 0; i < m_header.fields.size(); ++i) {
            if (m_header.fields[i].type != FieldType::AutoInc)
                continue;
            const QVariant value = decode(added, i);
            if (value.isNull())
                encode(added, i, ++autoInc);
            else
                autoInc = qMax(autoInc, qint32(value.toInt()));
        }
        all.append(added);
    }
    paradox::putLe32(header, 0x49, quint32(autoInc));
    int row = m_count;
    if (m_header.keyed()) {
        if (!keyIsBytewise())
            throw DatabaseError(
                QStringLiteral("The key of table \"%1\" is ordered by \"%2\", which this program cannot keep")
                    .arg(m_path, QString::fromLatin1(m_header.sortOrderId)));
        all = sortedByKey(all, m_count, &row);
    }
    rewrite(header, all, m_header.blockCode, false);
    return row;
}

void ParadoxTable::addField(const FieldDef& field) {
    requireWritable();
    if (field.name.trimmed().isEmpty() || fieldIndex(field.name) >= 0)
        throw DatabaseError(QStringLiteral("Field \"%1\" cannot be added: the name is empty or already used")
                                .arg(field.name));
    if (!paradox::isValidField(field.type, field.size))
        throw DatabaseError(QStringLiteral("Field \"%1\" has an invalid type or size").arg(field.name));

    paradox::NewTableSpec shape;
    shape.fields = m_header.fields;
    shape.fields.append(field);
    shape.rawNames = m_header.rawNames;
    shape.rawNames.append(m_codec->fromUnicode(field.name));
    shape.keyFields = m_header.keyed() ? m_header.keyFields : 0;
    shape.version = qMax(qMax(m_header.version, paradox::kVersion4), paradox::minimumVersion(field.type));
    shape.codePage = m_header.codePage > 0 ? m_header.codePage : 437;
    shape.sortOrder = m_header.sortOrder;
    shape.sortOrderId = m_header.sortOrderId.isEmpty() ? QByteArray("ascii") : m_header.sortOrderId;
    shape.tableName = QFileInfo(m_path).fileName().toLocal8Bit();
    const int newSize = m_header.recordSize + field.width();
    int blockCode = m_header.blockCode;
    if (blockCode * 0x400 - paradox::kDataBlockHeader < newSize) {
        blockCode = paradox::blockCodeFor(newSize, shape.version);
        if (blockCode == 0) {
            shape.version = paradox::kVersion7;
            blockCode = paradox::blockCodeFor(newSize, shape.version);
        }
        if (blockCode == 0)
            throw DatabaseError(QStringLiteral("Field \"%1\" makes the record too long").arg(field.name));
    }
    shape.blockCode = blockCode;
    QByteArray header = paradox::buildDataHeader(shape);
    paradox::putLe32(header, 0x49, quint32(m_header.autoInc));

    // Records keep their order: it is the engine's own key order, whatever its sort order.
    const QByteArray old = allRecords();
    QByteArray records;
    records.reserve(qint64(m_count) * newSize);
    const QByteArray blank(field.width(), '\0');
    for (int row = 0; row < m_count; ++row) {
        records.append(old.constData() + qint64(row) * m_header.recordSize, m_header.recordSize);
        records.append(blank);
    }
    rewrite(header, records, blockCode, shape.version != m_header.version);
}

void ParadoxTable::rewrite(const QByteArray& header, const QByteArray& records, int blockCode,
                           bool freshIndex) {
    const int recordSize = paradox::le16(header, 0x00);
    const QByteArray data = paradox::buildDataFile(header, records, recordSize, blockCode);

    // What is about to replace the table must read back as that table.
    QBuffer check;
    check.setData(data);
    check.open(QIODevice::ReadOnly);
    const paradox::TableHeader written = paradox::readHeader(check);
    int count = 0;
    for (const paradox::BlockRun& run : paradox::readBlockChain(check, written))
        count += run.records;
    if (count != records.size() / recordSize)
        throw DatabaseError(QStringLiteral("Internal error: the rewritten table does not hold every record"));

    const QString indexPath = indexPathFor(m_path);
    QByteArray index;
    if (written.keyed()) {
        paradox::IndexSpec shape;
        shape.keyFields = written.fields.mid(0, written.keyFields);
        shape.version = written.version;
        shape.sortOrder = written.sortOrder;
        shape.tableName = QFileInfo(indexPath).fileName().toLocal8Bit();
        QFile old(indexPath);
        if (!freshIndex && old.open(QIODevice::ReadOnly)) {
            try {
                const paradox::TableHeader px = paradox::readHeader(old, true);
                if (px.fields == shape.keyFields)
                    shape.templateHeader = px.raw;
            } catch (const DatabaseError&) {
                // a damaged index is replaced by a new one
            }
        }
        index = paradox::buildIndexFile(shape, records, recordSize, blockCode);
    }

    const QString path = m_path;
    const Access access = m_access;
    QSaveFile dataFile(path);
    QSaveFile indexFile(indexPath);
    const bool written1 = dataFile.open(QIODevice::WriteOnly) && dataFile.write(data) == data.size();
    const bool written2 =
        index.isEmpty() || (indexFile.open(QIODevice::WriteOnly) && indexFile.write(index) == index.size());
    if (!written1 || !written2) {
        const QString why = !written1 ? dataFile.errorString() : indexFile.errorString();
        dataFile.cancelWriting();
        indexFile.cancelWriting();
        throw DatabaseError(QStringLiteral("Cannot write table \"%1\": %2").arg(path, why));
    }
    // Both new files are complete; only now are the old ones replaced.
    close();
    const bool committed = dataFile.commit() && (index.isEmpty() || indexFile.commit());
    open(path, access);
    if (!committed)
        throw DatabaseError(
            QStringLiteral("Cannot replace table \"%1\": %2").arg(path, dataFile.errorString()));
}

QString ParadoxTable::indexPathFor(const QString& path) {
    const QFileInfo info(path);
    const QString base = info.completeBaseName();
    const QStringList existing = info.dir().entryList({base + QStringLiteral(".*")}, QDir::Files);
    for (const QString& name : existing)
        if (QFileInfo(name).suffix().compare(QStringLiteral("px"), Qt::CaseInsensitive) == 0 &&
            QFileInfo(name).completeBaseName() == base)
            return info.dir().filePath(name);
    const bool lower = info.suffix() == info.suffix().toLower();
    return info.dir().filePath(base + (lower ? QStringLiteral(".px") : QStringLiteral(".PX")));
}

void ParadoxTable::create(const QString& path, const QList<FieldDef>& fields, int keyFields) {
    if (fields.isEmpty() || fields.size() > 255 || keyFields < 0 || keyFields > fields.size())
        throw DatabaseError(QStringLiteral("Cannot create table \"%1\": invalid field list").arg(path));
    paradox::NewTableSpec shape;
    shape.fields = fields;
    shape.keyFields = keyFields;
    // An alpha key is kept in byte order, the engine's "ascii" sort order, whose code page
    // is 437; other tables get the Windows defaults of the engine.
    if (std::any_of(fields.cbegin(), fields.cbegin() + keyFields,
                    [](const FieldDef& f) { return f.type == FieldType::Alpha; })) {
        shape.codePage = 437;
        shape.sortOrder = 0;
        shape.sortOrderId = "ascii";
    }
    QTextCodec* codec = codecForCodePage(shape.codePage);
    int version = paradox::kVersion5;
    int recordSize = 0;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef& f = fields[i];
        const bool duplicate = std::any_of(fields.cbegin(), fields.cbegin() + i, [&](const FieldDef& other) {
            return other.name.compare(f.name, Qt::CaseInsensitive) == 0;
        });
        if (f.name.trimmed().isEmpty() || f.name.size() > 25 || duplicate ||
            !paradox::isValidField(f.type, f.size) || (i < keyFields && paradox::isBlobType(f.type)))
            throw DatabaseError(
                QStringLiteral("Cannot create table \"%1\": field \"%2\" is not valid").arg(path, f.name));
        version = qMax(version, paradox::minimumVersion(f.type));
        recordSize += f.width();
        shape.rawNames.append(codec->fromUnicode(f.name));
    }
    shape.blockCode = paradox::blockCodeFor(recordSize, version);
    if (shape.blockCode == 0) {
        version = paradox::kVersion7;
        shape.blockCode = paradox::blockCodeFor(recordSize, version);
    }
    if (shape.blockCode == 0)
        throw DatabaseError(QStringLiteral("Cannot create table \"%1\": the record is too long").arg(path));
    shape.version = version;
    shape.tableName = QFileInfo(path).fileName().toLocal8Bit();
    const QByteArray data =
        paradox::buildDataFile(paradox::buildDataHeader(shape), {}, recordSize, shape.blockCode);

    QByteArray index;
    const QString indexPath = indexPathFor(path);
    if (keyFields > 0) {
        paradox::IndexSpec ispec;
        ispec.keyFields = fields.mid(0, keyFields);
        ispec.version = version;
        ispec.sortOrder = shape.sortOrder;
        ispec.tableName = QFileInfo(indexPath).fileName().toLocal8Bit();
        index = paradox::buildIndexFile(ispec, {}, recordSize, shape.blockCode);
    }
    QSaveFile dataFile(path);
    QSaveFile indexFile(indexPath);
    const bool ok =
        dataFile.open(QIODevice::WriteOnly) && dataFile.write(data) == data.size() &&
        (index.isEmpty() || (indexFile.open(QIODevice::WriteOnly) && indexFile.write(index) == index.size()));
    if (!ok || !dataFile.commit() || (!index.isEmpty() && !indexFile.commit()))
        throw DatabaseError(QStringLiteral("Cannot create table \"%1\": %2")
                                .arg(path, dataFile.errorString().isEmpty() ? indexFile.errorString()
                                                                            : dataFile.errorString()));
    if (index.isEmpty() && QFile::exists(indexPath))
        QFile::remove(indexPath); // an index of the table this one replaced
}

} // namespace vantor
