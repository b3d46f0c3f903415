#include "TTable.h"

#include "DatabaseAliases.h"
#include "DatabaseErrors.h"
#include "support/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace vantor {

TTable::TTable(const DatabaseAliases* aliases) : m_aliases(aliases) {}

TTable::~TTable() = default;

QString TTable::filePath() const {
    const QString name = paths::toNative(m_tableName);
    if (m_tableName.contains(QLatin1Char('/')) || m_tableName.contains(QLatin1Char('\\')) ||
        QFileInfo(name).isAbsolute())
        return name;
    const QString folder = m_aliases ? m_aliases->folder(m_databaseName) : QString();
    if (folder.isEmpty())
        return {};
    QString file = paths::join(folder, name);
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".db");
    return file;
}

QString TTable::unknownDatabase() const {
    if (m_databaseName.isEmpty())
        return QStringLiteral("Cannot open table \"%1\": no database alias is defined").arg(m_tableName);
    return QStringLiteral("Unknown database: \"%1\" names no folder of tables").arg(m_databaseName);
}

bool TTable::aliasDefined(const QString& alias) const {
    return m_aliases && m_aliases->isDefined(alias);
}

bool TTable::exists() const {
    const QString path = filePath();
    return !path.isEmpty() && QFileInfo(path).isFile();
}

void TTable::open() {
    if (active())
        return;
    const QString path = filePath();
    if (path.isEmpty())
        throw DatabaseError(unknownDatabase());
    m_table.open(path, m_exclusive ? ParadoxTable::Access::Exclusive : ParadoxTable::Access::Shared);
    m_row = m_table.recordCount() > 0 ? 0 : -1;
    m_editBuffer.clear();
}

void TTable::close() {
    m_table.close();
    m_row = -1;
    m_editBuffer.clear();
}

int TTable::recordCount() const {
    if (!active())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    return m_table.recordCount();
}

bool TTable::findKey(const QVariantList& key) {
    if (!active())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const int row = m_table.findKey(key);
    if (row < 0)
        return false;
    m_row = row;
    m_editBuffer.clear();
    return true;
}

int TTable::fieldOrThrow(const QString& field) const {
    const int index = m_table.fieldIndex(field);
    if (index < 0)
        throw DatabaseError(QStringLiteral("Field '%1' not found").arg(field));
    return index;
}

QVariant TTable::fieldValue(const QString& field) const {
    const int index = fieldOrThrow(field);
    if (!m_editBuffer.isEmpty())
        return m_table.decode(m_editBuffer, index);
    if (m_row < 0)
        return {};
    return m_table.value(m_row, index);
}

void TTable::edit() {
    if (!active() || m_row < 0)
        throw DatabaseError(QStringLiteral("Cannot edit: the table has no current record"));
    m_editBuffer = m_table.record(m_row);
}

void TTable::setFieldValue(const QString& field, const QVariant& value) {
    if (m_editBuffer.isEmpty())
        throw DatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    m_table.encode(m_editBuffer, fieldOrThrow(field), value);
}

void TTable::post() {
    if (m_editBuffer.isEmpty())
        return;
    const QByteArray record = m_editBuffer;
    m_editBuffer.clear();
    m_row = m_table.post(m_row, record);
}

void TTable::cancel() {
    m_editBuffer.clear();
}

void TTable::appendRecord(const QVariantList& values) {
    if (!active())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const QByteArray record = m_table.recordFrom(values);
    m_editBuffer.clear();
    m_row = m_table.append(record);
}

void TTable::createTable(const QList<paradox::FieldDef>& fields, int keyFields) {
    const QString path = filePath();
    if (path.isEmpty())
        throw DatabaseError(unknownDatabase());
    close();
    ParadoxTable::create(path, fields, keyFields);
}

} // namespace vantor
