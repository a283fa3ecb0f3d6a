#include "evaluator_fixture_test.h"

#include <QStringList>

namespace verna::test::evaluator {

namespace {

struct Writer {
    db::Database &db;
    QStringList batch;
    int row = 1;

    void statement(int id, const QString &entity, int type, int fill, const QString &year, const QString &quarter, int inac = 0)
    {
        batch << QStringLiteral("INSERT INTO finl_stmt VALUES (%1, getdate(), %2, %3, %4, %5, null, 0, null, 0, 0, null, "
                                "'uživatel', 1, %6, %7, %8)")
                     .arg(row++)
                     .arg(inac)
                     .arg(id)
                     .arg(entity)
                     .arg(type)
                     .arg(fill)
                     .arg(year, quarter);
    }
    void item(int statement, const QString &entity, int code, const QString &amount)
    {
        batch << QStringLiteral("INSERT INTO finl_item VALUES (%1, getdate(), 0, %2, %3, %4, %5)")
                     .arg(row++)
                     .arg(statement)
                     .arg(entity)
                     .arg(code)
                     .arg(amount);
    }
    void indicator(int id, int inac, const QString &formula)
    {
        batch << QStringLiteral("INSERT INTO func_for VALUES (%1, getdate(), %2, %3, 'ukazatel %2', '%4', 'popis')")
                     .arg(row++)
                     .arg(id)
                     .arg(inac)
                     .arg(QString(formula).replace(QLatin1Char('\''), QLatin1String("''")));
    }
};

} // namespace

QList<FixturePeriod> fixturePeriods()
{
    return {kAbbreviated, kFull, kNoIncome, kTwoSheets, kDeleted, kTwoForms};
}

const QList<FixtureItem> &abbreviatedItems()
{
    static const QList<FixtureItem> items = {
        // balance sheet
        {92, QStringLiteral("809550")},
        {119, QStringLiteral("401220.5")},
        {120, QStringLiteral("-200600.25")},
        {142, QStringLiteral("0")},
        {153, QStringLiteral("0.1")},
        {170, QStringLiteral("0.2")},
        {171, QStringLiteral("0.3")},
        {182, QStringLiteral("123456789.12")},
        {192, QStringLiteral("-0.01")},
        // income statement
        {36, QStringLiteral("8750")},
        {37, QStringLiteral("3")},
        {41, QStringLiteral("341260")},
        {42, QStringLiteral("-7")},
        {48, QStringLiteral("0.5")},
        {59, QStringLiteral("1234567.89")},
        {90, QStringLiteral("-0.5")},
        {205, QStringLiteral("9561")},
        {213, QStringLiteral("-1250")},
    };
    return items;
}

bool insertFixture(db::Database &db, QString *error)
{
    Writer w{db, {}};
    w.statement(1, kAbbreviated.entity, 27, 2, kAbbreviated.year, kAbbreviated.quarter);
    w.statement(2, kAbbreviated.entity, 28, 2, kAbbreviated.year, kAbbreviated.quarter);
    for (const FixtureItem &i : abbreviatedItems())
        w.item(i.code < 92 || i.code >= 202 ? 2 : 1, kAbbreviated.entity, i.code, i.amount);

    w.statement(3, kFull.entity, 27, 4, kFull.year, kFull.quarter);
    w.statement(4, kFull.entity, 28, 4, kFull.year, kFull.quarter);
    w.item(3, kFull.entity, 92, QStringLiteral("5000"));
    w.item(3, kFull.entity, 119, QStringLiteral("-1500.75"));
    const QList<FixtureItem> fullIncome = {
        {31, QStringLiteral("1000")}, {32, QStringLiteral("400")},   {36, QStringLiteral("3000")},  {37, QStringLiteral("12")},
        {40, QStringLiteral("250")},  {41, QStringLiteral("0")},     {47, QStringLiteral("1")},     {49, QStringLiteral("2500.5")},
        {52, QStringLiteral("-2")},   {55, QStringLiteral("3")},     {56, QStringLiteral("4")},     {57, QStringLiteral("5")},
        {58, QStringLiteral("6")},    {60, QStringLiteral("7")},     {61, QStringLiteral("8")},     {71, QStringLiteral("9")},
        {72, QStringLiteral("0.25")}, {87, QStringLiteral("-300")},  {90, QStringLiteral("-77.7")},
        // stored although a full statement computes it: must not be read
        {205, QStringLiteral("77")},
    };
    for (const FixtureItem &i : fullIncome)
        w.item(4, kFull.entity, i.code, i.amount);

    w.statement(5, kNoIncome.entity, 27, 2, kNoIncome.year, kNoIncome.quarter);
    w.item(5, kNoIncome.entity, 92, QStringLiteral("100"));
    w.item(5, kNoIncome.entity, 119, QStringLiteral("40"));

    w.statement(6, kTwoSheets.entity, 27, 2, kTwoSheets.year, kTwoSheets.quarter);
    w.statement(7, kTwoSheets.entity, 27, 2, kTwoSheets.year, kTwoSheets.quarter);
    w.item(6, kTwoSheets.entity, 92, QStringLiteral("1"));
    w.item(7, kTwoSheets.entity, 92, QStringLiteral("2"));
    w.item(7, kTwoSheets.entity, 119, QStringLiteral("3"));

    w.statement(8, kDeleted.entity, 27, 2, kDeleted.year, kDeleted.quarter, 2);
    w.statement(9, kDeleted.entity, 27, 2, kDeleted.year, kDeleted.quarter);
    w.item(8, kDeleted.entity, 92, QStringLiteral("11"));
    w.item(9, kDeleted.entity, 119, QStringLiteral("12"));

    w.statement(10, kTwoForms.entity, 28, 4, kTwoForms.year, kTwoForms.quarter);
    w.statement(11, kTwoForms.entity, 28, 2, kTwoForms.year, kTwoForms.quarter);
    w.item(10, kTwoForms.entity, 31, QStringLiteral("5"));
    w.item(11, kTwoForms.entity, 202, QStringLiteral("6"));
    w.item(11, kTwoForms.entity, 36, QStringLiteral("7"));

    // Items 202..213 of a full statement, as the reference data computes them.
    const QStringList computed = {
        QStringLiteral("[31]"), QStringLiteral("[32]"), QStringLiteral("[40]"), QStringLiteral("[49]"),
        QStringLiteral("[52]"), QStringLiteral("[56]+[58]"), QStringLiteral("[47]+[55]+[57]"), QStringLiteral("[71]"),
        QStringLiteral("[72]"), QStringLiteral("[60]+[62]+[66]+[68]+[73]+[75]"), QStringLiteral("[61]+[67]+[69]+[70]+[74]+[76]"),
        QStringLiteral("[87]"),
    };
    for (int i = 0; i < computed.size(); ++i)
        w.indicator(17 + i, 1, computed.at(i));
    w.indicator(100, 0, QStringLiteral("[36]/[41]*100"));
    w.indicator(101, 0, QStringLiteral("[92]"));
    w.indicator(102, 2, QStringLiteral("[92]")); // deleted
    w.indicator(103, 1, QStringLiteral("[119]")); // hidden from lists, still evaluated
    w.indicator(104, 0, QStringLiteral("[92]; DELETE FROM func_for"));
    w.indicator(105, 0, QStringLiteral("[36]2"));
    w.indicator(106, 0, QString());
    w.indicator(107, 0, QStringLiteral("[205]+[213]"));
    w.indicator(108, 0, QStringLiteral("  [92]  "));
    w.indicator(-3, 0, QStringLiteral("[119]/[92]"));

    const Outcome written = db.execute(w.batch.join(QLatin1Char('\r')));
    if (error)
        *error = written.error;
    return written.ok;
}

int countCalls(db::Database &db, const std::function<void()> &f)
{
    int calls = 0;
    db.setIdleHook([&calls] { ++calls; });
    f();
    db.setIdleHook({});
    return calls;
}

} // namespace verna::test::evaluator
