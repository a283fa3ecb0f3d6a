#include "report/reportbuilder.h"

#include "analysis/analysismodel.h"
#include "analysis/evaluatorsource.h"
#include "analysis/peertable.h"
#include "analysis/roedecomposition.h"
#include "db/database.h"
#include "db/openfiles.h"
#include "indicators/indicatorstore.h"
#include "report/chartsection.h"
#include "report/html.h"
#include "report/peersection.h"
#include "report/roesection.h"
#include "report/statementsections.h"
#include "report/stylesheets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace verna::report {

using analysis::AnalysisModel;

namespace {

const QString kSingleTitle = QStringLiteral("Finanční report");
const QString kGroupTitle = QStringLiteral("Finanční report skupiny");

QString n(qint64 value)
{
    return QString::number(value);
}

QString computationSection(const AnalysisModel &model, const ReportShape &shape)
{
    const bool wholeRows = shape.kind == ReportShape::WholeRows;
    QStringList out{QStringLiteral("<!-- VYPOCET_START -->")};
    if (wholeRows)
        out << QStringLiteral("<H2 CLASS=obdobi>Výpočet</H2>");
    out << QStringLiteral("<DIV CLASS=tabulka>") << QStringLiteral("<TABLE>");
    out << QStringLiteral("<TR>") << QStringLiteral("<TD  CLASS=zahlavi>") + escaped(model.headerData(0, Qt::Horizontal).toString()) + QStringLiteral("</TD>");
    const QString headerCell = shape.kind == ReportShape::Rectangle ? QStringLiteral("<TD  CLASS=zahlavi  ALIGN=center>")
                                                                    : QStringLiteral("<TD  CLASS=zahlavi ALIGN=center>");
    for (int c = shape.left; c <= shape.right; ++c)
        out << headerCell + escaped(model.indicatorName(c - AnalysisModel::kFixedColumns)) + QStringLiteral("</TD>");
    out << QStringLiteral("</TR>");
    for (int r = shape.top; r <= shape.bottom; ++r) {
        out << QStringLiteral("<TR>")
            << QStringLiteral("<TD  CLASS=zahlavi>") + escaped(model.entityName(r) + QLatin1Char(' ') + model.rowKey(r).periodText()) + QStringLiteral("</TD>");
        for (int c = shape.left; c <= shape.right; ++c)
            out << QStringLiteral("<TD  CLASS=bunka ALIGN=right>") + escaped(model.cell(r, c - AnalysisModel::kFixedColumns)) + QStringLiteral("</TD>");
        out << QStringLiteral("</TR>");
    }
    if (wholeRows) {
        const AggregateRow aggregate = reportAggregate(model);
        out << QStringLiteral("<TR>")
            << QStringLiteral("<TD  CLASS=zahlavi>Skupina(") + n(model.dataRowCount()) + QStringLiteral("): ") + escaped(aggregate.name) + QStringLiteral("</TD>");
        for (const QString &cell : aggregate.cells)
            out << QStringLiteral("<TD  CLASS=bunka ALIGN=right>") + escaped(cell) + QStringLiteral("</TD>");
        out << QStringLiteral("</TR>");
    }
    out << QStringLiteral("</TABLE>") << QStringLiteral("</DIV>") << QStringLiteral("<!-- VYPOCET_END -->");
    return lines(out);
}

Result<QString> entitySection(db::Database &db, const analysis::RowKey &key)
{
    const QString id = n(key.entity);
    const Result<QString> name = db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(name_txt)) FROM name ") + QStringLiteral("WHERE subj_id = ") + id
                                              + QStringLiteral(" ") + QStringLiteral("AND inac_ind = 0"));
    if (!name.ok())
        return name;
    const Result<QString> ico = db.readValue(QStringLiteral("SELECT RTRIM(LTRIM(ident_txt)) FROM ident ") + QStringLiteral("WHERE subj_id = ") + id
                                             + QStringLiteral(" ") + QStringLiteral("AND inac_ind = 0"));
    if (!ico.ok())
        return ico;
    // Ordered, so every backend lists the branches alike.
    const db::Rows branches = db.queryRows(QStringLiteral("SELECT DISTINCT RTRIM(LTRIM(c.value_txt)) FROM cd_val c, actv a WHERE a.subj_id = ") + id
                                           + QStringLiteral(" ") + QStringLiteral("AND a.inac_ind = 0 AND c.val_agn = a.actv_cd AND c.inac_ind = 0 ORDER BY 1"));
    if (!branches.ok())
        return Result<QString>::failure(branches.error);
    const QString entity = escaped(name.value);
    QStringList out{QStringLiteral("<!-- HLAVICKA_START -->"),
                    QStringLiteral("<H2 CLASS=obdobi>") + entity + QLatin1Char(' ') + key.periodText() + QStringLiteral("</H2>"),
                    QStringLiteral("<DIV CLASS=hlavicka>"),
                    QStringLiteral("<TABLE>"),
                    QStringLiteral("<TR>"),
                    QStringLiteral("<TD CLASS=zahlavi>Subjekt:</TD>"),
                    QStringLiteral("<TD CLASS=bunka>") + entity + QStringLiteral("</TD>"),
                    QStringLiteral("</TR>"),
                    QStringLiteral("<TR>"),
                    QStringLiteral("<TD CLASS=zahlavi>IČO:</TD>"),
                    QStringLiteral("<TD CLASS=bunka>") + escaped(ico.value) + QStringLiteral("</TD>"),
                    QStringLiteral("</TR>"),
                    QStringLiteral("<TR>"),
                    QStringLiteral("<TD CLASS=zahlavi VALIGN=TOP>OKEČ:</TD>"),
                    QStringLiteral("<TD CLASS=bunka>")};
    for (const QStringList &row : branches.rows)
        out << escaped(row.value(0)) + QStringLiteral("<BR>");
    out << QStringLiteral("</TD>") << QStringLiteral("</TR>") << QStringLiteral("</TABLE>") << QStringLiteral("</DIV>")
        << QStringLiteral("<!-- HLAVICKA_END -->");
    return {lines(out), {}};
}

QString note(const QString &text)
{
    return QStringLiteral("<P CLASS=poznamka>") + escaped(text) + QStringLiteral("</P>") + kEol;
}

QString safeFileName(QString caption)
{
    for (QChar &c : caption) {
        if (QStringLiteral("/\\:*?\"<>|").contains(c) || c.unicode() < 32)
            c = QLatin1Char('_');
    }
    return caption;
}

} // namespace

ReportBuilder::ReportBuilder(db::Database &db, indicators::Evaluator &evaluator)
    : m_db(db)
    , m_evaluator(evaluator)
{
}

Result<ReportSections> ReportBuilder::build(const AnalysisModel &model, const analysis::CellRange &selection, const QString &classFolder, int currentRow)
{
    using Out = Result<ReportSections>;
    ReportSections s;
    const ReportShape shape = reportShape(model, selection);
    if (shape.isEmpty()) {
        s.tooSmall = true;
        s.title = kSingleTitle;
        return {s, {}};
    }
    s.singleRow = shape.top == shape.bottom;
    s.title = s.singleRow ? kSingleTitle : kGroupTitle;
    s.computation = computationSection(model, shape);
    s.chart = chartSection(model, shape, classFolder);
    if (!s.singleRow)
        return {s, {}};

    const analysis::RowKey key = model.rowKey(currentRow >= 0 && currentRow < model.dataRowCount() ? currentRow : shape.top);
    const Result<QString> entity = entitySection(m_db, key);
    if (!entity.ok())
        return Out::failure(entity.error);
    s.entity = entity.value;
    StatementSections statements(m_db, m_evaluator);
    const Result<QString> form = statements.incomeStatementForm(key);
    if (!form.ok())
        return Out::failure(form.error);
    s.fullStatements = form.value != QLatin1String("2");
    QString error;
    const auto take = [&error](const Result<QString> &section, QString &into) {
        into = section.value;
        error = section.error;
        return section.ok();
    };
    bool ok = true;
    if (s.fullStatements) {
        ok = take(statements.fullBalanceSheet(key), s.balanceFull) && take(statements.abbreviatedBalanceSheet(key), s.balanceAbbreviated)
            && take(statements.fullIncomeStatement(key), s.incomeFull) && take(statements.abbreviatedIncomeDerived(key), s.incomeAbbreviated);
    } else {
        ok = take(statements.abbreviatedBalanceSheet(key), s.balanceAbbreviated) && take(statements.abbreviatedIncomeStored(key), s.incomeAbbreviated);
    }
    if (!ok)
        return Out::failure(error);
    const auto [a, b] = analysis::defaultRoePeriods(key);
    const Result<analysis::RoeDecomposition> roe = analysis::decomposeRoe(m_db, m_evaluator, a, b);
    if (!roe.ok())
        return Out::failure(roe.error);
    s.roe = roeSection(roe.value, model.locale());
    if (m_peers) {
        const analysis::peertable::Columns columns = analysis::peertable::columns(model);
        analysis::EvaluatorSource source(m_db);
        analysis::PeerBenchmark benchmark(m_db, source);
        const Result<QList<analysis::PeerBenchmarkRow>> peers = benchmark.compute({key}, columns.ids, *m_peers);
        if (!peers.ok())
            return Out::failure(peers.error);
        const Result<QHash<qint32, indicators::IndicatorUnit>> units = indicators::IndicatorStore(m_db).units();
        if (!units.ok())
            return Out::failure(units.error);
        QHash<qint32, indicators::Direction> directions;
        for (auto it = units.value.cbegin(); it != units.value.cend(); ++it)
            directions.insert(it.key(), it.value().direction);
        if (!peers.value.isEmpty())
            s.peers = peerSection(peers.value.front(), columns.names, directions, model.locale());
    }
    return {s, {}};
}

QString assembleReport(const ReportSections &s, const SectionChoice &choice, const QString &stylePath)
{
    QStringList head{QStringLiteral("<HTML>"), QStringLiteral("<HEAD>"), QStringLiteral("<TITLE>") + s.title + QStringLiteral("</TITLE>")};
    if (!stylePath.isEmpty())
        head << QStringLiteral("<LINK REL=\"STYLESHEET\" HREF=\"") + fileUrl(stylePath) + QStringLiteral("\">");
    head << QStringLiteral("</HEAD>") << QStringLiteral("<BODY>") << QStringLiteral("<H1>") + s.title + QStringLiteral("</H1>");
    QString out = lines(head);
    if (s.tooSmall) {
        out += note(QStringLiteral("Tabulka analýzy je pro report příliš malá: potřebuje alespoň jeden řádek a jeden ukazatel."));
    } else {
        if (stylePath.isEmpty())
            out += note(QStringLiteral("Ve složce stylů není žádný soubor CSS, report je zobrazen bez stylu."));
        if (s.singleRow)
            out += s.entity;
        if (choice.computation)
            out += s.computation;
        if (choice.chart)
            out += s.chart;
        if (s.singleRow && choice.balance)
            out += s.fullStatements && choice.balanceFull ? s.balanceFull : s.balanceAbbreviated;
        if (s.singleRow && choice.income)
            out += s.fullStatements && choice.incomeFull ? s.incomeFull : s.incomeAbbreviated;
        if (s.singleRow && choice.roe)
            out += s.roe;
        if (s.singleRow && choice.peers)
            out += s.peers;
    }
    out += lines({QStringLiteral("<P CLASS=paticka>Sestaveno programem <A HREF=\"https://verna.invalid/\">VERNA</A> pro finanční analýzu podniků.</P>"),
                  QStringLiteral("</BODY>"), QStringLiteral("</HTML>")});
    return out;
}

Result<QString> selfContainedReport(const QString &html, const QString &stylePath)
{
    QString out = html;
    if (!stylePath.isEmpty()) {
        QFile file(stylePath);
        if (!file.open(QIODevice::ReadOnly))
            return Result<QString>::failure(QStringLiteral("Styl %1 nelze přečíst: %2").arg(QDir::toNativeSeparators(stylePath), file.errorString()));
        QString css = QString::fromUtf8(file.readAll());
        if (css.startsWith(QChar(0xFEFF)))
            css.remove(0, 1);
        // A style sheet cannot end its own element early.
        css.replace(QStringLiteral("</"), QStringLiteral("<\\/"));
        const QString link = QStringLiteral("<LINK REL=\"STYLESHEET\" HREF=\"") + fileUrl(stylePath) + QStringLiteral("\">");
        out.replace(link, QStringLiteral("<STYLE>") + kEol + css.trimmed() + kEol + QStringLiteral("</STYLE>"));
    }
    // The applets' classes are never sent along; their SVG fallback draws the chart.
    static const QRegularExpression codebase(QStringLiteral("\\s+codebase=\"file:[^\"]*\""), QRegularExpression::CaseInsensitiveOption);
    out.remove(codebase);
    return {out, {}};
}

QString reportFilePath(const QString &cssFolder, const QString &caption)
{
    return QDir(cssFolder).filePath(QLatin1Char('~') + safeFileName(caption) + QStringLiteral(".htm"));
}

QString profileFilePath(const QString &cssFolder, const QString &caption)
{
    return QDir(cssFolder).filePath(QStringLiteral("~_") + safeFileName(caption) + QStringLiteral(".htm"));
}

QString temporaryFolder(const QString &cssFolder)
{
    const QFileInfo folder(cssFolder);
    const QString path = QDir(cssFolder).absolutePath();
    if (!cssFolder.isEmpty() && folder.isDir() && folder.isWritable() && path != defaultCssFolder())
        return path;
    return QDir::tempPath();
}

QString defaultClassFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/class/");
}

Outcome writeReportFile(const QString &path, const QString &html)
{
    if (db::isOpenDatabaseFile(path)) // replacing it would destroy the data the process is using
        return Outcome::failure(db::openDatabaseFileRefusal(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::failure(QStringLiteral("Report nelze zapsat do souboru %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    file.write("\xEF\xBB\xBF");
    file.write(html.toUtf8());
    if (!file.commit())
        return Outcome::failure(QStringLiteral("Report nelze zapsat do souboru %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return Outcome::success();
}

} // namespace verna::report
