#include "db/sqlitefunctions.h"

#include "db/sqlitearithmetic.h"
#include "db/sqlquote.h"
#include "db/statementpack.h"

#include <QCollator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>

#include <sqlite3.h>

namespace verna::db {

namespace {

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

const QCollator &czechCollator()
{
    static const QCollator collator = [] {
        QCollator c{QLocale(QLocale::Czech, QLocale::CzechRepublic)};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

int collate(void *, int lengthA, const void *a, int lengthB, const void *b)
{
    const QString sa = withoutTrailingBlanks(QString::fromUtf8(static_cast<const char *>(a), lengthA));
    const QString sb = withoutTrailingBlanks(QString::fromUtf8(static_cast<const char *>(b), lengthB));
    return compareText(sa, sb);
}

QString argText(sqlite3_value *value)
{
    const auto *text = sqlite3_value_text(value);
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text), sqlite3_value_bytes(value)) : QString();
}

void likeFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    QChar escape;
    if (argc == 3) {
        const QString e = argText(argv[2]);
        if (e.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e.front();
    }
    sqlite3_result_int(context, sqlLikeMatch(argText(argv[0]), argText(argv[1]), escape) ? 1 : 0);
}

// Accented letters and the base letters searches compare them as, pair by pair.
const QString kAccented = QStringLiteral("ÁÄČĆĎÉĚËÍĹĽŁŃŇÓÔÖŔŘŚŠŤÚŮÜÝŹŽŻáäčćďéěëíĺľłńňóôöŕřśšťúůüýźžż");
const QString kPlain = QStringLiteral("AACCDEEEILLLNNOOORRSSTUUUYZZZaaccdeeeilllnnooorrsstuuuyzzz");

// The replacements that make a name's order key, in the order they apply: blanks doubled and
// each sign a blank with its two-digit rank in the collation (so both sort below digits and
// letters, blanks lowest), capitals as small letters, the letters Czech orders after their base
// as the base with "{" (above "z"), other accents dropped.
const QList<std::pair<QString, QString>> &orderReplacements()
{
    static const QList<std::pair<QString, QString>> pairs = [] {
        QList<std::pair<QString, QString>> out = {{QStringLiteral(" "), QStringLiteral("  ")}};
        // A no-break space is a blank; the dashes and quotation marks of Czech typing are signs.
        out.append({QStringLiteral("\u00a0"), QStringLiteral("  ")});
        QList<QChar> signs;
        for (char16_t c = 0x21; c < 0x7f; ++c) {
            if (!QChar(c).isLetterOrNumber())
                signs << QChar(c);
        }
        for (QChar c : QStringLiteral("\u2013\u2014\u201e\u201c\u201d\u201a\u2018\u2019\u00ab\u00bb\u2026\u00a7\u00b0"))
            signs << c;
        std::stable_sort(signs.begin(), signs.end(), [](QChar a, QChar b) { return compareText(QString(a), QString(b)) < 0; });
        int rank = 0;
        for (qsizetype i = 0; i < signs.size(); ++i) {
            if (i > 0 && compareText(QString(signs.at(i - 1)), QString(signs.at(i))) != 0)
                ++rank;
            out.append({QString(signs.at(i)), QStringLiteral(" %1").arg(rank, 2, 10, QLatin1Char('0'))});
        }
        for (char c = 'A'; c <= 'Z'; ++c)
            out.append({QString(QChar::fromLatin1(c)), QString(QChar::fromLatin1(char(c - 'A' + 'a')))});
        out.append({QStringLiteral("ch"), QStringLiteral("h{")});
        const QString own = QStringLiteral("ČčŘřŠšŽž");
        for (QChar c : own)
            out.append({QString(c), QString(kPlain.at(kAccented.indexOf(c)).toLower()) + QLatin1Char('{')});
        for (qsizetype i = 0; i < kAccented.size(); ++i) {
            if (!own.contains(kAccented.at(i)))
                out.append({QString(kAccented.at(i)), QString(kPlain.at(i).toLower())});
        }
        return out;
    }();
    return pairs;
}

// Whether a key holds a character the replacements leave alone beyond printable ASCII.
const QString kOtherCharacters = QStringLiteral("*[^ -~]*");

void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    const QByteArray folded = searchFold(argText(argv[0])).toUtf8();
    sqlite3_result_text(context, folded.constData(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

QString searchFold(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 128) {
            c = c.toLower();
        } else if (const qsizetype i = kAccented.indexOf(c); i >= 0) {
            c = kPlain.at(i).toLower();
        }
    }
    return out;
}

QString searchFoldSql(const QString &operand, Backend backend)
{
    if (backend == Backend::SQLite)
        return QStringLiteral("verna_fold(") + operand + QLatin1Char(')');
    // Under "C" lower() folds ASCII only: the accented letters are mapped before it, both cases.
    return QStringLiteral("lower(translate(") + operand + QStringLiteral(" COLLATE \"C\", '") + kAccented + QStringLiteral("', '")
        + kPlain + QStringLiteral("'))");
}

QStringList searchFoldSqliteSteps(const QString &operand, const QString &folding)
{
    // replace() compares code points exactly in every SQLite build; lower() follows the build
    // (ICU folds more than ASCII), so capitals are replaced one by one too. SQLite's parser
    // takes about twenty nested calls, so the replacements come in steps.
    QList<std::pair<QChar, QChar>> pairs;
    for (qsizetype i = 0; i < kAccented.size(); ++i)
        pairs.append({kAccented.at(i), kPlain.at(i).toLower()});
    for (char c = 'A'; c <= 'Z'; ++c)
        pairs.append({QChar::fromLatin1(c), QChar::fromLatin1(char(c - 'A' + 'a'))});
    constexpr qsizetype kPerStep = 17;
    QStringList steps;
    for (qsizetype from = 0; from < pairs.size(); from += kPerStep) {
        QString sql = steps.isEmpty() ? operand : folding;
        for (qsizetype i = from; i < std::min(from + kPerStep, pairs.size()); ++i)
            sql = QStringLiteral("replace(%1,'%2','%3')").arg(sql, pairs.at(i).first, pairs.at(i).second);
        steps << sql;
    }
    return steps;
}

QString nameOrderKey(const QString &name)
{
    QString key = name;
    for (const auto &[from, to] : orderReplacements())
        key.replace(from, to);
    for (QChar c : std::as_const(key)) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return QLatin1Char('\x01') + key;
    }
    return key;
}

QStringList nameOrderSqliteSteps(const QString &operand, const QString &ordering)
{
    const auto &pairs = orderReplacements();
    constexpr qsizetype kPerStep = 17;
    QStringList steps;
    for (qsizetype from = 0; from < pairs.size(); from += kPerStep) {
        QString sql = steps.isEmpty() ? operand : ordering;
        for (qsizetype i = from; i < std::min(from + kPerStep, pairs.size()); ++i)
            sql = QStringLiteral("replace(%1,%2,%3)").arg(sql, quoted(pairs.at(i).first), quoted(pairs.at(i).second));
        steps << sql;
    }
    steps << QStringLiteral("CASE WHEN %1 GLOB '%2' THEN char(1) || %1 ELSE %1 END").arg(ordering, kOtherCharacters);
    return steps;
}

int compareText(const QString &a, const QString &b)
{
    const int c = czechCollator().compare(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

QCollatorSortKey textSortKey(const QString &text)
{
    return czechCollator().sortKey(text);
}

bool sqlLikeMatch(const QString &patternIn, const QString &valueIn, QChar escape)
{
    const QString pattern = patternIn.toCaseFolded();
    const QString value = valueIn.toCaseFolded();
    // Iterative matcher with one backtrack point for the last %.
    int p = 0;
    int v = 0;
    int starP = -1;
    int starV = -1;
    const int np = pattern.size();
    const int nv = value.size();
    while (v < nv) {
        if (p < np) {
            QChar pc = pattern.at(p);
            bool literal = false;
            if (!escape.isNull() && pc == escape && p + 1 < np) {
                pc = pattern.at(p + 1);
                literal = true;
            }
            if (!literal && pc == QLatin1Char('%')) {
                starP = ++p;
                starV = v;
                continue;
            }
            if ((!literal && pc == QLatin1Char('_')) || pc == value.at(v)) {
                p += literal ? 2 : 1;
                ++v;
                continue;
            }
        }
        if (starP < 0)
            return false;
        p = starP;
        v = ++starV;
    }
    while (p < np && pattern.at(p) == QLatin1Char('%'))
        ++p;
    return p == np;
}

bool registerSqliteFunctions(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *sqlite = *static_cast<sqlite3 *const *>(handle.constData());
    if (!sqlite)
        return false;
    bool ok = sqlite3_create_collation(sqlite, kSqliteTextCollation, SQLITE_UTF8, nullptr, collate) == SQLITE_OK;
    ok = ok && sqlite3_create_function(sqlite, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunction, nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_create_function(sqlite, "like", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunction, nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_create_function(sqlite, "verna_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, foldFunction, nullptr, nullptr) == SQLITE_OK;
    ok = ok && registerSqliteArithmetic(sqlite);
    ok = ok && pack::registerFunction(sqlite);
    return ok;
}

} // namespace verna::db
