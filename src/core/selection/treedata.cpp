#include "selection/treedata.h"

#include "base/itemcodes.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "entities/notes.h"
#include "statements/statementvalues.h"

namespace verna::selection {

namespace {

QString n(qint64 value)
{
    return QString::number(value);
}

TreeNode node(const QString &key, const QString &text, const QString &tag = {})
{
    return TreeNode{key, text, tag, {}};
}

template <typename T>
Result<T> failed(const QString &error)
{
    return Result<T>::failure(error);
}

} // namespace

TreeData::TreeData(db::Database &db, indicators::Evaluator &evaluator)
    : m_db(db)
    , m_evaluator(evaluator)
{
}

QString TreeData::loadedKey(const QString &key)
{
    return key.startsWith(QLatin1Char('Q')) ? QLatin1Char('N') + key.mid(1) : key;
}

Result<std::optional<TreeNode>> TreeData::entity(qint32 id, const std::function<bool()> &shouldStop)
{
    using Out = Result<std::optional<TreeNode>>;
    const auto stop = [&shouldStop] { return shouldStop && shouldStop(); };
    const QString sid = n(id);
    const db::Rows identity = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(i.ident_txt)), RTRIM(LTRIM(n.name_txt)) FROM ident i, name n WHERE i.inac_ind = 0 AND n.inac_ind = 0 AND i.subj_id = ")
                                             + sid + QStringLiteral(" AND i.subj_id = n.subj_id"));
    if (!identity.ok())
        return Out::failure(identity.error);
    if (identity.rows.isEmpty() || stop())
        return {};
    const QStringList &first = identity.rows.front();
    TreeNode root = node(QStringLiteral("SU") + sid, (id < 0 ? QStringLiteral("* ") : QString()) + first.value(0) + QLatin1Char(' ') + first.value(1));

    const auto branches = this->branches(id);
    if (!branches.ok())
        return Out::failure(branches.error);
    root.children += branches.value;

    const Result<QString> note = entities::loadNote(m_db, sid);
    if (!note.ok())
        return Out::failure(note.error);
    if (!note.value.isEmpty()) {
        TreeNode heading = node({}, QStringLiteral("Poznámka"));
        heading.children << node(QStringLiteral("pz") + sid, note.value);
        root.children << heading;
    }

    const db::Rows groups = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(n.name_txt)), m.subj_id FROM mem m, name n WHERE m.mem_id = ") + sid
                                           + QStringLiteral(" ") + QStringLiteral("AND n.inac_ind = 0 AND m.inac_ind IN(0,1) AND m.subj_id = n.subj_id"));
    if (!groups.ok())
        return Out::failure(groups.error);
    if (!groups.rows.isEmpty()) {
        TreeNode heading = node({}, QStringLiteral("Členství ve skupinách"));
        for (const QStringList &row : groups.rows) {
            if (const auto group = db::parseId(row.value(1)))
                heading.children << node({}, row.value(0), QStringLiteral("SK") + n(*group));
        }
        root.children << heading;
    }
    if (stop())
        return {};

    const db::Rows types = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(value_txt)) FROM cd_val WHERE inac_ind = 0 AND val_agn IN(27,28) ORDER BY seq_nbr"));
    if (!types.ok())
        return Out::failure(types.error);
    const QStringList prefixes = {QStringLiteral("CR"), QStringLiteral("CV")};
    for (int t = 0; t < 2; ++t) {
        TreeNode type = node(prefixes.at(t) + sid, types.rows.value(t).value(0));
        const auto years = statements(id, t == 0 ? 27 : 28, shouldStop);
        if (!years.ok())
            return Out::failure(years.error);
        if (stop())
            return {};
        type.children = years.value;
        root.children << type;
    }
    return {root, {}};
}

Result<QList<TreeNode>> TreeData::branches(qint32 id)
{
    using Out = Result<QList<TreeNode>>;
    const Result<QString> heading = m_db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(value_txt)) FROM cd_val WHERE inac_ind = 0 AND val_agn = 216 ORDER BY seq_nbr"));
    if (!heading.ok())
        return Out::failure(heading.error);
    const db::Rows classes = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(value_txt)), val_agn FROM cd_val WHERE inac_ind = 0 AND tbl_cd = 216 ORDER BY seq_nbr"));
    if (!classes.ok())
        return Out::failure(classes.error);
    TreeNode top = node(QStringLiteral("ob") + n(id), heading.value);
    for (const QStringList &c : classes.rows) {
        const auto table = db::parseId(c.value(1));
        if (!table)
            continue;
        TreeNode classification = node({}, c.value(0));
        const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(c.short_txt)), RTRIM(LTRIM(c.value_txt)), c.val_agn FROM actv a, cd_val c WHERE ")
                                             + QStringLiteral(" a.subj_id = ") + n(id) + QStringLiteral(" AND a.inac_ind = 0 AND c.tbl_cd = ") + n(*table)
                                             + QStringLiteral(" AND c.val_agn = a.actv_cd GROUP BY c.short_txt, c.value_txt, c.val_agn"));
        if (!rows.ok())
            return Out::failure(rows.error);
        for (const QStringList &b : rows.rows) {
            if (const auto code = db::parseId(b.value(2)))
                classification.children << node(QStringLiteral("AC") + n(*code) + QLatin1Char('_') + n(id), b.value(0) + QLatin1Char(' ') + b.value(1));
        }
        top.children << classification;
    }
    return {{top}, {}};
}

Result<QList<TreeNode>> TreeData::statements(qint32 id, int type, const std::function<bool()> &shouldStop)
{
    using Out = Result<QList<TreeNode>>;
    const QString sid = n(id);
    const db::Rows years = m_db.queryRows(QStringLiteral("SELECT DISTINCT year_dt FROM finl_stmt WHERE inac_ind = 0 ") + QStringLiteral("AND subj_id = ") + sid
                                          + QStringLiteral(" AND stmt_type_cd = ") + n(type) + QStringLiteral(" ") + QStringLiteral("ORDER BY year_dt"));
    if (!years.ok())
        return Out::failure(years.error);
    Out out;
    for (const QStringList &y : years.rows) {
        if (shouldStop && shouldStop())
            return out;
        const QString year = y.value(0);
        if (!db::isYear(year))
            continue;
        TreeNode yearNode = node((type == 27 ? QStringLiteral("YR") : QStringLiteral("YV")) + year + QLatin1Char('_') + sid, year);
        const db::Rows quarters = m_db.queryRows(QStringLiteral("SELECT quarter_dt, finl_stmt_id, fill_lvl_ind FROM finl_stmt WHERE inac_ind = 0 ")
                                                 + QStringLiteral("AND subj_id = ") + sid + QStringLiteral(" AND stmt_type_cd = ") + n(type)
                                                 + QStringLiteral(" ") + QStringLiteral("AND year_dt = ") + year + QStringLiteral(" ORDER BY quarter_dt"));
        if (!quarters.ok())
            return Out::failure(quarters.error);
        for (const QStringList &q : quarters.rows) {
            const auto stmt = db::parseId(q.value(1));
            if (!stmt)
                continue;
            const QString s = n(*stmt);
            const QString mark = *stmt < 0 ? QStringLiteral("* ") : QString();
            TreeNode quarter = node(QStringLiteral("Q") + s, q.value(0) + QStringLiteral(". Q"));
            const QString abbreviated = mark + QStringLiteral("Zkrácený");
            const QString full = mark + QStringLiteral("Plný");
            if (q.value(2) == QLatin1String("2")) {
                quarter.children << node((type == 27 ? QStringLiteral("QW") : QStringLiteral("QV")) + s, abbreviated);
            } else {
                quarter.children << node((type == 27 ? QStringLiteral("QZ") : QStringLiteral("QF")) + s, abbreviated);
                quarter.children << node((type == 27 ? QStringLiteral("QP") : QStringLiteral("QG")) + s, full);
            }
            yearNode.children << quarter;
        }
        out.value << yearNode;
    }
    return out;
}

// The stored lines of a statement, all of them or those of a fixed list in its order.
Result<TreeNode> TreeData::itemLines(const QString &statement, const QString &keyPrefix, const QList<int> *codes)
{
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(c.value_txt)), fi.row_id, RTRIM(LTRIM(c.short_txt)), fi.amt_val, fi.item_type_cd FROM cd_val c, finl_item fi ")
                                         + QStringLiteral("WHERE fi.inac_ind = 0 AND c.inac_ind = 0 AND fi.finl_stmt_id = ") + statement + QStringLiteral(" ")
                                         + QStringLiteral("AND c.val_agn = fi.item_type_cd ORDER BY c.val_agn"));
    if (!rows.ok())
        return Result<TreeNode>::failure(rows.error);
    const auto line = [&keyPrefix](const QStringList &row) {
        QString name = row.value(2) + QLatin1Char(' ') + row.value(0);
        return node(keyPrefix + row.value(1), statements::formatRadekPolozky(name, row.value(3)));
    };
    TreeNode out;
    if (!codes) {
        for (const QStringList &row : rows.rows)
            out.children << line(row);
        return {out, {}};
    }
    for (int code : *codes) {
        const auto it = std::find_if(rows.rows.cbegin(), rows.rows.cend(), [code](const QStringList &row) { return row.value(4) == n(code); });
        if (it != rows.rows.cend())
            out.children << line(*it);
    }
    return {out, {}};
}

Result<QList<TreeNode>> TreeData::viewItems(const NodeKey &view)
{
    using Out = Result<QList<TreeNode>>;
    const QString stmt = n(view.id);
    const QString kind = view.kind;
    if (kind == QLatin1String("QW") || kind == QLatin1String("QP") || kind == QLatin1String("QG")) {
        const auto lines = itemLines(stmt, kind == QLatin1String("QW") ? QStringLiteral("IZ") : QStringLiteral("IP"), nullptr);
        return {lines.value.children, lines.error};
    }
    if (kind == QLatin1String("QV")) {
        const auto lines = itemLines(stmt, QStringLiteral("IZ"), &base::ItemCodes::abbreviatedIncomeStatement());
        return {lines.value.children, lines.error};
    }
    if (kind != QLatin1String("QZ") && kind != QLatin1String("QF"))
        return {};
    const Result<QString> type = m_db.readValue(QStringLiteral("SELECT stmt_type_cd FROM finl_stmt WHERE inac_ind = 0 AND finl_stmt_id = ") + stmt);
    if (!type.ok())
        return Out::failure(type.error);
    if (type.value == QLatin1String("27")) {
        const auto lines = itemLines(stmt, QStringLiteral("IZ"), &base::ItemCodes::abbreviatedBalanceSheet());
        return {lines.value.children, lines.error};
    }
    if (type.value != QLatin1String("28"))
        return {};
    // Every line of the abbreviated income statement, stored or computed, even without a value.
    Out out;
    const QList<int> &computed = base::ItemCodes::computedItems();
    for (int code : base::ItemCodes::abbreviatedIncomeStatement()) {
        const db::Rows title = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(c.value_txt)), c.val_agn, RTRIM(LTRIM(c.short_txt)) FROM cd_val c ")
                                              + QStringLiteral("WHERE c.inac_ind = 0 AND c.val_agn = ") + n(code));
        if (!title.ok())
            return Out::failure(title.error);
        const qsizetype pair = computed.indexOf(code);
        const Result<QString> value = pair >= 0
            ? statements::getHodnotaUkazatele(m_db, m_evaluator, base::ItemCodes::computedItemFormulas().at(pair), stmt)
            : statements::getHodnotaPolozky(m_db, code, stmt);
        if (!value.ok())
            return Out::failure(value.error);
        const QStringList row = title.rows.value(0);
        QString name = row.value(2) + QLatin1Char(' ') + row.value(0);
        out.value << node(QStringLiteral("IZ") + stmt + QLatin1Char('_') + n(code), statements::formatRadekPolozky(name, value.value));
    }
    return out;
}

Result<QStringList> TreeData::memberNames(qint32 group, const std::function<bool()> &shouldStop)
{
    // Members' current names only: a renamed member is listed once.
    const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT RTRIM(LTRIM(n.name_txt)) FROM mem m, name n ") + QStringLiteral("WHERE m.subj_id = ")
                                         + n(group) + QStringLiteral(" AND m.inac_ind IN(0,1) ") + QStringLiteral("AND n.subj_id = m.mem_id AND n.inac_ind = 0"));
    if (!rows.ok())
        return failed<QStringList>(rows.error);
    Result<QStringList> out;
    for (const QStringList &row : rows.rows) {
        if (shouldStop && shouldStop())
            break;
        out.value << row.value(0);
    }
    return out;
}

} // namespace verna::selection
