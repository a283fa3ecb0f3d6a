#include "support/testdatabase.h"

#include "db/databaselocation.h"
#include "db/schema.h"
#include "shell/startup.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace verna::test {

ToolRun runVernaDb(const QStringList &arguments, const QStringList &environment, const QByteArray &input)
{
    QProcess p;
    p.setEnvironment(environment);
    p.start(QStringLiteral(VERNA_DB_TOOL), arguments);
    if (!input.isEmpty() && p.write(input) == input.size())
        p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

std::string backendName(const ::testing::TestParamInfo<TestBackend> &info)
{
    return info.param == TestBackend::SQLite ? "SQLite" : "PostgreSQL";
}

TestDatabase::TestDatabase(TestBackend backend)
    : m_backend(backend)
    , m_db(std::make_unique<db::Database>())
{
}

TestDatabase::~TestDatabase()
{
    if (m_backend == TestBackend::PostgreSQL && !m_schema.isEmpty() && m_db->isOpen()) {
        if (m_db->inTransaction())
            m_db->rollbackTransaction();
        QSqlQuery(m_db->connection()).exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(m_schema));
    }
    m_db->close();
}

bool TestDatabase::postgresRequired() const
{
    return qEnvironmentVariable("VERNA_TEST_POSTGRES") == QLatin1String("required");
}

bool TestDatabase::open()
{
    const Outcome opened = m_backend == TestBackend::SQLite ? m_db->open(db::DatabaseLocation::file(dbOption()))
                           : db::isOdbcDataSourceConfigured(db::kDefaultDsn)
                               ? m_db->open(db::DatabaseLocation::odbc(db::kDefaultDsn))
                               : Outcome::failure(QStringLiteral("the ODBC data source \"finance\" is not configured"));
    m_error = opened.error;
    if (!opened || m_backend == TestBackend::SQLite)
        return opened.ok;
    m_schema = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    QSqlQuery q(m_db->connection());
    if (!q.exec(QStringLiteral("CREATE SCHEMA %1").arg(m_schema)) || !q.exec(QStringLiteral("SET search_path TO %1").arg(m_schema))) {
        m_error = q.lastError().text();
        return false;
    }
    return true;
}

bool TestDatabase::createSchema(bool withReferenceData)
{
    const Outcome created = withReferenceData ? shell::initialiseDatabase(*m_db, false) : db::Schema::create(*m_db);
    m_error = created.error;
    return created.ok;
}

QString TestDatabase::dbOption() const
{
    return m_backend == TestBackend::SQLite ? m_dir.filePath(QStringLiteral("test.sqlite")) : QStringLiteral("odbc:finance");
}

QStringList TestDatabase::childEnvironment() const
{
    QStringList env = QProcessEnvironment::systemEnvironment().toStringList();
    if (m_backend == TestBackend::PostgreSQL)
        env << QStringLiteral("PGOPTIONS=-c search_path=") + m_schema;
    return env;
}

void BackendTest::SetUp()
{
    m_test = std::make_unique<TestDatabase>(GetParam());
    if (!m_test->open()) {
        if (GetParam() == TestBackend::PostgreSQL && !m_test->postgresRequired())
            GTEST_SKIP() << "PostgreSQL not available: " << m_test->error().toStdString();
        FAIL() << "cannot open the test database: " << m_test->error().toStdString();
    }
    ASSERT_TRUE(m_test->createSchema(withReferenceData())) << m_test->error().toStdString();
    prepare();
}

QStringList BackendTest::allRows()
{
    QStringList out;
    for (const QString &table : db::Schema::tableNames()) {
        const db::Rows rows = db().queryRows(QStringLiteral("SELECT * FROM ") + table);
        EXPECT_TRUE(rows.ok()) << rows.error.toStdString();
        QStringList lines;
        for (const QStringList &row : rows.rows)
            lines << table + QLatin1Char(':') + row.join(QLatin1Char('|'));
        lines.sort();
        out += lines;
    }
    return out;
}

ToolRun BackendTest::vernaDb(const QStringList &arguments, const QByteArray &input)
{
    return runVernaDb(QStringList{QStringLiteral("--db"), m_test->dbOption()} + arguments, m_test->childEnvironment(), input);
}

void BackendTest::TearDown()
{
    m_test.reset();
}

QString statementsWithoutTheirPack(db::Database &db)
{
    if (db.backend() == db::Backend::PostgreSQL) {
        // The server's pack is its items' pairs in the order it read them: counted, not compared.
        return db.singleValue(QStringLiteral("SELECT count(*) FROM (SELECT x.finl_stmt_id, count(*) AS n FROM finl_item x, finl_stmt s WHERE "
                                             "s.finl_stmt_id = x.finl_stmt_id AND s.inac_ind = 0 AND x.item_type_cd IS NOT NULL GROUP BY x.finl_stmt_id) i "
                                             "LEFT JOIN finl_pack p ON p.finl_stmt_id = i.finl_stmt_id "
                                             "WHERE COALESCE(array_length(string_to_array(p.item_txt, ' '), 1), 0) <> 2 * i.n"));
    }
    if (db.backend() != db::Backend::SQLite)
        return QStringLiteral("0");
    return db.singleValue(QStringLiteral("SELECT count(*) FROM (SELECT DISTINCT x.finl_stmt_id FROM finl_item x, finl_stmt s WHERE s.finl_stmt_id = "
                                         "x.finl_stmt_id AND s.inac_ind = 0) i LEFT JOIN finl_pack p "
                                         "ON p.finl_stmt_id = i.finl_stmt_id WHERE p.item_blob IS NOT (SELECT verna_pack(x.item_type_cd, "
                                         "x.amt_val) FROM finl_item x WHERE x.finl_stmt_id = i.finl_stmt_id)"));
}

} // namespace verna::test
