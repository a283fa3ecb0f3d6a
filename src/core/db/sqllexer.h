#pragma once

#include "db/backend.h"

#include <QList>
#include <QString>

namespace verna::db::sql {

// The quoting and comment rules of a product's SQL text. T-SQL is what the application
// builds; the others decide what a backend will actually see in a translated statement.
enum class Dialect { TSql, SQLite, PostgreSQL };

Dialect dialectOf(Backend backend);

enum class SpanKind { Code, Literal, QuotedName, Comment };

// A stretch of text [start, end). An unterminated quote or comment runs to the end.
struct Span {
    SpanKind kind;
    int start;
    int end;
    bool open = false; // a /* comment without its end
};

// The text cut into code, quoted literals ('..' with '' escapes), quoted names ("..", and
// [..] where the dialect has them), and comments (-- and /* */), by the dialect's rules.
QList<Span> lex(const QString &text, Dialect dialect = Dialect::TSql);

} // namespace verna::db::sql
