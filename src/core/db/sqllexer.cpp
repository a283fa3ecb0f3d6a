#include "db/sqllexer.h"

namespace verna::db::sql {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// End of a quote opened at `from` that closes with `close`; a doubled closer is an escape,
// and with backslashes a backslash escapes the next character.
int quoteEnd(const QString &t, int from, QChar close, bool backslashes)
{
    const int n = t.size();
    for (int j = from + 1; j < n; ++j) {
        const QChar c = t.at(j);
        if (backslashes && c == QLatin1Char('\\')) {
            ++j;
        } else if (c == close) {
            if (j + 1 < n && t.at(j + 1) == close && close != QLatin1Char(']'))
                ++j;
            else
                return j + 1;
        }
    }
    return n;
}

int blockCommentEnd(const QString &t, int from, bool nested, bool &closed)
{
    const int n = t.size();
    int depth = 0;
    closed = false;
    for (int j = from; j + 1 < n; ++j) {
        if (t.at(j) == QLatin1Char('/') && t.at(j + 1) == QLatin1Char('*')) {
            if (depth == 0 || nested)
                ++depth;
            ++j;
        } else if (t.at(j) == QLatin1Char('*') && t.at(j + 1) == QLatin1Char('/')) {
            ++j;
            if (--depth == 0) {
                closed = true;
                return j + 1;
            }
        }
    }
    return n;
}

// PostgreSQL's $tag$ ... $tag$; -1 when no dollar quote starts at `from`.
int dollarQuoteEnd(const QString &t, int from)
{
    if (from > 0 && isWordChar(t.at(from - 1)))
        return -1;
    int j = from + 1;
    while (j < t.size() && t.at(j) != QLatin1Char('$')) {
        const QChar c = t.at(j);
        if (!(c.isLetter() || c == QLatin1Char('_') || (j > from + 1 && c.isDigit())))
            return -1;
        ++j;
    }
    if (j >= t.size())
        return -1;
    const QString tag = t.mid(from, j - from + 1);
    const int close = t.indexOf(tag, j + 1);
    return close < 0 ? t.size() : close + tag.size();
}

} // namespace

Dialect dialectOf(Backend backend)
{
    switch (backend) {
    case Backend::SQLite:
        return Dialect::SQLite;
    case Backend::PostgreSQL:
        return Dialect::PostgreSQL;
    case Backend::SqlServer:
        break;
    }
    return Dialect::TSql;
}

QList<Span> lex(const QString &t, Dialect dialect)
{
    QList<Span> spans;
    auto add = [&spans](SpanKind kind, int start, int end, bool open = false) {
        if (kind == SpanKind::Code && !spans.isEmpty() && spans.back().kind == SpanKind::Code && spans.back().end == start)
            spans.back().end = end;
        else
            spans.append({kind, start, end, open});
    };
    const bool postgres = dialect == Dialect::PostgreSQL;
    const int n = t.size();
    int i = 0;
    while (i < n) {
        const QChar c = t.at(i);
        const QChar next = i + 1 < n ? t.at(i + 1) : QChar();
        int end = -1;
        bool closed = true;
        SpanKind kind = SpanKind::Literal;
        if (c == QLatin1Char('\'')) {
            // PostgreSQL's E'..' takes backslash escapes.
            const bool escapes = postgres && i > 0 && (t.at(i - 1) == QLatin1Char('E') || t.at(i - 1) == QLatin1Char('e'))
                && (i < 2 || !isWordChar(t.at(i - 2)));
            end = quoteEnd(t, i, c, escapes);
        } else if (c == QLatin1Char('"')) {
            kind = SpanKind::QuotedName;
            end = quoteEnd(t, i, c, false);
        } else if (c == QLatin1Char('[') && !postgres) {
            kind = SpanKind::QuotedName;
            end = quoteEnd(t, i, QLatin1Char(']'), false);
        } else if (c == QLatin1Char('`') && dialect == Dialect::SQLite) {
            kind = SpanKind::QuotedName;
            end = quoteEnd(t, i, c, false);
        } else if (c == QLatin1Char('$') && postgres) {
            end = dollarQuoteEnd(t, i);
        } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
            kind = SpanKind::Comment;
            end = i + 2;
            // SQLite ends a line comment at LF only; the others at CR too.
            while (end < n && t.at(end) != QLatin1Char('\n') && (dialect == Dialect::SQLite || t.at(end) != QLatin1Char('\r')))
                ++end;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            kind = SpanKind::Comment;
            end = blockCommentEnd(t, i, dialect != Dialect::SQLite, closed);
        }
        if (end < 0) {
            add(SpanKind::Code, i, i + 1);
            ++i;
        } else {
            add(kind, i, end, !closed);
            i = end;
        }
    }
    return spans;
}

} // namespace verna::db::sql
