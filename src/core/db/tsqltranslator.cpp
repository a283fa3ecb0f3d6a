#include "db/tsqltranslator.h"

#include "db/sqlitefunctions.h"

#include <QRegularExpression>
#include <vector>

namespace verna::db::tsql {

namespace {

const QChar kMark(0x1);

// The statement with every quoted literal replaced by a placeholder and every comment by a
// blank, so rewrites never touch what a user typed.
struct Masked {
    QString code;
    std::vector<QString> literals; // each with its quotes
};

Masked mask(const QString &text)
{
    Masked m;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n) {
                if (text.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && text.at(j + 1) == QLatin1Char('\'')) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const int end = std::min(j + 1, n);
            m.code += kMark + QString::number(m.literals.size()) + kMark;
            m.literals.push_back(text.mid(i, end - i));
            i = end;
        } else if (c == QLatin1Char('-') && i + 1 < n && text.at(i + 1) == QLatin1Char('-')) {
            while (i < n && text.at(i) != QLatin1Char('\r') && text.at(i) != QLatin1Char('\n'))
                ++i;
            m.code += QLatin1Char(' ');
        } else if (c == QLatin1Char('/') && i + 1 < n && text.at(i + 1) == QLatin1Char('*')) {
            const int end = text.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            m.code += QLatin1Char(' ');
        } else {
            m.code += c;
            ++i;
        }
    }
    return m;
}

QString unmask(const QString &code, const std::vector<QString> &literals)
{
    static const QRegularExpression placeholder(QStringLiteral("\\x01(\\d+)\\x01"));
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
    QString current;
    bool inQuote = false;
    bool inLineComment = false;
    bool inBlockComment = false;
    const int n = batch.size();
    auto flush = [&] {
        if (!current.trimmed().isEmpty())
            out << current.trimmed();
        current.clear();
    };
    for (int i = 0; i < n; ++i) {
        const QChar c = batch.at(i);
        if (inQuote) {
            current += c;
            if (c == QLatin1Char('\''))
                inQuote = false; // a doubled apostrophe re-enters at once below
            continue;
        }
        if (inLineComment) {
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                inLineComment = false;
            } else {
                current += c;
                continue;
            }
        }
        if (inBlockComment) {
            current += c;
            if (c == QLatin1Char('*') && i + 1 < n && batch.at(i + 1) == QLatin1Char('/')) {
                current += batch.at(++i);
                inBlockComment = false;
            }
            continue;
        }
        if (c == QLatin1Char('\'')) {
            inQuote = true;
            current += c;
        } else if (c == QLatin1Char('-') && i + 1 < n && batch.at(i + 1) == QLatin1Char('-')) {
            inLineComment = true;
            current += c;
        } else if (c == QLatin1Char('/') && i + 1 < n && batch.at(i + 1) == QLatin1Char('*')) {
            inBlockComment = true;
            current += c;
        } else if (c == QLatin1Char('\r')) {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return out;
}

StatementKind classify(const QString &statement)
{
    const QString code = mask(statement).code.simplified().toUpper();
    if (code == QLatin1String("BEGIN TRAN") || code == QLatin1String("BEGIN TRANSACTION"))
        return StatementKind::BeginTran;
    if (code == QLatin1String("COMMIT TRAN") || code == QLatin1String("COMMIT TRANSACTION") || code == QLatin1String("COMMIT"))
        return StatementKind::CommitTran;
    if (code == QLatin1String("ROLLBACK TRAN") || code == QLatin1String("ROLLBACK TRANSACTION") || code == QLatin1String("ROLLBACK"))
        return StatementKind::RollbackTran;
    static const QRegularExpression variable(QStringLiteral("^(DECLARE\\s+@|SELECT\\s+@\\w+\\s*=)"));
    if (variable.match(code).hasMatch())
        return StatementKind::Variable;
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
    // even where delivered keys start at 1.
    {
        QString out;
        int last = 0;
        auto it = keySubquery().globalMatch(code);
        while (it.hasNext()) {
            const auto k = it.next();
            const QString column = k.captured(1);
            const QString table = k.captured(2);
            out += code.mid(last, k.capturedStart() - last);
            out += QStringLiteral("(SELECT COALESCE(MIN(CASE WHEN %1 < 0 THEN %1 END), 0) - 1 FROM %2)").arg(column, table);
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
