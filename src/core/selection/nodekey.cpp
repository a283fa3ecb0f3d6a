#include "selection/nodekey.h"

#include "db/sqlquote.h"

#include <QStringList>

namespace verna::selection {

namespace {

// A code or list position: digits only, within 32 bits.
std::optional<qint32> parseCode(const QString &text)
{
    if (text.startsWith(QLatin1Char('-')))
        return std::nullopt;
    return db::parseId(text);
}

std::optional<int> parseYear(const QString &text)
{
    return db::isYear(text) ? std::optional<int>(text.toInt()) : std::nullopt;
}

std::optional<NodeKey> idKey(const QString &kind, const QString &argument)
{
    const auto id = db::parseId(argument);
    if (!id)
        return std::nullopt;
    NodeKey key{kind, argument};
    key.id = *id;
    return key;
}

std::optional<NodeKey> yearIdKey(const QString &kind, const QString &argument)
{
    const QStringList parts = argument.split(QLatin1Char('_'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto year = parseYear(parts[0]);
    const auto id = db::parseId(parts[1]);
    if (!year || !id)
        return std::nullopt;
    NodeKey key{kind, argument};
    key.year = *year;
    key.id = *id;
    return key;
}

std::optional<NodeKey> codeIdKey(const QString &kind, const QString &argument)
{
    const QStringList parts = argument.split(QLatin1Char('_'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto code = parseCode(parts[0]);
    const auto id = db::parseId(parts[1]);
    if (!code || !id)
        return std::nullopt;
    NodeKey key{kind, argument};
    key.code = *code;
    key.id = *id;
    return key;
}

} // namespace

std::optional<NodeKey> NodeKey::parseTreeKey(const QString &key)
{
    if (key.size() < 2)
        return std::nullopt;
    // A quarter node is "Q" followed directly by its statement id.
    if (key.front() == QLatin1Char('Q') && (key.at(1).isDigit() || key.at(1) == QLatin1Char('-')))
        return idKey(QStringLiteral("Q"), key.mid(1));
    const QString kind = key.left(2);
    const QString argument = key.mid(2);
    static const QStringList idKinds = {
        QStringLiteral("SU"), QStringLiteral("ob"), QStringLiteral("pz"), QStringLiteral("CR"), QStringLiteral("CV"),
        QStringLiteral("QW"), QStringLiteral("QV"), QStringLiteral("QZ"), QStringLiteral("QP"), QStringLiteral("QF"),
        QStringLiteral("QG"), QStringLiteral("NW"), QStringLiteral("NV"), QStringLiteral("NZ"), QStringLiteral("NP"),
        QStringLiteral("NF"), QStringLiteral("NG"), QStringLiteral("IP"),
    };
    if (idKinds.contains(kind))
        return idKey(kind, argument);
    if (kind == QLatin1String("IZ")) {
        if (!argument.contains(QLatin1Char('_')))
            return idKey(kind, argument);
        // A line of an abbreviated view: statement, "_", item code.
        const QStringList parts = argument.split(QLatin1Char('_'));
        const auto statement = parts.size() == 2 ? db::parseId(parts[0]) : std::nullopt;
        const auto code = parts.size() == 2 ? parseCode(parts[1]) : std::nullopt;
        if (!statement || !code)
            return std::nullopt;
        NodeKey k{kind, argument};
        k.id = *statement;
        k.code = *code;
        return k;
    }
    if (kind == QLatin1String("AC"))
        return codeIdKey(kind, argument);
    if (kind == QLatin1String("YR") || kind == QLatin1String("YV"))
        return yearIdKey(kind, argument);
    return std::nullopt;
}

std::optional<NodeKey> NodeKey::parseAnalysisKey(const QString &key)
{
    const QString kind = key.left(2);
    const QString argument = key.mid(2);
    if (kind == QLatin1String("SU"))
        return idKey(kind, argument);
    if (kind == QLatin1String("SY"))
        return yearIdKey(kind, argument);
    if (kind == QLatin1String("SQ")) {
        const QStringList parts = argument.split(QLatin1Char('_'));
        if (parts.size() != 3 || !db::isQuarter(parts[1]))
            return std::nullopt;
        const auto year = parseYear(parts[0]);
        const auto id = db::parseId(parts[2]);
        if (!year || !id)
            return std::nullopt;
        NodeKey k{kind, argument};
        k.year = *year;
        k.quarter = parts[1].toInt();
        k.id = *id;
        return k;
    }
    return std::nullopt;
}

} // namespace verna::selection
