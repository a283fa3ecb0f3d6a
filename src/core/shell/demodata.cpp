#include "shell/demodata.h"

#include "base/itemcodes.h"
#include "base/textforms.h"
#include "db/audit.h"
#include "db/database.h"
#include "db/rowwriter.h"
#include "db/statementpack.h"
#include "db/transaction.h"
#include "shell/demoindustry.h"
#include "shell/referencedata.h"
#include "statements/sumrules.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

namespace verna::shell {

using db::RowWriter;

namespace {

// Deterministic across platforms: no standard distributions, whose output may differ by library.
class Random
{
public:
    explicit Random(quint32 seed)
        : m_engine(seed)
    {
    }
    int below(int n) { return static_cast<int>(m_engine() % static_cast<quint64>(n)); }
    double unit() { return static_cast<double>(m_engine() >> 11) / 9007199254740992.0; }
    double between(double a, double b) { return a + (b - a) * unit(); }
    bool chance(double p) { return unit() < p; }
    // Bell-shaped around 0 with spread 1, within ±3.
    double normal() { return (unit() + unit() + unit() - 1.5) * 2; }
    template<typename T>
    const T &pick(const std::vector<T> &items) { return items.at(below(static_cast<int>(items.size()))); }

private:
    std::mt19937_64 m_engine;
};

const std::vector<QString> kTowns = {
    QStringLiteral("Praha"), QStringLiteral("Brno"), QStringLiteral("Ostrava"), QStringLiteral("Plzeň"), QStringLiteral("Liberec"),
    QStringLiteral("Olomouc"), QStringLiteral("České Budějovice"), QStringLiteral("Hradec Králové"), QStringLiteral("Ústí nad Labem"),
    QStringLiteral("Pardubice"), QStringLiteral("Zlín"), QStringLiteral("Havířov"), QStringLiteral("Kladno"), QStringLiteral("Most"),
    QStringLiteral("Opava"), QStringLiteral("Frýdek-Místek"), QStringLiteral("Karviná"), QStringLiteral("Jihlava"), QStringLiteral("Teplice"),
    QStringLiteral("Děčín"), QStringLiteral("Karlovy Vary"), QStringLiteral("Chomutov"), QStringLiteral("Jablonec nad Nisou"),
    QStringLiteral("Mladá Boleslav"), QStringLiteral("Prostějov"), QStringLiteral("Přerov"), QStringLiteral("Česká Lípa"),
    QStringLiteral("Třebíč"), QStringLiteral("Třinec"), QStringLiteral("Tábor"), QStringLiteral("Znojmo"), QStringLiteral("Příbram"),
    QStringLiteral("Cheb"), QStringLiteral("Kolín"), QStringLiteral("Trutnov"), QStringLiteral("Písek"), QStringLiteral("Kroměříž"),
    QStringLiteral("Šumperk"), QStringLiteral("Vsetín"), QStringLiteral("Valašské Meziříčí"), QStringLiteral("Uherské Hradiště"),
    QStringLiteral("Žďár nad Sázavou"), QStringLiteral("Náchod"), QStringLiteral("Strakonice"), QStringLiteral("Kutná Hora"),
    QStringLiteral("Hodonín"), QStringLiteral("Břeclav"), QStringLiteral("Litoměřice"), QStringLiteral("Havlíčkův Brod"),
    QStringLiteral("Chrudim"), QStringLiteral("Jindřichův Hradec"), QStringLiteral("Rakovník"), QStringLiteral("Sokolov"),
    QStringLiteral("Vyškov"), QStringLiteral("Blansko"), QStringLiteral("Nový Jičín"), QStringLiteral("Rožnov pod Radhoštěm"),
};

const std::vector<QString> kSurnames = {
    QStringLiteral("Novák"), QStringLiteral("Svoboda"), QStringLiteral("Novotný"), QStringLiteral("Dvořák"), QStringLiteral("Černý"),
    QStringLiteral("Procházka"), QStringLiteral("Kučera"), QStringLiteral("Veselý"), QStringLiteral("Horák"), QStringLiteral("Němec"),
    QStringLiteral("Pokorný"), QStringLiteral("Marek"), QStringLiteral("Pospíšil"), QStringLiteral("Hájek"), QStringLiteral("Jelínek"),
    QStringLiteral("Král"), QStringLiteral("Růžička"), QStringLiteral("Beneš"), QStringLiteral("Fiala"), QStringLiteral("Sedláček"),
    QStringLiteral("Doležal"), QStringLiteral("Zeman"), QStringLiteral("Kolář"), QStringLiteral("Navrátil"), QStringLiteral("Čermák"),
    QStringLiteral("Vaněk"), QStringLiteral("Urban"), QStringLiteral("Blažek"), QStringLiteral("Kříž"), QStringLiteral("Kovář"),
    QStringLiteral("Šťastný"), QStringLiteral("Řezníček"), QStringLiteral("Žák"), QStringLiteral("Čech"), QStringLiteral("Šimek"),
};

// Words for a company name by OKEČ division: a noun that stands before a town or surname.
const std::map<int, std::vector<QString>> &kBranchWords()
{
    static const std::map<int, std::vector<QString>> words = {
        {1, {QStringLiteral("Zemědělská společnost"), QStringLiteral("Agro"), QStringLiteral("Statek")}},
        {2, {QStringLiteral("Lesy"), QStringLiteral("Dřevo")}},
        {10, {QStringLiteral("Doly"), QStringLiteral("Uhelné doly")}},
        {15, {QStringLiteral("Mlékárna"), QStringLiteral("Pekárna"), QStringLiteral("Pivovar"), QStringLiteral("Masna"), QStringLiteral("Cukrovar")}},
        {17, {QStringLiteral("Textilana"), QStringLiteral("Přádelna")}},
        {20, {QStringLiteral("Pila"), QStringLiteral("Dřevozpracující podnik")}},
        {22, {QStringLiteral("Tiskárna"), QStringLiteral("Nakladatelství")}},
        {24, {QStringLiteral("Chemické závody"), QStringLiteral("Lučební závody")}},
        {25, {QStringLiteral("Plasty"), QStringLiteral("Gumárny")}},
        {26, {QStringLiteral("Sklárny"), QStringLiteral("Cihelna"), QStringLiteral("Porcelán")}},
        {27, {QStringLiteral("Železárny"), QStringLiteral("Hutě")}},
        {28, {QStringLiteral("Kovovýroba"), QStringLiteral("Kovárna")}},
        {29, {QStringLiteral("Strojírny"), QStringLiteral("Strojírna")}},
        {31, {QStringLiteral("Elektrotechnické závody"), QStringLiteral("Elektro")}},
        {34, {QStringLiteral("Autodíly"), QStringLiteral("Karosárna")}},
        {36, {QStringLiteral("Nábytek"), QStringLiteral("Truhlárna")}},
        {40, {QStringLiteral("Teplárna"), QStringLiteral("Energie")}},
        {41, {QStringLiteral("Vodárny"), QStringLiteral("Vodovody a kanalizace")}},
        {45, {QStringLiteral("Stavby"), QStringLiteral("Pozemní stavby"), QStringLiteral("Stavební firma")}},
        {50, {QStringLiteral("Autoservis"), QStringLiteral("Autocentrum")}},
        {51, {QStringLiteral("Velkoobchod"), QStringLiteral("Obchodní dům")}},
        {52, {QStringLiteral("Obchod"), QStringLiteral("Drogerie"), QStringLiteral("Potraviny")}},
        {55, {QStringLiteral("Hotel"), QStringLiteral("Restaurace")}},
        {60, {QStringLiteral("Autodoprava"), QStringLiteral("Dopravní podnik")}},
        {63, {QStringLiteral("Cestovní kancelář"), QStringLiteral("Sklady")}},
        {70, {QStringLiteral("Reality"), QStringLiteral("Správa nemovitostí")}},
        {72, {QStringLiteral("Software"), QStringLiteral("Výpočetní centrum")}},
        {74, {QStringLiteral("Poradenství"), QStringLiteral("Projektová kancelář")}},
    };
    return words;
}

struct LegalForm {
    int code;
    QString suffix; // written after the name
    int weight;
};

const std::vector<LegalForm> kLegalForms = {
    {1112, QStringLiteral(", s.r.o."), 40}, {1112, QStringLiteral(", spol. s r.o."), 10}, {1121, QStringLiteral(", a.s."), 25},
    {1111, QStringLiteral(", v.o.s."), 5},  {1113, QStringLiteral(", k.s."), 4},           {1205, QStringLiteral(", družstvo"), 6},
    {1301, QStringLiteral(", s.p."), 4},    {1101, QString(), 6},
};

const std::vector<QString> kNoteSentences = {
    QStringLiteral("Výkazy ověřil auditor bez výhrad."), QStringLiteral("Společnost plánuje rozšíření výroby."),
    QStringLiteral("Pozor na rostoucí pohledávky po splatnosti."), QStringLiteral("Hlavní odběratel tvoří třetinu tržeb."),
    QStringLiteral("V roce 1998 proběhla změna vlastníka."), QStringLiteral("Údaje za první čtvrtletí jsou předběžné."),
    QStringLiteral("Firma čerpá investiční úvěr na novou halu."), QStringLiteral("Kontakt: ekonomické oddělení, p. Dvořák."),
};

constexpr int kGoods = 125; // inventories of goods bought for resale

// The statements a template (the reference entity's) gives, as amounts per item code.
struct Template {
    std::map<int, qint64> balance;
    std::map<int, qint64> income;
};

using statements::SumRule;

struct Rules {
    statements::SumRules all;
    QList<SumRule> balanceFull; // the rules that sum lines, to compute totals with
    QList<SumRule> incomeFull;
    std::set<int> incomeLefts; // the lines the income rules compute
    std::vector<std::vector<std::pair<int, int>>> computedItems; // terms of indicators 17..28
};

std::vector<std::pair<int, int>> parseTerms(const QString &expression)
{
    static const QRegularExpression term(QStringLiteral("([+-]?)\\s*\\[?(\\d+)\\]?"));
    std::vector<std::pair<int, int>> terms;
    auto it = term.globalMatch(expression);
    while (it.hasNext()) {
        const auto m = it.next();
        terms.emplace_back(m.captured(1) == QLatin1String("-") ? -1 : 1, m.captured(2).toInt());
    }
    return terms;
}

// The lines a total sums, leaves only (except the excluded), each with its share of the total in
// the template: the demo splits a total it has chosen the way the reference company splits it.
using Shape = std::vector<std::pair<int, double>>;

Shape shapeOf(int total, const QList<SumRule> &rules, const std::map<int, qint64> &amounts, const std::set<int> &excluded = {})
{
    std::map<int, const SumRule *> byLeft;
    for (const SumRule &r : rules)
        byLeft.emplace(r.left, &r);
    std::vector<int> leaves;
    std::vector<int> open = {total};
    while (!open.empty()) {
        const int code = open.back();
        open.pop_back();
        const auto rule = byLeft.find(code);
        if (rule == byLeft.end()) {
            if (!excluded.count(code))
                leaves.push_back(code);
            continue;
        }
        for (const auto &[sign, term] : rule->second->terms)
            open.push_back(term);
    }
    std::sort(leaves.begin(), leaves.end());
    double sum = 0;
    for (int leaf : leaves)
        sum += amounts.count(leaf) ? amounts.at(leaf) : 0;
    Shape shape;
    for (int leaf : leaves)
        shape.emplace_back(leaf, sum > 0 && amounts.count(leaf) ? amounts.at(leaf) / sum : 0.0);
    return shape;
}

// Evaluates the rules whose right sides are known until nothing changes (sums before totals).
void applyRules(std::map<int, qint64> &amounts, const QList<SumRule> &rules)
{
    std::set<int> lefts;
    for (const SumRule &r : rules)
        lefts.insert(r.left);
    std::set<int> done;
    bool progress = true;
    while (progress) {
        progress = false;
        for (const SumRule &r : rules) {
            if (done.count(r.left))
                continue;
            bool ready = true;
            for (const auto &[sign, code] : r.terms) {
                if (lefts.count(code) && !done.count(code)) {
                    ready = false;
                    break;
                }
            }
            if (!ready)
                continue;
            qint64 total = 0;
            for (const auto &[sign, code] : r.terms)
                total += sign * amounts[code];
            amounts[r.left] = total;
            done.insert(r.left);
            progress = true;
        }
    }
}

class Generator
{
public:
    Generator(db::Database &db, const DemoOptions &options)
        : m_db(db)
        , m_options(options)
        , m_random(options.seed)
    {
    }

    Outcome run(const std::function<void(int, int)> &progress);

private:
    Outcome loadInputs();
    Outcome lockAndReadKeys();
    qint64 nextKey(const QString &table, const QString &column);
    QString makeIco();
    int pickDivision();
    double vary(double spread) { return std::exp(spread * m_random.normal()); }
    double perAssets(int code) const { return m_template.balance.at(code) / m_templateAssets; }
    void spread(std::map<int, qint64> &amounts, int total, double amount);
    QString makeName(int division, const LegalForm &form);
    const LegalForm &pickLegalForm();
    Outcome writeEntity(int id, std::vector<int> &branchesOut);
    Outcome writeStatements(int id, int division);
    Outcome writeGroups(const std::vector<std::pair<int, int>> &entityBranches);
    Outcome checkRules(int type, int form, const std::map<int, qint64> &amounts) const;
    Outcome flushAll();

    db::Database &m_db;
    DemoOptions m_options;
    Random m_random;
    Template m_template;
    Rules m_rules;
    std::vector<int> m_divisions; // val_agn of OKEČ divisions
    std::vector<int> m_divisionDeck; // main branches still to deal, each as often as its weight
    double m_templateSales = 0;
    double m_templateAssets = 0;
    std::map<int, qint64> m_emptyBalance; // every line of a full statement, at zero
    std::map<int, qint64> m_emptyIncome;
    std::map<int, Shape> m_shapes;
    std::set<QString> m_usedIcos;
    std::set<QString> m_usedNames;
    std::map<QString, qint64> m_keys;
    qint64 m_nextTextId = 1;
    int m_icoDraws = 0;
    QString m_seedPresent; // the first IČO of this seed, when it is already in the database
    std::unique_ptr<RowWriter> m_subj, m_ident, m_name, m_actv, m_mem, m_text, m_stmt, m_item;
};

qint64 Generator::nextKey(const QString &table, const QString &column)
{
    // lockAndReadKeys read every key column the generator fills; at() refuses one it did not.
    return ++m_keys.at(table + QLatin1Char('.') + column);
}

Outcome Generator::lockAndReadKeys()
{
    for (const char *table : {"subj", "ident", "name", "actv", "mem", "text", "finl_stmt", "finl_item"}) {
        if (Outcome o = m_db.serialiseWriters(QString::fromLatin1(table)); !o)
            return o;
    }
    m_keys.clear();
    // Each key column's largest key, read now: a failed read stops the run instead of numbering
    // from zero into keys that exist.
    static const std::pair<const char *, const char *> keyColumns[] = {
        {"subj", "row_id"}, {"ident", "row_id"}, {"ident", "subj_id"}, {"name", "row_id"}, {"actv", "row_id"},
        {"mem", "row_id"},  {"text", "row_id"},  {"finl_stmt", "row_id"}, {"finl_stmt", "finl_stmt_id"}, {"finl_item", "row_id"}};
    for (const auto &[table, column] : keyColumns) {
        const QString key = QString::fromLatin1(table) + QLatin1Char('.') + QString::fromLatin1(column);
        const Result<QString> max = m_db.readValue(QStringLiteral("SELECT max(%1) FROM %2").arg(QLatin1String(column), QLatin1String(table)));
        if (!max.ok())
            return max.outcome();
        m_keys[key] = std::max<qint64>(max.value.isEmpty() ? 0 : max.value.toLongLong(), 0);
    }
    const Result<QString> maxText = m_db.readValue(QStringLiteral("SELECT max(text_id) FROM text"));
    if (!maxText.ok())
        return maxText.outcome();
    m_nextTextId = std::max<qint64>(maxText.value.toLongLong(), 0) + 1;
    const db::Rows icos = m_db.queryRows(QStringLiteral("SELECT ident_txt FROM ident"));
    if (!icos.ok())
        return Outcome::failure(icos.error);
    for (const QStringList &row : icos.rows)
        m_usedIcos.insert(row[0]);
    return Outcome::success();
}

Outcome Generator::loadInputs()
{
    const auto items = m_db.queryRows(QStringLiteral("SELECT s.stmt_type_cd, i.item_type_cd, i.amt_val FROM finl_item i, finl_stmt s "
                                                     "WHERE s.finl_stmt_id = i.finl_stmt_id AND s.subj_id = %1 AND s.year_dt = %2 "
                                                     "AND s.quarter_dt = %3 AND s.fill_lvl_ind = 4 AND s.inac_ind = 0")
                                          .arg(kReferenceEntity)
                                          .arg(kReferenceYear)
                                          .arg(kReferenceQuarter));
    if (!items.ok())
        return Outcome::failure(items.error);
    for (const QStringList &row : items.rows)
        (row[0] == QLatin1String("27") ? m_template.balance : m_template.income)[row[1].toInt()] = row[2].toDouble();
    if (m_template.balance.empty() || m_template.income.empty())
        return Outcome::failure(QStringLiteral("Chybí referenční výkazy subjektu 3366 (spusťte nejprve init)."));

    Result<statements::SumRules> rules = statements::SumRules::load(m_db);
    if (!rules.ok())
        return rules.outcome();
    m_rules.all = rules.value;
    for (const auto &[type, out] : {std::pair{27, &m_rules.balanceFull}, std::pair{28, &m_rules.incomeFull}}) {
        const QList<SumRule> full = m_rules.all.rules(type, 4);
        std::set<int> lefts;
        for (const SumRule &rule : full)
            lefts.insert(rule.left);
        for (const SumRule &rule : full) {
            // A rule that equates two totals (liabilities = assets) is met by balancing, not summed.
            if (rule.terms.size() == 1 && lefts.count(rule.terms.front().second))
                continue;
            out->append(rule);
        }
    }
    for (int id : base::ItemCodes::computedItemFormulas()) {
        const Result<QString> formula = m_db.readValue(QStringLiteral("SELECT func_for_val FROM func_for WHERE func_for_id = %1").arg(id));
        if (!formula.ok())
            return formula.outcome();
        if (formula.value.isEmpty())
            return Outcome::failure(QStringLiteral("Chybí ukazatel %1 pro vypočítané položky.").arg(id));
        m_rules.computedItems.push_back(parseTerms(formula.value));
    }
    const db::Rows branches = m_db.queryRows(QStringLiteral("SELECT val_agn FROM cd_val WHERE tbl_cd = 217 AND inac_ind = 0 ORDER BY val_agn"));
    if (!branches.ok())
        return Outcome::failure(branches.error);
    for (const QStringList &row : branches.rows) {
        const int code = row[0].toInt();
        if (kBranchWords().count(code % 1000) && code < 3100)
            m_divisions.push_back(code);
    }
    if (m_divisions.empty())
        return Outcome::failure(QStringLiteral("Chybí číselník OKEČ."));

    for (const auto &[code, amount] : m_template.balance)
        m_emptyBalance[code] = 0;
    for (const auto &[code, amount] : m_template.income)
        m_emptyIncome[code] = 0;
    for (const SumRule &rule : m_rules.incomeFull)
        m_rules.incomeLefts.insert(rule.left);
    m_templateSales = m_template.income[31] + m_template.income[38];
    m_templateAssets = m_template.balance[92];
    if (m_templateSales <= 0 || m_templateAssets <= 0)
        return Outcome::failure(QStringLiteral("Referenční výkazy subjektu 3366 nemají tržby nebo aktiva."));
    for (int total : {94, 127, 133, 142, 146, 171, 175, 182, 196})
        m_shapes[total] = shapeOf(total, m_rules.balanceFull, m_template.balance);
    // Goods and the year's result are set on their own.
    m_shapes[120] = shapeOf(120, m_rules.balanceFull, m_template.balance, {kGoods});
    m_shapes[153] = shapeOf(153, m_rules.balanceFull, m_template.balance, {169});
    m_shapes[42] = shapeOf(42, m_rules.incomeFull, m_template.income);
    return Outcome::success();
}

QString Generator::makeIco()
{
    while (true) {
        QString first = QString::number(1000000 + m_random.below(8999999)).rightJustified(7, QLatin1Char('0'));
        const int check = base::icoCheckDigit(first);
        const QString ico = first + QString::number(check);
        // The seed's very first IČO already there: this seed has been run on this database.
        if (m_icoDraws++ == 0 && m_usedIcos.count(ico))
            m_seedPresent = ico;
        if (m_usedIcos.insert(ico).second)
            return ico;
    }
}

// Main branches are dealt from a deck holding each division as often as its weight, so that even
// a few hundred companies give the large branches their share, not just on average.
int Generator::pickDivision()
{
    if (m_divisionDeck.empty()) {
        for (int division : m_divisions)
            m_divisionDeck.insert(m_divisionDeck.end(), demoDivisionWeight(division % 1000), division);
    }
    const int at = m_random.below(static_cast<int>(m_divisionDeck.size()));
    const int division = m_divisionDeck[at];
    m_divisionDeck[at] = m_divisionDeck.back();
    m_divisionDeck.pop_back();
    return division;
}

void Generator::spread(std::map<int, qint64> &amounts, int total, double amount)
{
    for (const auto &[code, share] : m_shapes.at(total))
        amounts[code] = share == 0 ? 0 : std::llround(amount * share * m_random.between(0.9, 1.1));
}

const LegalForm &Generator::pickLegalForm()
{
    int total = 0;
    for (const LegalForm &f : kLegalForms)
        total += f.weight;
    int r = m_random.below(total);
    for (const LegalForm &f : kLegalForms) {
        if (r < f.weight)
            return f;
        r -= f.weight;
    }
    return kLegalForms.front();
}

QString Generator::makeName(int division, const LegalForm &form)
{
    const auto &words = kBranchWords().at(division % 1000);
    for (int attempt = 0;; ++attempt) {
        QString base;
        if (form.code == 1101) {
            base = m_random.pick(std::vector<QString>{QStringLiteral("Jan"), QStringLiteral("Petr"), QStringLiteral("Josef"),
                                                      QStringLiteral("Pavel"), QStringLiteral("Jiří"), QStringLiteral("Tomáš")})
                + QLatin1Char(' ') + m_random.pick(kSurnames) + QStringLiteral(" – ") + m_random.pick(words).toLower();
        } else {
            switch (m_random.below(5)) {
            case 0: base = m_random.pick(words) + QLatin1Char(' ') + m_random.pick(kSurnames); break;
            case 1: base = m_random.pick(kSurnames) + QStringLiteral(" a syn"); break;
            case 2: base = m_random.pick(kSurnames) + QStringLiteral(" & ") + m_random.pick(kSurnames); break;
            default: base = m_random.pick(words) + QLatin1Char(' ') + m_random.pick(kTowns); break;
            }
        }
        const QString name = base + form.suffix;
        if (m_usedNames.insert(name).second || attempt > 20)
            return name;
    }
}

Outcome Generator::writeEntity(int id, std::vector<int> &branchesOut)
{
    const LegalForm &form = pickLegalForm();
    const int division = pickDivision();
    const QString name = makeName(division, form);
    qint64 textId = 0;
    if (m_random.chance(0.2)) {
        QString note;
        const int sentences = 1 + m_random.below(3);
        for (int s = 0; s < sentences; ++s)
            note += (s ? QStringLiteral(" ") : QString()) + m_random.pick(kNoteSentences);
        textId = m_nextTextId++;
        const QStringList lines = base::noteLines(note);
        for (int k = 0; k < lines.size(); ++k) {
            if (Outcome o = m_text->integer(nextKey(QStringLiteral("text"), QStringLiteral("row_id"))).now().integer(0).integer(textId).integer(k + 1).text(lines.at(k)).endRow();
                !o)
                return o;
        }
    }
    const int entityType = 2 + m_random.below(3);
    m_subj->integer(nextKey(QStringLiteral("subj"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(entityType).null().integer(0).null().integer(0);
    Outcome o = (textId ? m_subj->integer(textId) : m_subj->null()).endRow();
    o = o ? m_ident->integer(nextKey(QStringLiteral("ident"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(23).text(makeIco())
                .null().integer(0).null().integer(0).integer(form.code).endRow()
          : o;
    o = o ? m_name->integer(nextKey(QStringLiteral("name"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(22).text(name)
                .null().integer(0).null().integer(0).text(base::searchForm(name)).endRow()
          : o;
    // The main branch is number 1, the secondary ones follow.
    branchesOut = {division};
    const int secondary = m_random.below(3);
    for (int s = 0; s < secondary; ++s) {
        const int other = m_random.pick(m_divisions);
        if (std::find(branchesOut.begin(), branchesOut.end(), other) == branchesOut.end())
            branchesOut.push_back(other);
    }
    for (size_t b = 0; o && b < branchesOut.size(); ++b) {
        o = m_actv->integer(nextKey(QStringLiteral("actv"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(branchesOut[b])
                .integer(static_cast<qint64>(b + 1)).endRow();
    }
    if (!o)
        return o;
    return writeStatements(id, division);
}

Outcome Generator::writeStatements(int id, int division)
{
    const DemoIndustry &industry = demoIndustry(division % 1000);
    const bool full = m_random.chance(0.7);
    double sales = m_templateSales * std::exp(m_random.between(std::log(0.02), std::log(3.0)));
    // This company around its branch: the way it trades, holds stock, collects, pays and borrows.
    const double goodsShare = std::clamp(industry.goodsShare * vary(0.3), 0.0, 0.98);
    const double goodsMargin = std::clamp(industry.goodsMargin * vary(0.25), 0.02, 0.8);
    const double valueAdded = std::clamp(industry.valueAdded * vary(0.2), 0.03, 0.9);
    const double fixedShare = std::clamp(industry.fixedShare * vary(0.25), 0.05, 0.95);
    const double inventoryDays = industry.inventoryDays * vary(0.4);
    const double receivableDays = industry.receivableDays * vary(0.35);
    const double payableDays = industry.payableDays * vary(0.3);
    const double cashDays = industry.cashDays * vary(0.6);
    const double longLoanShare = std::clamp(industry.longLoanShare * vary(0.3), 0.0, 1.0);
    const double depreciation = industry.depreciation * vary(0.2);
    const double interestRate = m_random.between(0.06, 0.1);
    // A few companies live on thin equity, which makes their returns on equity swing widely.
    const double equityShare = m_random.chance(0.05) ? m_random.between(0.04, 0.12) : std::clamp(industry.equityShare * vary(0.3), 0.1, 0.9);
    // Most earn about what their branch earns, a few far more; a few are in trouble.
    const bool troubled = m_random.chance(0.05);
    const double margin = troubled ? -m_random.between(0.01, 0.06) : industry.margin * std::exp(industry.marginSpread * m_random.normal());
    // Entities join the data at different times, like real ones.
    const int totalQuarters = (m_options.lastYear - m_options.firstYear) * 4 + m_options.lastQuarter - m_options.firstQuarter + 1;
    const int skip = m_random.chance(0.25) ? m_random.below(std::max(1, totalQuarters / 2)) : 0;
    // Looked up once: the loop below writes tens of rows per statement.
    qint64 &stmtRow = m_keys.at(QStringLiteral("finl_stmt.row_id"));
    qint64 &stmtKey = m_keys.at(QStringLiteral("finl_stmt.finl_stmt_id"));
    qint64 &itemRow = m_keys.at(QStringLiteral("finl_item.row_id"));
    const QString enteredBy = QStringLiteral("uživatel");
    int index = 0;
    for (int year = m_options.firstYear; year <= m_options.lastYear; ++year) {
        sales *= m_random.between(0.93, 1.15);
        // Now and then a bad year.
        const double yearMargin = m_random.chance(0.03) ? -m_random.between(0.0, 0.03) : margin * vary(0.2);
        const int q1 = year == m_options.firstYear ? m_options.firstQuarter : 1;
        const int q4 = year == m_options.lastYear ? m_options.lastQuarter : 4;
        for (int quarter = q1; quarter <= q4; ++quarter, ++index) {
            if (index < skip)
                continue;
            // Balance sheet: assets from this company's turnover days and how much it owns for good.
            std::map<int, qint64> balance = m_emptyBalance;
            const double inventory = inventoryDays / 360 * sales * m_random.between(0.9, 1.1);
            const double receivables = receivableDays / 360 * sales * m_random.between(0.9, 1.1);
            const double cash = cashDays / 360 * sales * m_random.between(0.8, 1.2);
            const double longReceivables = m_template.balance.at(127) / m_templateSales * sales;
            const double current = inventory + receivables + cash + longReceivables;
            const double fixed = current * fixedShare / (1 - fixedShare);
            const double assets = (fixed + current) * (1 + perAssets(146));
            spread(balance, 94, fixed);
            balance[kGoods] = std::llround(inventory * goodsShare);
            spread(balance, 120, inventory * (1 - goodsShare));
            spread(balance, 127, longReceivables);
            spread(balance, 133, receivables);
            spread(balance, 142, cash);
            spread(balance, 146, assets * perAssets(146));
            // Liabilities: equity by this company's share, debts to suppliers by its payment days,
            // bank loans for the rest.
            const double equity = equityShare * assets;
            const double provisions = assets * perAssets(171) * m_random.between(0.5, 1.5);
            const double longLiabilities = assets * perAssets(175) * m_random.between(0.5, 1.5);
            const double payables = payableDays / 360 * sales * m_random.between(0.9, 1.1);
            const double deferred = assets * perAssets(196);
            spread(balance, 171, provisions);
            spread(balance, 175, longLiabilities);
            spread(balance, 182, payables);
            spread(balance, 196, deferred);
            const double loans = std::max(0.0, assets - equity - provisions - longLiabilities - payables - deferred);
            balance[193] = std::llround(loans * longLoanShare);
            balance[194] = std::llround(loans) - balance[193];

            // Income statement: cumulative within the year, as quarterly statements are.
            std::map<int, qint64> income = m_emptyIncome;
            const double share = quarter / 4.0;
            const double periodSales = sales * share * m_random.between(0.95, 1.05);
            const double periodShare = periodSales / m_templateSales;
            for (const auto &[code, amount] : m_template.income) {
                if (amount != 0 && !m_rules.incomeLefts.count(code))
                    income[code] = std::llround(amount * periodShare * m_random.between(0.8, 1.2));
            }
            income[31] = std::llround(periodSales * goodsShare);
            income[32] = std::llround(income[31] * (1 - goodsMargin));
            income[38] = std::llround(periodSales) - income[31];
            income[39] = std::llround(income[38] * m_random.between(-0.02, 0.03));
            const qint64 output = income[31] - income[32] + income[38] + income[39];
            income[40] = std::max(output - std::llround(periodSales * valueAdded), output / 20);
            income[48] = std::llround(fixed * depreciation * share);
            income[71] = std::llround(cash * 0.03 * share);
            income[72] = std::llround(loans * interestRate * share);
            income[82] = 0;
            spread(income, 42, 0);
            applyRules(income, m_rules.incomeFull);
            // Staff costs take what is left of value added after this year's operating margin.
            const qint64 staff = std::max(income[59] - std::llround(periodSales * yearMargin), income[41] / 7);
            spread(income, 42, static_cast<double>(staff));
            applyRules(income, m_rules.incomeFull);
            income[82] = std::max<qint64>(0, std::llround((income[59] + income[77]) * m_random.between(0.3, 0.39)));
            applyRules(income, m_rules.incomeFull);

            // The year's result stands in equity; the rest of equity makes up this company's share.
            balance[169] = income[90];
            spread(balance, 153, std::max(equity - static_cast<double>(income[90]), 0.02 * assets));
            applyRules(balance, m_rules.balanceFull);
            // Balance the sheet through short-term bank loans or bank accounts.
            const qint64 gap = balance[92] - balance[152];
            if (gap > 0)
                balance[194] += gap;
            else
                balance[144] -= gap;
            applyRules(balance, m_rules.balanceFull);

            std::map<int, qint64> balanceOut;
            std::map<int, qint64> incomeOut;
            if (full) {
                balanceOut = balance;
                incomeOut = income;
            } else {
                for (int code : base::ItemCodes::abbreviatedBalanceSheet())
                    balanceOut[code] = balance[code];
                for (int i = 0; i < base::ItemCodes::computedItems().size(); ++i) {
                    qint64 total = 0;
                    for (const auto &[sign, code] : m_rules.computedItems[i])
                        total += sign * income[code];
                    income[base::ItemCodes::computedItems()[i]] = total;
                }
                for (int code : base::ItemCodes::abbreviatedIncomeStatement())
                    incomeOut[code] = income[code];
            }
            for (const auto &[type, amounts] : {std::pair{27, &balanceOut}, std::pair{28, &incomeOut}}) {
                if (Outcome o = checkRules(type, full ? 4 : 2, *amounts); !o)
                    return o;
                const qint64 stmtId = ++stmtKey;
                Outcome o = m_stmt->integer(++stmtRow).now().integer(0).integer(stmtId).integer(id).integer(type).null().integer(0).null()
                                .integer(0).integer(0).null().text(enteredBy).integer(1).integer(full ? 4 : 2).integer(year).integer(quarter)
                                .endRow();
                for (auto it = amounts->begin(); o && it != amounts->end(); ++it)
                    o = m_item->integer(++itemRow).now().integer(0).integer(stmtId).integer(id).integer(it->first).integer(it->second).endRow();
                if (!o)
                    return o;
            }
        }
    }
    return Outcome::success();
}

// A made-up statement must pass the checks typed ones pass.
Outcome Generator::checkRules(int type, int form, const std::map<int, qint64> &amounts) const
{
    QHash<int, statements::Amount> typed;
    for (const auto &[code, amount] : amounts) {
        const auto value = statements::Amount::whole(amount);
        if (!value)
            return Outcome::failure(QStringLiteral("Částka řádku %1 je mimo rozsah.").arg(code));
        typed.insert(code, *value);
    }
    const QList<statements::RuleFailure> failures = m_rules.all.check(type, form, typed);
    return failures.isEmpty() ? Outcome::success() : Outcome::failure(failures.front().message());
}

Outcome Generator::writeGroups(const std::vector<std::pair<int, int>> &entityBranches)
{
    if (entityBranches.size() < 6)
        return Outcome::success();
    const int groups = std::max(1, static_cast<int>(entityBranches.size()) / 30);
    for (int g = 0; g < groups; ++g) {
        const qint64 id = nextKey(QStringLiteral("ident"), QStringLiteral("subj_id"));
        const int division = m_random.pick(m_divisions);
        const QString name = (g % 2 ? QStringLiteral("Holding ") : QStringLiteral("Skupina ")) + m_random.pick(kBranchWords().at(division % 1000))
            + QLatin1Char(' ') + m_random.pick(kTowns);
        Outcome o = m_subj->integer(nextKey(QStringLiteral("subj"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(12).null()
                        .integer(0).null().integer(0).null().endRow();
        o = o ? m_ident->integer(nextKey(QStringLiteral("ident"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(23)
                    .text(QStringLiteral("skupina_")).null().integer(0).null().integer(0).integer(215).endRow()
              : o;
        o = o ? m_name->integer(nextKey(QStringLiteral("name"), QStringLiteral("row_id"))).now().integer(0).integer(id).integer(22).text(name)
                    .null().integer(0).null().integer(0).text(base::searchForm(name)).endRow()
              : o;
        const int members = 3 + m_random.below(6);
        std::set<int> chosen;
        for (int m = 0; o && m < members; ++m) {
            const int member = entityBranches.at(m_random.below(static_cast<int>(entityBranches.size()))).first;
            if (!chosen.insert(member).second)
                continue;
            // Now and then a member is kept in the group but switched off.
            const int state = m_random.chance(0.1) ? 1 : 0;
            o = m_mem->integer(nextKey(QStringLiteral("mem"), QStringLiteral("row_id"))).now().integer(state).integer(id).integer(member).endRow();
        }
        if (!o)
            return o;
    }
    return Outcome::success();
}

Outcome Generator::flushAll()
{
    for (RowWriter *insert : {m_subj.get(), m_ident.get(), m_name.get(), m_actv.get(), m_mem.get(), m_text.get(), m_stmt.get(), m_item.get()}) {
        if (Outcome o = insert->flush(); !o)
            return o;
    }
    return Outcome::success();
}

Outcome Generator::run(const std::function<void(int, int)> &progress)
{
    if (Outcome o = loadInputs(); !o)
        return o;
    m_subj = std::make_unique<RowWriter>(m_db, QStringLiteral("subj"), 10);
    m_ident = std::make_unique<RowWriter>(m_db, QStringLiteral("ident"), 11);
    m_name = std::make_unique<RowWriter>(m_db, QStringLiteral("name"), 11);
    m_actv = std::make_unique<RowWriter>(m_db, QStringLiteral("actv"), 6);
    m_mem = std::make_unique<RowWriter>(m_db, QStringLiteral("mem"), 5);
    m_text = std::make_unique<RowWriter>(m_db, QStringLiteral("text"), 6);
    m_stmt = std::make_unique<RowWriter>(m_db, QStringLiteral("finl_stmt"), 17);
    m_item = std::make_unique<RowWriter>(m_db, QStringLiteral("finl_item"), 7);
    constexpr int kEntitiesPerTransaction = 200;
    int done = 0;
    while (done < m_options.entities) {
        db::Transaction tx(m_db);
        if (!tx.isActive())
            return Outcome::failure(m_db.lastError());
        // Keys are read under the writers' lock for each chunk: another writer (a second demo,
        // a user) may have taken some since the last one.
        if (Outcome o = lockAndReadKeys(); !o)
            return o;
        std::vector<std::pair<int, int>> entityBranches;
        const int chunkStart = done;
        const qint64 firstStatement = m_keys.at(QStringLiteral("finl_stmt.finl_stmt_id")) + 1;
        const int batchEnd = std::min(m_options.entities, done + kEntitiesPerTransaction);
        for (; done < batchEnd; ++done) {
            const qint64 id = nextKey(QStringLiteral("ident"), QStringLiteral("subj_id"));
            std::vector<int> branches;
            if (Outcome o = writeEntity(static_cast<int>(id), branches); !o)
                return o;
            if (!m_seedPresent.isEmpty()) {
                return Outcome::failure(QStringLiteral("Ukázková data se semínkem %1 už v databázi jsou (subjekt s IČO %2); nic "
                                                       "nebylo přidáno. Pro další subjekty zvolte jiné semínko (--seed).")
                                            .arg(m_options.seed)
                                            .arg(m_seedPresent));
            }
            entityBranches.emplace_back(static_cast<int>(id), branches.front());
        }
        // Groups go with their members' chunk, so a stopped run leaves no group half made.
        if (Outcome o = writeGroups(entityBranches); !o)
            return o;
        if (Outcome o = flushAll(); !o)
            return o;
        if (Outcome o = db::pack::statements(m_db, firstStatement, m_keys.at(QStringLiteral("finl_stmt.finl_stmt_id"))); !o)
            return o;
        // One audit row per chunk: the trail says that demo entities came, not each line.
        const QString label = QStringLiteral("ukázková data: %1 subjektů (semínko %2)").arg(done - chunkStart).arg(m_options.seed);
        if (Outcome o = db::audit::record(m_db, {{db::audit::kInsert, db::audit::kDemoData, 0, {}, label}}); !o)
            return o;
        if (!tx.commit())
            return Outcome::failure(m_db.lastError());
        if (progress)
            progress(done, m_options.entities);
    }
    return Outcome::success();
}

} // namespace

Outcome generateDemoData(db::Database &db, const DemoOptions &options, const std::function<void(int, int)> &progress)
{
    if (options.entities < 0 || options.firstYear > options.lastYear || options.firstQuarter < 1 || options.lastQuarter > 4)
        return Outcome::failure(QStringLiteral("Neplatné volby ukázkových dat."));
    Generator generator(db, options);
    const Outcome generated = generator.run(progress);
    db.trimWriteAheadLog();
    return generated;
}

} // namespace verna::shell
