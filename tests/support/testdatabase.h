#pragma once

#include "db/database.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "support/printing.h"

namespace verna::test {

// What a verna-db process printed and how it ended (-1 when it crashed or hung).
struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs verna-db with the arguments in the given environment, input on its standard input (closed
// after it when given), and waits for it.
ToolRun runVernaDb(const QStringList &arguments, const QStringList &environment, const QByteArray &input = {});

enum class TestBackend { SQLite, PostgreSQL };

// The active statements whose pack is missing or is not what their items give now ("0" when
// every one has its pack); on PostgreSQL a pack of another number of items.
QString statementsWithoutTheirPack(db::Database &db);

std::string backendName(const ::testing::TestParamInfo<TestBackend> &info);
inline void PrintTo(TestBackend backend, std::ostream *os)
{
    *os << (backend == TestBackend::SQLite ? "SQLite" : "PostgreSQL");
}

// A fresh, empty database for one test: an SQLite file in a temporary folder, or a private
// schema on the test PostgreSQL server (data source "finance"). With VERNA_TEST_POSTGRES
// set to "required" (make test, CI) a missing server fails the test instead of skipping it.
class TestDatabase
{
public:
    explicit TestDatabase(TestBackend backend);
    ~TestDatabase();

    // Opens the database; false (with the reason in error()) when it cannot be had.
    bool open();
    // Creates the tables, with reference data when asked.
    bool createSchema(bool withReferenceData = false);
    db::Database &db() { return *m_db; }
    QString error() const { return m_error; }
    TestBackend backend() const { return m_backend; }
    // The value for verna-db --db, and the environment a child process needs to see the same data.
    QString dbOption() const;
    QStringList childEnvironment() const;
    bool postgresRequired() const;

private:
    TestBackend m_backend;
    std::unique_ptr<db::Database> m_db;
    QTemporaryDir m_dir;
    QString m_schema;
    QString m_error;
};

// Base for tests that run on every backend: SetUp opens a fresh database with the schema,
// then calls prepare() unless the test is skipped or failed.
class BackendTest : public ::testing::TestWithParam<TestBackend>
{
protected:
    void SetUp() override;
    void TearDown() override;
    virtual bool withReferenceData() const { return false; }
    virtual void prepare() {}
    // verna-db on this test's database.
    ToolRun vernaDb(const QStringList &arguments, const QByteArray &input = {});
    db::Database &db() { return m_test->db(); }
    TestDatabase &testDatabase() { return *m_test; }
    // Every row of every table, sorted: equal dumps mean equal databases.
    QStringList allRows();

private:
    std::unique_ptr<TestDatabase> m_test;
};

// The same on a database with the application's reference data.
class ReferenceTest : public BackendTest
{
protected:
    bool withReferenceData() const override { return true; }
};

#define VERNA_ALL_BACKENDS(Suite)                                                                                    \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite,                                                                          \
                             ::testing::Values(::verna::test::TestBackend::SQLite, ::verna::test::TestBackend::PostgreSQL), \
                             ::verna::test::backendName)

} // namespace verna::test
