#include "statements/statementimport.h"

#include "db/database.h"
#include "db/sqlquote.h"
#include "db/transaction.h"
#include "entities/entitystore.h"
#include "shell/modhlavni.h"
#include "statements/amount.h"
#include "statements/statementdata.h"
#include "statements/statementstore.h"
#include "statements/sumrules.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <map>
#include <optional>

namespace verna::statements {

namespace {

constexpr int kMaxNameLength = 255;
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

Result<FileLayout> detectLayout(const ImportRow &header)
{
    using Out = Result<FileLayout>;
    static const QRegularExpression periodHeader(QStringLiteral("^(\\d{4})\\s*/\\s*([1-4])$"));
    Out out;
    for (int i = 0; i < header.cells.size(); ++i) {
        const QString cell = header.cells.at(i).trimmed();
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

struct FileLine {
    int line = 0;
    QString code;
    QString amount;
};

struct FileStatement {
    bool present = false;
    int form = 0;
    int firstLine = 0;
    int mixedFormLine = 0; // a line of another form than the first
    QList<FileLine> lines;
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
    return shell::modHlavni::padIco(ico);
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

// Groups the rows into statement pairs in the order they first appear. A row that cannot be
// placed in a pair is refused, and with it the whole file.
std::vector<FilePair> pairsOf(const ImportRows &rows, const FileLayout &layout, QList<ImportRefusal> &refusals)
{
    std::vector<FilePair> pairs;
    std::map<std::tuple<QString, int, int>, size_t> index;
    const auto cell = [](const ImportRow &row, int column) { return column < row.cells.size() ? row.cells.at(column).trimmed() : QString(); };
    const auto at = [&](const ImportRow &row, Column c) { return layout.columns.contains(c) ? cell(row, layout.columns.value(c)) : QString(); };
    for (int r = 1; r < rows.size(); ++r) {
        const ImportRow &row = rows.at(r);
        const auto refuse = [&](const QString &reason) { refusals.append({row.line, reason}); };
        const std::optional<QString> ico = icoOf(at(row, Column::Ico));
        if (!ico) {
            refuse(QStringLiteral("IČO „%1“ není číslo o nejvýše 8 číslicích.").arg(shown(at(row, Column::Ico))));
            continue;
        }
        const std::optional<int> type = statementType(at(row, Column::Type));
        if (!type) {
            refuse(QStringLiteral("Výkaz „%1“ není rozvaha ani vysledovka.").arg(shown(at(row, Column::Type))));
            continue;
        }
        const std::optional<int> form = fillLevel(at(row, Column::Form));
        if (!form) {
            refuse(QStringLiteral("Rozsah „%1“ není plny ani zkraceny.").arg(shown(at(row, Column::Form))));
            continue;
        }
        QList<std::pair<FilePeriod, QString>> amounts;
        if (layout.wide) {
            for (const auto &[column, period] : layout.periods) {
                if (!cell(row, column).isEmpty())
                    amounts.append({period, cell(row, column)});
            }
        } else {
            const QString year = at(row, Column::Year);
            const QString quarter = at(row, Column::Quarter);
            if (!isStatementYear(year) || !db::isQuarter(quarter)) {
                refuse(QStringLiteral("Období „%1/%2“ není rok (čtyři číslice, nejdříve 1993) a čtvrtletí 1 až 4.").arg(shown(year), shown(quarter)));
                continue;
            }
            amounts.append({FilePeriod{year.toInt(), quarter.toInt()}, at(row, Column::Amount)});
        }
        for (const auto &[period, amount] : amounts) {
            const auto key = std::make_tuple(*ico, period.year, period.quarter);
            auto it = index.find(key);
            if (it == index.end()) {
                it = index.emplace(key, pairs.size()).first;
                FilePair pair;
                pair.ico = *ico;
                pair.period = period;
                pair.firstLine = row.line;
                pairs.push_back(pair);
            }
            FilePair &pair = pairs[it->second];
            if (pair.name.isEmpty())
                pair.name = at(row, Column::Name);
            if (pair.legalForm.isEmpty())
                pair.legalForm = at(row, Column::LegalForm);
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
            statement.lines.append({row.line, at(row, Column::Code), amount});
        }
    }
    return pairs;
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

    void run(const ImportRows &rows);

private:
    bool stopped();
    void progress(int done, int total);
    Outcome loadForms();
    // The pair as it will be written, or a refusal added to the summary.
    std::optional<Accepted> check(const FilePair &file);
    bool checkStatement(const FilePair &file, int type, const FileStatement &statement, QList<std::pair<int, Amount>> &lines);
    Result<std::optional<qint32>> entityOf(const QString &ico);
    Outcome write(QList<Accepted> &accepted, int checked);

    db::Database &m_db;
    const ImportOptions &m_options;
    ImportSummary &m_summary;
    StatementStore m_store;
    std::optional<SumRules> m_rules;
    QHash<int, QList<int>> m_formCodes; // type * 10 + fill level → codes in form order
    QHash<QString, std::optional<qint32>> m_entities; // by IČO; none = not in the database
};

bool Importer::stopped()
{
    if (m_options.stopRequested && m_options.stopRequested())
        m_summary.stopped = true;
    return m_summary.stopped;
}

void Importer::progress(int done, int total)
{
    if (m_options.progress)
        m_options.progress(done, total);
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
    QHash<int, Amount> amounts;
    QHash<int, int> fileLines;
    for (const FileLine &l : statement.lines) {
        const auto refuse = [&](const QString &reason) {
            m_summary.refusals.append({l.line, what + QStringLiteral(": ") + reason});
            return false;
        };
        const std::optional<qint32> code = db::parseId(l.code);
        if (!code || !codes.contains(*code))
            return refuse(QStringLiteral("„%1“ není řádek %2 výkazu.").arg(shown(l.code), statement.form == 4 ? QStringLiteral("plného") : QStringLiteral("zkráceného")));
        if (amounts.contains(*code))
            return refuse(QStringLiteral("řádek %1 je uveden podruhé.").arg(*code));
        const Result<Amount> amount = Amount::parse(l.amount);
        if (!amount.ok())
            return refuse(QStringLiteral("částka „%1“ řádku %2: %3").arg(shown(l.amount)).arg(*code).arg(amount.error));
        amounts.insert(*code, amount.value);
        fileLines.insert(*code, l.line);
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
        const Result<PeriodPair> stored = m_store.findPair(*entity.value, file.period.year, file.period.quarter);
        if (!stored.ok()) {
            m_summary.error = stored.error;
            return std::nullopt;
        }
        if (!stored.value.ids.isEmpty()) {
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

// checked: the pairs checked before, the first part of the progress.
Outcome Importer::write(QList<Accepted> &accepted, int checked)
{
    const int total = static_cast<int>(accepted.size());
    db::Transaction tx(m_db);
    if (!tx.isActive())
        return Outcome::failure(m_db.lastError());
    entities::EntityStore entityStore(m_db);
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
            ++m_summary.entitiesCreated;
        }
        a.pair.entity = m_entities.value(a.ico).value_or(0);
        SaveOptions save;
        save.replacePeriod = a.replaces;
        const SavedPair saved = m_store.save(a.pair, save);
        if (!saved.ok())
            return Outcome::failure(QStringLiteral("Výkazy %1 za %2/%3: %4").arg(a.ico).arg(a.pair.year).arg(a.pair.quarter).arg(saved.reason()));
        m_summary.imported += 2;
        m_summary.replaced += a.replaces ? 2 : 0;
        progress(checked + i + 1, checked + total);
    }
    if (!tx.commit())
        return Outcome::failure(m_db.lastError());
    m_db.trimWriteAheadLog();
    return Outcome::success();
}

void Importer::run(const ImportRows &rows)
{
    if (rows.isEmpty()) {
        m_summary.error = QStringLiteral("Soubor neobsahuje žádné řádky.");
        return;
    }
    const Result<FileLayout> layout = detectLayout(rows.front());
    if (!layout.ok()) {
        m_summary.error = layout.error;
        return;
    }
    QList<ImportRefusal> rowRefusals;
    const std::vector<FilePair> pairs = pairsOf(rows, layout.value, rowRefusals);
    for (const FilePair &p : pairs)
        m_summary.statements += (p.balance.present ? 1 : 0) + (p.income.present ? 1 : 0);
    if (!rowRefusals.isEmpty()) {
        m_summary.refusals = rowRefusals;
        m_summary.error = QStringLiteral("Některé řádky nelze přiřadit k výkazu; soubor nebyl načten.");
        return;
    }
    if (const Outcome o = loadForms(); !o) {
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
        progress(i + 1, 2 * total);
    }
    if (accepted.isEmpty() || (!m_summary.refusals.isEmpty() && !m_options.partial))
        return;
    if (const Outcome o = write(accepted, total); !o || m_summary.stopped) {
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
    return out;
}

StatementImport::StatementImport(db::Database &db)
    : m_db(db)
{
}

ImportSummary StatementImport::importFile(const QString &path, const ImportOptions &options)
{
    const Result<ImportRows> rows = readImportFile(path);
    if (!rows.ok()) {
        ImportSummary summary;
        summary.error = rows.error;
        return summary;
    }
    return importRows(rows.value, options);
}

ImportSummary StatementImport::importRows(const ImportRows &rows, const ImportOptions &options)
{
    ImportSummary summary;
    Importer(m_db, options, summary).run(rows);
    return summary;
}

} // namespace verna::statements
