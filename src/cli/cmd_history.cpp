#include "commandline.h"
#include "commands.h"

#include "db/audit.h"
#include "db/database.h"
#include "db/sqlquote.h"

namespace verna::cli {

namespace {

const char *const kHistoryUsage = "Použití: verna-db history (--entity E | --since RRRR-MM-DD)\n";

QString optional(const std::optional<qint32> &value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

// Prints the audit trail of one entity or of everything since a day, newest first: when, who,
// action, kind of object, its id, the entity, its label and the id of the statement it replaced.
int commandHistory(const Options &options, QTextStream &out, QTextStream &err)
{
    db::audit::Filter filter;
    const QStringList &rest = options.rest;
    for (int i = 0; i < rest.size(); ++i) {
        const QString &a = rest.at(i);
        static const QStringList valued = {QStringLiteral("--entity"), QStringLiteral("--since")};
        const std::optional<QString> given = optionValue(rest, i, valued, "history", err);
        if (!given)
            return UsageError;
        if (a == QLatin1String("--entity")) {
            filter.entity = db::parseId(*given);
            if (!filter.entity) {
                err << "Číslo subjektu je celé číslo: " << *given << "\n";
                return UsageError;
            }
        } else {
            filter.since = QDate::fromString(*given, Qt::ISODate);
            if (!filter.since->isValid()) {
                err << "Datum se zadává jako RRRR-MM-DD: " << *given << "\n";
                return UsageError;
            }
        }
    }
    if (filter.entity.has_value() == filter.since.has_value()) {
        err << "Příkaz history potřebuje právě jednu z voleb --entity a --since.\n" << kHistoryUsage;
        return UsageError;
    }
    db::Database database;
    if (!openDatabase(database, options, err))
        return DatabaseError;
    const Result<QList<db::audit::Entry>> rows = db::audit::history(database, filter);
    if (!rows.ok()) {
        err << "Historii změn nelze přečíst: " << rows.error << "\n";
        return DatabaseError;
    }
    for (const db::audit::Entry &e : rows.value) {
        QStringList fields = {e.when, e.user, e.action, e.kind, QString::number(e.id), optional(e.entity), e.label, optional(e.replaced)};
        for (QString &field : fields)
            field.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        out << fields.join(QLatin1Char('\t')) << "\n";
    }
    return Success;
}

} // namespace verna::cli
