#include "sqlitefixture.h"

#include "base/itemcodes.h"
#include "db/schema.h"
#include "shell/startup.h"

namespace verna::test {

namespace {

QString codeLines()
{
    QStringList statements;
    int row = 1;
    const auto add = [&](int list, const QList<int> &codes) {
        int seq = 1;
        for (const int code : codes) {
            statements << QStringLiteral("INSERT INTO cd_val VALUES(%1,getdate(),0,%2,%3,'%3','Řádek %3',%4)")
                              .arg(row++).arg(list).arg(code).arg(seq++);
        }
    };
    add(29, base::ItemCodes::abbreviatedBalanceSheet());
    add(30, base::ItemCodes::abbreviatedIncomeStatement());
    return statements.join(QLatin1Char('\r'));
}

} // namespace

QString SqliteFixture::create(const QString &path, Content content)
{
    db::Database database;
    if (const Outcome opened = database.open(db::DatabaseLocation::file(path)); !opened)
        return opened.error;
    Outcome result;
    switch (content) {
    case Content::Empty:
        break;
    case Content::Tables:
        result = db::Schema::create(database);
        break;
    case Content::CodeLines:
        result = db::Schema::create(database);
        if (result)
            result = database.execute(codeLines());
        break;
    case Content::ReferenceData:
        result = shell::initialiseDatabase(database, false);
        break;
    }
    return result.error;
}

QString SqliteFixture::open(db::Database &database, Content content)
{
    if (const QString error = create(path(), content); !error.isEmpty())
        return error;
    return database.open(db::DatabaseLocation::file(path())).error;
}

} // namespace verna::test
