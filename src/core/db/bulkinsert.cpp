#include "db/bulkinsert.h"

#include "db/database.h"
#include "db/sqlquote.h"

#include <QRegularExpression>

namespace verna::db {

BulkInsert::BulkInsert(Database &db, const QString &table, int rowsPerStatement)
    : m_db(db)
    , m_table(table)
    , m_rowsPerStatement(rowsPerStatement)
{
}

QString BulkInsert::amount(const QString &decimalText)
{
    static const QRegularExpression decimal(QStringLiteral("^-?\\d{1,18}(\\.\\d{1,6})?$"));
    return decimal.match(decimalText).hasMatch() ? decimalText : null();
}

QString BulkInsert::text(const QString &value)
{
    return quoted(value);
}

Outcome BulkInsert::add(const QStringList &literals)
{
    m_pending << QLatin1Char('(') + literals.join(QLatin1Char(',')) + QLatin1Char(')');
    if (m_pending.size() >= m_rowsPerStatement)
        return flush();
    return Outcome::success();
}

Outcome BulkInsert::flush()
{
    if (m_pending.isEmpty())
        return Outcome::success();
    const QString sql = QStringLiteral("INSERT INTO ") + m_table + QStringLiteral(" VALUES ") + m_pending.join(QLatin1Char(','));
    const int count = static_cast<int>(m_pending.size());
    m_pending.clear();
    if (Outcome done = m_db.executeNative(sql); !done)
        return done;
    m_written += count;
    return Outcome::success();
}

} // namespace verna::db
