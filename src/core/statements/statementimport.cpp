#include "statements/statementimport.h"

#include "base/textforms.h"
#include "db/audit.h"
#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"
#include "entities/entitystore.h"
#include "statements/amount.h"
#include "statements/statementdata.h"
#include "statements/statementstore.h"
#include "statements/sumrules.h"

#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <optional>
#include <vector>

namespace verna::statements {

namespace {

constexpr int kMaxNameLength = 255;
// Statement pairs (entity and period) one file may hold. A file within the byte cap holds a few
// ten thousand real pairs; a hostile one of a short row per pair would hold millions.
constexpr size_t kMaxFilePairs = 200000;
constexpr qint32 kCompanyType = 2; // Podnik

enum class Column { Ico, Name, LegalForm, Year, Quarter, Type, Form, Code, Amount };

// Lower case without diacritics, blanks, dots, dashes and underscores: "Čtvrtletí" → "ctvrtleti".
QString plain(const QString &text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.category() == QChar::Mark_NonSpacing || c.isSpace() || c == QLatin1Char('_') || c == QLatin1Char('-')
            || c == QLatin1Char('.'))
            continue;
        out += c.toLower();
    }
    return out;
}

std::optional<Column> columnNamed(const QString &header)
{
    static const QHash<QString, Column> names = {
        {QStringLiteral("ico"), Column::Ico},         {QStringLiteral("nazev"), Column::Name},
        {QStringLiteral("forma"), Column::LegalForm}, {QStringLiteral("rok"), Column::Year},
        {QStringLiteral("ctvrtleti"), Column::Quarter}, {QStringLiteral("vykaz"), Column::Type},
        {QStringLiteral("rozsah"), Column::Form},     {QStringLiteral("radek"), Column::Code},
        {QStringLiteral("castka"), Column::Amount},
    };
    const auto it = names.constFind(plain(header));
    return it == names.cend() ? std::nullopt : std::optional<Column>(*it);
}

QString columnTitle(Column c)
{
    switch (c) {
    case Column::Ico: return QStringLiteral("ico");
    case Column::Name: return QStringLiteral("nazev");
    case Column::LegalForm: return QStringLiteral("forma");
    case Column::Year: return QStringLiteral("rok");
    case Column::Quarter: return QStringLiteral("ctvrtleti");
    case Column::Type: return QStringLiteral("vykaz");
    case Column::Form: return QStringLiteral("rozsah");
    case Column::Code: return QStringLiteral("radek");
    case Column::Amount: return QStringLiteral("castka");
    }
    return {};
}

struct FilePeriod {
    int year = 0;
    int quarter = 0;
};

struct FileLayout {
    bool wide = false;
    QHash<Column, int> columns;
    QList<std::pair<int, FilePeriod>> periods; // wide: column → period
};

Result<FileLayout> detectLayout(const SparseRow &header)
{
    using Out = Result<FileLayout>;
    static const QRegularExpression periodHeader(QStringLiteral("^(\\d{4})\\s*/\\s*([1-4])$"));
    Out out;
    for (const ImportCell &c : header.cells) {
        const int i = c.column;
        const QString cell = c.text.trimmed();
        if (cell.isEmpty())
            continue;
        const auto m = periodHeader.match(cell);
        if (m.hasMatch() && isStatementYear(m.captured(1))) {
            out.value.periods.append({i, FilePeriod{m.captured(1).toInt(), m.captured(2).toInt()}});
            continue;
        }
        const std::optional<Column> column = columnNamed(cell);
        if (!column)
            return Out::failure(QStringLiteral("Řádek %1: neznámý sloupec „%2“ v záhlaví.").arg(header.line).arg(cell.left(40)));
        if (out.value.columns.contains(*column))
            return Out::failure(QStringLiteral("Řádek %1: sloupec „%2“ je v záhlaví dvakrát.").arg(header.line).arg(cell.left(40)));
        out.value.columns.insert(*column, i);
    }
    out.value.wide = !out.value.periods.isEmpty();
    QList<Column> required = {Column::Ico, Column::Type, Column::Form, Column::Code};
    QList<Column> forbidden;
    if (out.value.wide)
        forbidden = {Column::Year, Column::Quarter, Column::Amount};
    else
        required << Column::Year << Column::Quarter << Column::Amount;
    QStringList missing;
    for (Column c : required) {
        if (!out.value.columns.contains(c))
            missing << columnTitle(c);
    }
    for (Column c : forbidden) {
        if (out.value.columns.contains(c))
            return Out::failure(QStringLiteral("Řádek %1: sloupec „%2“ nepatří k období ve sloupcích.").arg(header.line).arg(columnTitle(c)));
    }
    if (!missing.isEmpty())
        return Out::failure(QStringLiteral("Řádek %1: v záhlaví chybí sloupce %2.").arg(header.line).arg(missing.join(QStringLiteral(", "))));
    return out;
}

// A statement line as read: only numbers are kept, so a large file stays small in memory.
struct FileLine {
    int line = 0;
    qint32 code = 0;
    Amount amount;
};

struct FileStatement {
    bool present = false;
    int form = 0;
    int firstLine = 0;
    int mixedFormLine = 0; // a line of another form than the first
    std::vector<FileLine> lines;
    // The first line whose code or amount is unreadable. The statement is refused at its first
    // fault in file order, so the lines after it are not kept.
    int badLine = 0;
    std::optional<qint32> badCode; // that line's code, when it is a number
    QString badReason;
};

struct FilePair {
    QString ico;
    QString name;
    QString legalForm;
    FilePeriod period;
    int firstLine = 0;
    FileStatement balance;
    FileStatement income;
};

// Cells are data: only these short, checked words and digits become keys.
std::optional<int> statementType(const QString &cell)
{
    const QString p = plain(cell);
    if (p == QLatin1String("rozvaha") || p == QLatin1String("27"))
        return kBalanceSheet;
    if (p == QLatin1String("vysledovka") || p == QLatin1String("vykazziskuaztraty") || p == QLatin1String("28"))
        return kIncomeStatement;
    return std::nullopt;
}

std::optional<int> fillLevel(const QString &cell)
{
    const QString p = plain(cell);
    if (p == QLatin1String("plny") || p == QLatin1String("4"))
        return 4;
    if (p == QLatin1String("zkraceny") || p == QLatin1String("2"))
        return 2;
    return std::nullopt;
}

std::optional<QString> icoOf(const QString &cell)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,8}$"));
    QString ico = cell.trimmed();
    if (!digits.match(ico).hasMatch())
        return std::nullopt;
    return base::padIco(ico);
}

QString shown(const QString &cell)
{
    return cell.size() > 40 ? cell.left(40) + QStringLiteral("…") : cell;
}

QString periodText(const FilePeriod &p)
{
    return QString::number(p.year) + QLatin1Char('/') + QString::number(p.quarter);
}

QString typeWord(int type)
{
    return type == kBalanceSheet ? QStringLiteral("rozvaha") : QStringLiteral("výsledovka");
}

QString notALine(const QString &code, int form)
{
    return QStringLiteral("„%1“ není řádek %2 výkazu.").arg(shown(code), form == 4 ? QStringLiteral("plného") : QStringLiteral("zkráceného"));
}

// Groups the rows, as they are read, into statement pairs in the order the pairs first appear.
// A row that cannot be placed in a pair is refused, and with it the whole file.
class PairCollector
{
public:
    // The header first, then the data rows.
    Outcome add(const SparseRow &row);

    bool hasHeader = false;
    FileLayout layout;
    std::vector<FilePair> pairs;
    QList<ImportRefusal> refusals;
    int unlistedRefusals = 0;
    QHash<int, QString> codeTexts; // by file line: a code written otherwise than as a plain number

private:
    void addLine(FileStatement &statement, int line, const QString &code, const QString &amount);

    QHash<quint64, size_t> m_index; // IČO, year and quarter → pair
    int m_column[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1}; // by Column: the file's column, -1 when absent
    // The rows of a statement repeat its IČO, type and form: each cell text is read once.
    QString m_icoCell, m_typeCell, m_formCell;
    std::optional<QString> m_ico;
    quint64 m_icoNumber = 0;
    std::optional<int> m_type, m_form;
};

Outcome PairCollector::add(const SparseRow &row)
{
    if (!hasHeader) {
        Result<FileLayout> detected = detectLayout(row);
        if (!detected.ok())
            return detected.outcome();
        layout = std::move(detected.value);
        for (auto it = layout.columns.cbegin(); it != layout.columns.cend(); ++it)
            m_column[static_cast<int>(it.key())] = it.value();
        hasHeader = true;
        return Outcome::success();
    }
    const auto at = [&](Column c) {
        const int column = m_column[static_cast<int>(c)];
        return column < 0 ? QString() : row.at(column).trimmed();
    };
    const auto refuse = [&](const QString &reason) {
        if (refusals.size() < ImportSummary::kMaxListedRefusals)
            refusals.append({row.line, reason});
        else
            ++unlistedRefusals;
        return Outcome::success();
    };
    if (const QString cell = at(Column::Ico); cell != m_icoCell || !m_ico) {
        m_icoCell = cell;
        m_ico = icoOf(cell);
        m_icoNumber = m_ico ? m_ico->toULongLong() : 0;
    }
    const std::optional<QString> &ico = m_ico;
    if (!ico)
        return refuse(QStringLiteral("IČO „%1“ není číslo o nejvýše 8 číslicích.").arg(shown(at(Column::Ico))));
    if (const QString cell = at(Column::Type); cell != m_typeCell || !m_type) {
        m_typeCell = cell;
        m_type = statementType(cell);
    }
    const std::optional<int> type = m_type;
    if (!type)
        return refuse(QStringLiteral("Výkaz „%1“ není rozvaha ani vysledovka.").arg(shown(at(Column::Type))));
    if (const QString cell = at(Column::Form); cell != m_formCell || !m_form) {
        m_formCell = cell;
        m_form = fillLevel(cell);
    }
    const std::optional<int> form = m_form;
    if (!form)
        return refuse(QStringLiteral("Rozsah „%1“ není plny ani zkraceny.").arg(shown(at(Column::Form))));
    QList<std::pair<FilePeriod, QString>> amounts;
    if (layout.wide) {
        for (const auto &[column, period] : layout.periods) {
            const QString amount = row.at(column).trimmed();
            if (!amount.isEmpty())
                amounts.append({period, amount});
        }
    } else {
        const QString year = at(Column::Year);
        const QString quarter = at(Column::Quarter);
        if (!isStatementYear(year) || !db::isQuarter(quarter))
            return refuse(QStringLiteral("Období „%1/%2“ není rok (čtyři číslice, nejdříve 1993) a čtvrtletí 1 až 4.").arg(shown(year), shown(quarter)));
        amounts.append({FilePeriod{year.toInt(), quarter.toInt()}, at(Column::Amount)});
    }
    const QString code = at(Column::Code);
    for (const auto &[period, amount] : amounts) {
        const quint64 key = m_icoNumber * 100000 + quint64(period.year) * 10 + quint64(period.quarter);
        auto it = m_index.find(key);
        if (it == m_index.end()) {
            if (pairs.size() >= kMaxFilePairs)
                return Outcome::failure(QStringLiteral("Řádek %1: soubor má víc než %2 dvojic výkazů (subjekt a období); rozdělte ho na menší.")
                                            .arg(row.line)
                                            .arg(QLocale(QLocale::Czech).toString(qulonglong(kMaxFilePairs))));
            it = m_index.insert(key, pairs.size());
            FilePair pair;
            pair.ico = *ico;
            pair.period = period;
            pair.firstLine = row.line;
            pairs.push_back(std::move(pair));
        }
        FilePair &pair = pairs[*it];
        if (pair.name.isEmpty())
            pair.name = at(Column::Name);
        if (pair.legalForm.isEmpty())
            pair.legalForm = at(Column::LegalForm);
        FileStatement &statement = *type == kBalanceSheet ? pair.balance : pair.income;
        if (!statement.present) {
            statement.present = true;
            statement.form = *form;
            statement.firstLine = row.line;
        } else if (statement.form != *form) {
            if (statement.mixedFormLine == 0)
                statement.mixedFormLine = row.line;
            continue;
        }
        addLine(statement, row.line, code, amount);
    }
    return Outcome::success();
}

// Keeps the line as numbers; the first unreadable one is kept as its refusal instead.
void PairCollector::addLine(FileStatement &statement, int line, const QString &code, const QString &amount)
{
    if (statement.badLine != 0)
        return;
    const std::optional<qint32> number = db::parseId(code);
    if (!number) {
        statement.badLine = line;
        statement.badReason = notALine(code, statement.form);
        return;
    }
    // Kept when it is written otherwise than the number would be ("007", "-0"), for the refusal.
    const qsizetype sign = code.startsWith(QLatin1Char('-')) ? 1 : 0;
    if ((code.size() > sign + 1 && code.at(sign) == QLatin1Char('0')) || (sign && *number == 0))
        codeTexts.insert(line, code);
    const Result<Amount> parsed = Amount::parse(amount);
    if (!parsed.ok()) {
        statement.badLine = line;
        statement.badCode = number;
        statement.badReason = QStringLiteral("částka „%1“ řádku %2: %3").arg(shown(amount), QString::number(*number), parsed.error);
        return;
    }
    statement.lines.push_back({line, *number, parsed.value});
}

// The legal form of a new entity: the form column (ČSÚ code), else the name's legal suffix.
std::optional<qint32> legalFormOf(const FilePair &pair)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{3}$"));
    if (!pair.legalForm.isEmpty())
        return digits.match(pair.legalForm).hasMatch() ? std::optional<qint32>(1000 + pair.legalForm.toInt()) : std::nullopt;
    static const std::vector<std::pair<QString, qint32>> suffixes = {
        {QStringLiteral("as"), 1121},   {QStringLiteral("akcspol"), 1121}, {QStringLiteral("sro"), 1112},
        {QStringLiteral("spolsro"), 1112}, {QStringLiteral("vos"), 1111}, {QStringLiteral("ks"), 1113},
        {QStringLiteral("druzstvo"), 1205}, {QStringLiteral("sp"), 1301},
    };
    const qsizetype comma = pair.name.lastIndexOf(QLatin1Char(','));
    const QString suffix = plain(comma < 0 ? pair.name.section(QLatin1Char(' '), -1) : pair.name.mid(comma + 1));
    for (const auto &[text, code] : suffixes) {
        if (suffix == text)
            return code;
    }
    return std::nullopt;
}

// A pair that passed every check, ready to be written.
struct Accepted {
    StatementPair pair;
    QString ico;
    std::optional<entities::NewEntity> newEntity;
    bool replaces = false;
};

class Importer
{
public:
    Importer(db::Database &db, const ImportOptions &options, ImportSummary &summary)
        : m_db(db)
        , m_options(options)
        , m_summary(summary)
        , m_store(db)
    {
    }

    void run(PairCollector &file);

private:
    bool stopped();
    void progress(ImportStep step, int done, int total);
    Outcome loadForms();
    // The pair as it will be written, or a refusal added to the summary.
    std::optional<Accepted> check(const FilePair &file);
    bool checkStatement(const FilePair &file, int type, const FileStatement &statement, QList<std::pair<int, Amount>> &lines);
    // Why a line's code has no place in the statement, or nothing.
    std::optional<QString> codeFault(int line, qint32 code, const QSet<int> &codes, int form, const QHash<int, Amount> &amounts) const;
    Result<std::optional<qint32>> entityOf(const QString &ico);
    // The file's IČOs and the periods of their entities, each read by one query per few hundred.
    Outcome loadEntities(const std::vector<FilePair> &pairs);
    Outcome write(QList<Accepted> &accepted);

    db::Database &m_db;
    const ImportOptions &m_options;
    ImportSummary &m_summary;
    StatementStore m_store;
    std::optional<SumRules> m_rules;
    QHash<int, QList<int>> m_formCodes; // type * 10 + fill level → codes in form order
    QHash<int, QSet<int>> m_formCodeSets; // the same codes, to look a line up
    QHash<QString, std::optional<qint32>> m_entities; // by IČO; none = not in the database
    QHash<quint64, QList<PeriodStatement>> m_periods; // the stored statements of those entities, by periodKey
    QHash<int, QString> m_codeTexts;                  // by file line: codes written otherwise than as numbers
};

bool Importer::stopped()
{
    if (m_options.stopRequested && m_options.stopRequested())
        m_summary.stopped = true;
    return m_summary.stopped;
}

void Importer::progress(ImportStep step, int done, int total)
{
    if (m_options.progress)
        m_options.progress(step, done, total);
}

Outcome Importer::loadForms()
{
    Result<SumRules> rules = SumRules::load(m_db);
    if (!rules.ok())
        return rules.outcome();
    m_rules = rules.value;
    for (int type : {kBalanceSheet, kIncomeStatement}) {
        for (bool full : {false, true}) {
            const Result<QList<StatementLine>> lines = m_store.lines(type, full);
            if (!lines.ok())
                return lines.outcome();
            QList<int> &codes = m_formCodes[type * 10 + (full ? 4 : 2)];
            for (const StatementLine &line : lines.value)
                codes << line.code;
            m_formCodeSets.insert(type * 10 + (full ? 4 : 2), QSet<int>(codes.cbegin(), codes.cend()));
        }
    }
    return Outcome::success();
}

bool Importer::checkStatement(const FilePair &file, int type, const FileStatement &statement, QList<std::pair<int, Amount>> &lines)
{
    const QString what = QStringLiteral("%1 %2 za %3").arg(typeWord(type), file.ico, periodText(file.period));
    if (!statement.present) {
        m_summary.refusals.append({file.firstLine, what + QStringLiteral(": v souboru chybí; rozvaha a výsledovka se ukládají spolu.")});
        return false;
    }
    if (statement.mixedFormLine != 0) {
        m_summary.refusals.append({statement.mixedFormLine, what + QStringLiteral(": řádky výkazu mají různý rozsah.")});
        return false;
    }
    const QList<int> &codes = m_formCodes.value(type * 10 + statement.form);
    const QSet<int> &codeSet = m_formCodeSets.value(type * 10 + statement.form);
    QHash<int, Amount> amounts;
    amounts.reserve(codes.size());
    QHash<int, int> fileLines;
    const auto refuse = [&](int line, const QString &reason) {
        m_summary.refusals.append({line, what + QStringLiteral(": ") + reason});
        return false;
    };
    for (const FileLine &l : statement.lines) {
        if (const std::optional<QString> fault = codeFault(l.line, l.code, codeSet, statement.form, amounts))
            return refuse(l.line, *fault);
        amounts.insert(l.code, l.amount);
        fileLines.insert(l.code, l.line);
    }
    if (statement.badLine != 0) {
        if (statement.badCode) {
            if (const std::optional<QString> fault = codeFault(statement.badLine, *statement.badCode, codeSet, statement.form, amounts))
                return refuse(statement.badLine, *fault);
        }
        return refuse(statement.badLine, statement.badReason);
    }
    const QList<RuleFailure> failures = m_rules->check(type, statement.form, amounts);
    for (const RuleFailure &f : failures)
        m_summary.refusals.append({fileLines.value(f.rule.left, statement.firstLine), what + QStringLiteral(": ") + f.message()});
    if (!failures.isEmpty())
        return false;
    // Lines the file leaves out are written as 0, as typed entry writes every line of the form.
    for (int code : codes)
        lines.append({code, amounts.value(code)});
    return true;
}

std::optional<QString> Importer::codeFault(int line, qint32 code, const QSet<int> &codes, int form, const QHash<int, Amount> &amounts) const
{
    if (!codes.contains(code))
        return notALine(m_codeTexts.value(line, QString::number(code)), form);
    if (amounts.contains(code))
        return QStringLiteral("řádek %1 je uveden podruhé.").arg(code);
    return std::nullopt;
}

Result<std::optional<qint32>> Importer::entityOf(const QString &ico)
{
    using Out = Result<std::optional<qint32>>;
    if (m_entities.contains(ico))
        return {m_entities.value(ico), {}};
    const Result<QString> id = m_db.readValue(QStringLiteral("SELECT subj_id FROM ident WHERE ident_txt = ") + db::quoted(ico)
                                              + QStringLiteral(" AND inac_ind = 0"));
    if (!id.ok())
        return Out::failure(id.error);
    const std::optional<qint32> found = id.value.isEmpty() ? std::nullopt : db::parseId(id.value);
    m_entities.insert(ico, found);
    return {found, {}};
}

Outcome Importer::loadEntities(const std::vector<FilePair> &pairs)
{
    QStringList icos;
    for (const FilePair &p : pairs) {
        if (!m_entities.contains(p.ico)) {
            m_entities.insert(p.ico, std::nullopt);
            icos << p.ico;
        }
    }
    QList<qint32> found;
    constexpr qsizetype kIcosPerQuery = 500;
    for (qsizetype from = 0; from < icos.size(); from += kIcosPerQuery) {
        QStringList quoted;
        for (qsizetype i = from; i < std::min(icos.size(), from + kIcosPerQuery); ++i)
            quoted << db::quoted(icos.at(i));
        const db::Rows rows = m_db.queryRows(QStringLiteral("SELECT ident_txt, subj_id FROM ident WHERE inac_ind = 0 AND ident_txt IN (")
                                             + quoted.join(QLatin1Char(',')) + QLatin1Char(')'));
        if (!rows.ok())
            return Outcome::failure(rows.error);
        for (const QStringList &row : rows.rows) {
            const std::optional<qint32> id = db::parseId(row.value(1));
            auto known = m_entities.find(row.value(0).trimmed());
            // The first row of an IČO, as a lookup of that IČO alone would take it.
            if (id && known != m_entities.end() && !*known) {
                *known = id;
                found << *id;
            }
        }
    }
    Result<QHash<quint64, QList<PeriodStatement>>> periods = periodStatements(m_db, found);
    if (!periods.ok())
        return periods.outcome();
    m_periods = std::move(periods.value);
    return Outcome::success();
}

std::optional<Accepted> Importer::check(const FilePair &file)
{
    Accepted out;
    out.ico = file.ico;
    out.pair.year = file.period.year;
    out.pair.quarter = file.period.quarter;
    const bool balanceOk = checkStatement(file, kBalanceSheet, file.balance, out.pair.balance);
    const bool incomeOk = checkStatement(file, kIncomeStatement, file.income, out.pair.income);
    if (!balanceOk || !incomeOk)
        return std::nullopt;
    const QString what = QStringLiteral("Výkazy %1 za %2").arg(file.ico, periodText(file.period));
    if (file.balance.form != file.income.form) {
        m_summary.refusals.append({file.firstLine, what + QStringLiteral(": rozvaha a výsledovka mají různý rozsah.")});
        return std::nullopt;
    }
    out.pair.full = file.balance.form == 4;

    const Result<std::optional<qint32>> entity = entityOf(file.ico);
    if (!entity.ok()) {
        m_summary.error = entity.error;
        return std::nullopt;
    }
    if (entity.value) {
        out.pair.entity = *entity.value;
        const QList<PeriodStatement> stored = m_periods.value(periodKey(*entity.value, file.period.year, file.period.quarter));
        if (std::any_of(stored.cbegin(), stored.cend(), [](const PeriodStatement &s) { return s.inactive == 0 && (s.type == 27 || s.type == 28); })) {
            if (!m_options.replace) {
                ++m_summary.occupiedPeriods;
                m_summary.refusals.append({file.firstLine, what + QStringLiteral(": období už má uložené výkazy (nahradit je lze volbou --replace).")});
                return std::nullopt;
            }
            out.replaces = true;
        }
        return out;
    }
    if (!m_options.createEntities) {
        ++m_summary.unknownEntities;
        m_summary.refusals.append({file.firstLine, QStringLiteral("Neznámé IČO %1 (subjekty lze založit volbou --create-entities).").arg(file.ico)});
        return std::nullopt;
    }
    entities::NewEntity created;
    created.ico = file.ico;
    created.name = file.name.trimmed();
    created.entityType = kCompanyType;
    created.legalForm = legalFormOf(file);
    QString refusal = entities::EntityStore::inputError(created);
    if (created.name.size() > kMaxNameLength)
        refusal = QStringLiteral("Název subjektu je delší než %1 znaků.").arg(kMaxNameLength);
    if (refusal == QLatin1String("Zadejte název subjektu."))
        refusal = QStringLiteral("Pro nový subjekt chybí název ve sloupci nazev.");
    else if (refusal == QLatin1String("Zadejte právní formu subjektu."))
        refusal = QStringLiteral("Pro nový subjekt chybí právní forma: kód ČSÚ ve sloupci forma nebo zkratka na konci názvu.");
    if (!refusal.isEmpty()) {
        m_summary.refusals.append({file.firstLine, QStringLiteral("IČO %1: ").arg(file.ico) + refusal});
        return std::nullopt;
    }
    out.newEntity = created;
    return out;
}

Outcome Importer::write(QList<Accepted> &accepted)
{
    const int total = static_cast<int>(accepted.size());
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(m_db.lastError());
    entities::EntityStore entityStore(m_db);
    // One audit row per written statement and new entity, all written at the end.
    db::audit::Batch audit(m_db, db::audit::kImport);
    QSet<qint32> known;
    for (const Accepted &a : std::as_const(accepted)) {
        if (!a.newEntity)
            known.insert(a.pair.entity);
    }
    PairWriter writer(m_db);
    if (const Outcome o = writer.begin(known.values()); !o)
        return o;
    for (int i = 0; i < total; ++i) {
        if (stopped())
            return Outcome::success();
        Accepted &a = accepted[i];
        // The first written pair of a new IČO creates its entity; the others find it.
        if (a.newEntity && !m_entities.value(a.ico)) {
            const entities::Written made = entityStore.create(*a.newEntity);
            if (!made.ok())
                return Outcome::failure(made.error.isEmpty() ? made.refusal : made.error);
            m_entities.insert(a.ico, made.id);
            writer.entityCreated(made.id);
            ++m_summary.entitiesCreated;
        }
        a.pair.entity = m_entities.value(a.ico).value_or(0);
        const SavedPair saved = writer.write(a.pair, a.replaces);
        if (!saved.ok())
            return Outcome::failure(QStringLiteral("Výkazy %1 za %2/%3: %4")
                                       .arg(a.ico, QString::number(a.pair.year), QString::number(a.pair.quarter), saved.reason()));
        m_summary.imported += 2;
        m_summary.replaced += a.replaces ? 2 : 0;
        progress(ImportStep::Writing, i + 1, total);
    }
    // A stop seen during the last pair's events still leaves nothing written.
    if (stopped())
        return Outcome::success();
    if (const Outcome o = writer.finish(); !o)
        return o;
    if (const Outcome o = audit.flush(); !o)
        return o;
    if (!tx.commit())
        return Outcome::failure(m_db.lastError());
    m_db.trimWriteAheadLog();
    return Outcome::success();
}

void Importer::run(PairCollector &file)
{
    if (!file.hasHeader) {
        m_summary.error = QStringLiteral("Soubor neobsahuje žádné řádky.");
        return;
    }
    std::vector<FilePair> &pairs = file.pairs;
    for (const FilePair &p : pairs)
        m_summary.statements += (p.balance.present ? 1 : 0) + (p.income.present ? 1 : 0);
    if (!file.refusals.isEmpty()) {
        m_summary.refusals = file.refusals;
        m_summary.unlistedRefusals = file.unlistedRefusals;
        m_summary.error = QStringLiteral("Některé řádky nelze přiřadit k výkazu; soubor nebyl načten.");
        return;
    }
    if (const Outcome o = loadForms(); !o) {
        m_summary.error = o.error;
        return;
    }
    m_codeTexts = std::move(file.codeTexts);
    if (const Outcome o = loadEntities(pairs); !o) {
        m_summary.error = o.error;
        return;
    }
    const int total = static_cast<int>(pairs.size());
    QList<Accepted> accepted;
    for (int i = 0; i < total; ++i) {
        if (stopped())
            return;
        std::optional<Accepted> a = check(pairs.at(i));
        if (!m_summary.error.isEmpty())
            return;
        if (a)
            accepted.append(std::move(*a));
        if (const qsizetype listed = m_summary.refusals.size(); listed > ImportSummary::kMaxListedRefusals) {
            m_summary.unlistedRefusals += static_cast<int>(listed - ImportSummary::kMaxListedRefusals);
            m_summary.refusals.resize(ImportSummary::kMaxListedRefusals);
        }
        // The checked pair's lines are in the accepted one now; memory holds one copy.
        pairs[i].balance.lines = {};
        pairs[i].income.lines = {};
        progress(ImportStep::Checking, i + 1, total);
    }
    if (accepted.isEmpty() || (!m_summary.refusals.isEmpty() && !m_options.partial))
        return;
    if (const Outcome o = write(accepted); !o || m_summary.stopped) {
        m_summary.error = o.error;
        m_summary.imported = m_summary.replaced = m_summary.entitiesCreated = 0;
    }
}

} // namespace

QStringList ImportSummary::lines() const
{
    QStringList out;
    if (!error.isEmpty())
        out << error;
    if (stopped)
        out << QStringLiteral("Import byl přerušen.");
    out << QStringLiteral("Výkazů v souboru: %1, uloženo: %2 (z toho nahrazeno: %3), nových subjektů: %4.")
               .arg(statements)
               .arg(imported)
               .arg(replaced)
               .arg(entitiesCreated);
    if (imported == 0 && (!refusals.isEmpty() || stopped || !error.isEmpty()))
        out << QStringLiteral("Nic nebylo uloženo.");
    for (const ImportRefusal &r : refusals)
        out << QStringLiteral("řádek %1: %2").arg(r.line).arg(r.reason);
    if (unlistedRefusals > 0)
        out << QStringLiteral("… a dalších %1 odmítnutí.").arg(unlistedRefusals);
    return out;
}

StatementImport::StatementImport(db::Database &db)
    : m_db(db)
{
}

ImportSummary StatementImport::importFile(const QString &path, const ImportOptions &options)
{
    ImportSummary summary;
    PairCollector file;
    int rows = 0;
    const Outcome read = readImportFile(path, [&](const SparseRow &row) {
        // A large file takes a while to read: the window paints and hears Stop meanwhile.
        if (++rows % 2048 == 0) {
            if (options.progress)
                options.progress(ImportStep::Reading, rows, 0);
            if (options.stopRequested && options.stopRequested()) {
                summary.stopped = true;
                return Outcome::failure(QString());
            }
        }
        return file.add(row);
    });
    if (summary.stopped)
        return summary;
    if (!read) {
        summary.error = read.error;
        return summary;
    }
    Importer(m_db, options, summary).run(file);
    return summary;
}

ImportSummary StatementImport::importRows(const ImportRows &rows, const ImportOptions &options)
{
    ImportSummary summary;
    PairCollector file;
    for (const ImportRow &row : rows) {
        SparseRow sparse{row.line, static_cast<int>(row.cells.size()), {}};
        for (int c = 0; c < sparse.width; ++c) {
            if (!row.cells.at(c).isEmpty())
                sparse.cells.append({c, row.cells.at(c)});
        }
        if (const Outcome o = file.add(sparse); !o) {
            summary.error = o.error;
            return summary;
        }
    }
    Importer(m_db, options, summary).run(file);
    return summary;
}

} // namespace verna::statements
