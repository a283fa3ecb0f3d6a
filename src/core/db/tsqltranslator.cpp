#include "db/tsqltranslator.h"

#include "db/sqlitefunctions.h"
#include "db/sqllexer.h"

#include <QRegularExpression>
#include <vector>

namespace verna::db::tsql {

namespace {

const QChar kMark(0x1);     // a quoted literal
const QChar kNameMark(0x2); // a quoted name

// The statement with every quoted literal and name replaced by a placeholder and every
// comment by a blank, so rewrites never touch what a user typed.
struct Masked {
    QString code;
    std::vector<QString> literals; // each with its quotes
};

Masked mask(const QString &text, sql::Dialect dialect = sql::Dialect::TSql)
{
    Masked m;
    for (const sql::Span &span : sql::lex(text, dialect)) {
        const QString piece = text.mid(span.start, span.end - span.start);
        switch (span.kind) {
        case sql::SpanKind::Code:
            m.code += piece;
            break;
        case sql::SpanKind::Literal:
            m.code += kMark + QString::number(m.literals.size()) + kMark;
            m.literals.push_back(piece);
            break;
        case sql::SpanKind::QuotedName:
            m.code += kNameMark + QString::number(m.literals.size()) + kNameMark;
            m.literals.push_back(piece);
            break;
        case sql::SpanKind::Comment:
            m.code += QLatin1Char(' ');
            break;
        }
    }
    return m;
}

QString unmask(const QString &code, const std::vector<QString> &literals)
{
    static const QRegularExpression placeholder(QStringLiteral("[\\x01\\x02](\\d+)[\\x01\\x02]"));
    QString out;
    int last = 0;
    auto it = placeholder.globalMatch(code);
    while (it.hasNext()) {
        const auto m = it.next();
        out += code.mid(last, m.capturedStart() - last);
        out += literals.at(m.captured(1).toInt());
        last = m.capturedEnd();
    }
    out += code.mid(last);
    return out;
}

// A T-SQL LIKE pattern (no default escape, [x] matches x literally) as a pattern with
// backslash as its escape character, which both PostgreSQL and SQLite take with ESCAPE '\'.
QString likePattern(const QString &quotedLiteral)
{
    const QString body = quotedLiteral.mid(1, quotedLiteral.size() - 2);
    QString out;
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c == QLatin1Char('[') && i + 2 < body.size() && body.at(i + 2) == QLatin1Char(']')) {
            const QChar inner = body.at(i + 1);
            if (inner == QLatin1Char('%') || inner == QLatin1Char('_') || inner == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += inner;
            i += 2;
        } else if (c == QLatin1Char('\\')) {
            out += QLatin1String("\\\\");
        } else {
            out += c;
        }
    }
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

// Index just past the parenthesis that closes the one opened before `from`, or -1.
int matchingParen(const QString &code, int from)
{
    int depth = 1;
    for (int i = from; i < code.size(); ++i) {
        if (code.at(i) == QLatin1Char('('))
            ++depth;
        else if (code.at(i) == QLatin1Char(')') && --depth == 0)
            return i;
    }
    return -1;
}

const QRegularExpression &keySubquery()
{
    static const QRegularExpression re(
        QStringLiteral("\\(\\s*SELECT\\s+\\(?\\s*min\\s*\\(\\s*(\\w+)\\s*\\)\\s*-\\s*1\\s*\\)?\\s+FROM\\s+(\\w+)\\s*\\)"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

} // namespace

QStringList splitBatch(const QString &batch)
{
    QStringList out;
    auto flush = [&out](const QString &piece) {
        if (!piece.trimmed().isEmpty())
            out << piece.trimmed();
    };
    QString current;
    for (const sql::Span &span : sql::lex(batch)) {
        if (span.kind != sql::SpanKind::Code) {
            current += batch.mid(span.start, span.end - span.start);
            continue;
        }
        for (int i = span.start; i < span.end; ++i) {
            const QChar c = batch.at(i);
            if (c == QLatin1Char('\r') || c == QLatin1Char(';')) {
                flush(current);
                current.clear();
            } else {
                current += c;
            }
        }
    }
    flush(current);
    return out;
}

StatementKind classify(const QString &statement, Backend backend)
{
    const sql::Dialect dialect = sql::dialectOf(backend);
    const QString code = mask(statement, dialect).code.simplified().toUpper();
    if (code.isEmpty())
        return StatementKind::Empty;
    // A piece the backend would run as several statements could hide a COMMIT in its middle.
    if (backend != Backend::SqlServer && code.contains(QLatin1Char(';')))
        return StatementKind::Several;
    static const QRegularExpression begin(QStringLiteral(
        "^(BEGIN( (DEFERRED|IMMEDIATE|EXCLUSIVE))?( (TRAN|TRANSACTION|WORK))?|START TRANSACTION)$"));
    static const QRegularExpression commit(QStringLiteral("^(COMMIT|END)( (TRAN|TRANSACTION|WORK))?$"));
    if (begin.match(code).hasMatch())
        return StatementKind::BeginTran;
    if (commit.match(code).hasMatch())
        return StatementKind::CommitTran;
    // Anything else that starts, ends or splits a transaction, in any backend's words; on SQL
    // Server statements need no separator, so the words count anywhere in the text.
    static const QRegularExpression leading(QStringLiteral("^(BEGIN|START|COMMIT|END|ROLLBACK|ABORT|SAVEPOINT|RELEASE|SAVE)\\b"));
    static const QRegularExpression anywhere(QStringLiteral("\\b(COMMIT|ROLLBACK|SAVEPOINT|TRAN|TRANSACTION)\\b"));
    if (leading.match(code).hasMatch() || anywhere.match(code).hasMatch())
        return StatementKind::TransactionControl;
    static const QRegularExpression variable(QStringLiteral("^(DECLARE\\s+@|SELECT\\s+@\\w+\\s*=)"));
    if (variable.match(code).hasMatch())
        return StatementKind::Variable;
    static const QRegularExpression query(QStringLiteral("^(SELECT|WITH)\\b"));
    static const QRegularExpression writes(QStringLiteral("\\b(INTO|INSERT|UPDATE|DELETE|REPLACE|MERGE|CREATE|DROP|ALTER)\\b"));
    if (query.match(code).hasMatch() && !writes.match(code).hasMatch())
        return StatementKind::Query;
    return StatementKind::Plain;
}

QStringList keyTables(const QString &statement)
{
    QStringList tables;
    auto it = keySubquery().globalMatch(mask(statement).code);
    while (it.hasNext()) {
        const QString table = it.next().captured(2).toLower();
        if (!tables.contains(table))
            tables << table;
    }
    return tables;
}

bool hasUnclosedComment(const QString &statement)
{
    const QList<sql::Span> spans = sql::lex(statement);
    return std::any_of(spans.begin(), spans.end(), [](const sql::Span &s) { return s.open; });
}

Translation translate(const QString &statement, Backend backend)
{
    if (backend == Backend::SqlServer)
        return {statement, keyTables(statement)};

    Masked m = mask(statement);
    QString code = m.code;
    Translation result;

    static const QRegularExpression getdate(QStringLiteral("\\bgetdate\\s*\\(\\s*\\)"), QRegularExpression::CaseInsensitiveOption);
    code.replace(getdate, QStringLiteral("CURRENT_TIMESTAMP"));

    // New keys: the first key of an empty table is -1, and application keys stay negative
    // even where delivered keys start at 1. The range on the key column lets the unique index
    // answer, instead of a scan of the table for every insert.
    {
        QString out;
        int last = 0;
        auto it = keySubquery().globalMatch(code);
        while (it.hasNext()) {
            const auto k = it.next();
            const QString column = k.captured(1);
            const QString table = k.captured(2);
            out += code.mid(last, k.capturedStart() - last);
            out += QStringLiteral("(SELECT COALESCE(MIN(%1), 0) - 1 FROM %2 WHERE %1 < 0)").arg(column, table);
            last = k.capturedEnd();
            if (!result.keyTables.contains(table.toLower()))
                result.keyTables << table.toLower();
        }
        out += code.mid(last);
        code = out;
    }

    // RTRIM(LTRIM(x)) also trims numbers in T-SQL; PostgreSQL wants text. On SQLite a
    // function result loses the column's collation, so the trimmed text gets it back for
    // ORDER BY and comparisons.
    {
        static const QRegularExpression trim(QStringLiteral("\\bRTRIM\\s*\\(\\s*LTRIM\\s*\\("), QRegularExpression::CaseInsensitiveOption);
        int from = 0;
        while (true) {
            const auto t = trim.match(code, from);
            if (!t.hasMatch())
                break;
            const int innerStart = t.capturedEnd();
            const int close = matchingParen(code, innerStart);
            if (close < 0)
                break;
            if (backend == Backend::PostgreSQL) {
                const QString inner = code.mid(innerStart, close - innerStart);
                const QString replacement = QStringLiteral("CAST((") + inner + QStringLiteral(") AS TEXT)");
                code.replace(innerStart, close - innerStart, replacement);
                from = innerStart + replacement.size();
            } else {
                const int outerClose = matchingParen(code, close + 1);
                if (outerClose < 0)
                    break;
                const QString collate = QStringLiteral(" COLLATE ") + QString::fromLatin1(kSqliteTextCollation);
                code.insert(outerClose + 1, collate);
                from = outerClose + 1 + collate.size();
            }
        }
    }

    // Text compares as on the T-SQL server (case-insensitive, trailing blanks ignored). SQLite
    // columns are plain TEXT, so a literal compared with brings the collation. A literal of
    // digits only (an IČO, a code) compares the same either way and keeps the plain indexes.
    if (backend == Backend::SQLite) {
        static const QRegularExpression compared(QStringLiteral("(=|<>|!=|<|>)\\s*\\x01(\\d+)\\x01"));
        static const QRegularExpression digits(QStringLiteral("^'[0-9]*'$"));
        QString out;
        int last = 0;
        auto it = compared.globalMatch(code);
        while (it.hasNext()) {
            const auto c = it.next();
            out += code.mid(last, c.capturedEnd() - last);
            if (!digits.match(m.literals.at(c.captured(2).toInt())).hasMatch())
                out += QStringLiteral(" COLLATE ") + QString::fromLatin1(kSqliteTextCollation);
            last = c.capturedEnd();
        }
        out += code.mid(last);
        code = out;
    }

    // LIKE: T-SQL compares case-insensitively and has no default escape character.
    {
        static const QRegularExpression like(QStringLiteral("([\\w.]+)(\\s+)(NOT\\s+)?LIKE\\s*\\x01(\\d+)\\x01"),
                                             QRegularExpression::CaseInsensitiveOption);
        QString out;
        int last = 0;
        auto it = like.globalMatch(code);
        while (it.hasNext()) {
            const auto l = it.next();
            const int index = l.captured(4).toInt();
            m.literals[index] = likePattern(m.literals[index]);
            out += code.mid(last, l.capturedStart() - last);
            QString lhs = l.captured(1);
            if (backend == Backend::PostgreSQL)
                lhs += QStringLiteral(" COLLATE \"default\"");
            out += lhs + l.captured(2) + l.captured(3)
                + (backend == Backend::PostgreSQL ? QStringLiteral("ILIKE ") : QStringLiteral("LIKE "))
                + kMark + l.captured(4) + kMark + QStringLiteral(" ESCAPE '\\'");
            last = l.capturedEnd();
        }
        out += code.mid(last);
        code = out;
    }

    result.sql = unmask(code, m.literals);
    return result;
}

} // namespace verna::db::tsql
