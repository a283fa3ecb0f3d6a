// The analysis reads through one statement per block of ids: each backend's rows must come
// back whole (long, non-ASCII and NULL texts, numbers as the server wrote them).
#include "db/database.h"
#include "db/preparedquery.h"
#include "support/testdatabase.h"

#include <gtest/gtest.h>

using namespace verna;
using namespace Qt::StringLiterals;

namespace {

using PreparedQueryTest = test::BackendTest;

TEST_P(PreparedQueryTest, RowsComeBackWhole)
{
    const QString name = u"Žluťoučký kůň a.s. "_s.repeated(120); // longer than one read of the driver
    const QString digits = u"1234 5.25 "_s.repeated(900);
    ASSERT_TRUE(db().execute(u"CREATE TABLE pq (id INT, name_txt VARCHAR(4000), code_txt VARCHAR(9000), amt_val DECIMAL(19,4))"_s).ok);
    ASSERT_TRUE(db().execute(u"INSERT INTO pq VALUES (1, '%1', '%2', -12.5)\rINSERT INTO pq VALUES (2, NULL, NULL, NULL)\r"
                             "INSERT INTO pq VALUES (3, 'x', '', 0.0001)"_s.arg(name, digits)).ok);

    QVariantList binds;
    const QString ids = db::inList(db().backend(), u"id"_s, {1, 2, 3, 5'000'000'000}, binds);
    QStringList seen;
    const Outcome read = db::queryPrepared(db(), u"SELECT id, name_txt, code_txt, amt_val FROM pq WHERE "_s + ids + u" ORDER BY id"_s, binds,
                                           [&](const db::PreparedRow &row) {
                                               const std::optional<double> amount = row.number(3);
                                               seen << u"%1|%2|%3|%4"_s.arg(row.integer(0))
                                                           .arg(row.text(1), QString::fromLatin1(row.ascii(2)),
                                                                amount ? QString::number(*amount) : u"null"_s);
                                           });
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(seen, (QStringList{u"1|%1|%2|-12.5"_s.arg(name, digits), u"2|||null"_s, u"3|x||0.0001"_s}));

    // A failed read is an error, not an empty answer.
    EXPECT_FALSE(db::queryPrepared(db(), u"SELECT nothing FROM pq_missing WHERE "_s + ids, binds, [](const db::PreparedRow &) {}).ok);
}

} // namespace

VERNA_ALL_BACKENDS(PreparedQueryTest);
