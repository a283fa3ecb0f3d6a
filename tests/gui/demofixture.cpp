#include "demofixture.h"

#include "base/textforms.h"
#include "db/sqlquote.h"
#include "shell/demodata.h"

#include <gtest/gtest.h>

namespace verna::test {

DemoFixture &DemoFixture::get()
{
    static DemoFixture fixture;
    return fixture;
}

DemoFixture::DemoFixture()
{
    const QString error = seed();
    if (!error.isEmpty())
        ADD_FAILURE() << "demo database: " << error.toStdString();
    m_state = std::make_unique<shell::AppState>(m_db);
}

QString DemoFixture::run(const QString &sql)
{
    return m_db.execute(sql).error;
}

QString DemoFixture::seed()
{
    if (QString error = m_files.open(m_db, SqliteFixture::Content::ReferenceData); !error.isEmpty())
        return error;
    if (const Outcome made = shell::generateDemoData(m_db, {.entities = 12, .firstYear = 1998, .lastYear = 1999}); !made)
        return made.error;

    QStringList sql = {
        QStringLiteral("INSERT INTO cd_val VALUES(-1,getdate(),0,217,%1,'ZZ1','50% podíl ''Qx''',9001)").arg(kBranch),
        QStringLiteral("INSERT INTO cd_val VALUES(-2,getdate(),0,217,99002,'ZZ2','500 Qx',9002)"),
    };
    const auto entity = [&sql](qint32 id, const QString &ico, const QString &name, int form) {
        sql << QStringLiteral("INSERT INTO ident VALUES((SELECT (min(row_id)-1) FROM ident),getdate(),0,%1,23,%2,null,0,null,0,%3)")
                   .arg(QString::number(id), db::quoted(ico), QString::number(form))
            << QStringLiteral("INSERT INTO name VALUES((SELECT (min(row_id)-1) FROM name),getdate(),0,%1,22,%2,null,0,null,0,%3)")
                   .arg(QString::number(id), db::quoted(name), db::quoted(base::searchForm(name)));
    };
    const auto branch = [&sql](qint32 id, int number) {
        sql << QStringLiteral("INSERT INTO actv VALUES((SELECT (min(row_id)-1) FROM actv),getdate(),0,%1,%2,%3)").arg(id).arg(kBranch)
                   .arg(number);
    };
    entity(900001, QStringLiteral("11111111"), QStringLiteral("Cihelna Qx a.s."), 1121);
    entity(900002, QStringLiteral("00000123"), QStringLiteral("Čepice Qx s.r.o."), 1112);
    entity(-7, QStringLiteral("44444444"), QStringLiteral("Novákova Qx s.r.o."), 1112);
    entity(-8, QStringLiteral("skupina_"), QStringLiteral("Skupina Qx"), 215);
    for (qint32 id : {900001, 900002, -7})
        branch(id, 1);
    for (qint32 id = 900010; id < 900016; ++id) {
        entity(id, QStringLiteral("9999") + QString::number(id % 10000).rightJustified(4, u'0'),
               QStringLiteral("Obor Qz ") + QString::number(id), 1121);
        branch(id, 2);
    }
    return run(sql.join(u'\r'));
}

} // namespace verna::test
