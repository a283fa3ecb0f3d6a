#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace verna::db {
class Database;
}

namespace verna::shell {

// The fixed item-code lists that statement windows, the selection tree and the evaluator read.
struct ItemCodes {
    // Lines of the abbreviated balance sheet, in display order.
    static const QList<int> &abbreviatedBalanceSheet();
    // Lines of the abbreviated income statement, in display order.
    static const QList<int> &abbreviatedIncomeStatement();
    // Lines that a full income statement does not store ...
    static const QList<int> &computedItems();
    // ... and the indicators that compute them, pair by pair.
    static const QList<int> &computedItemFormulas();
};

// The shared state of the application: one instance, passed to the windows that need it.
class AppState : public QObject
{
    Q_OBJECT
public:
    explicit AppState(db::Database &database, QObject *parent = nullptr);

    db::Database &database() const { return m_database; }

    // 1 = new keys by subqueries (the only dialect the application runs), 2 = DECLARE batches.
    int sqlDialect() const { return m_sqlDialect; }

    // Entity the next entity-editing or data-selection window shows; "@@" = none, show all.
    QString entityToOpen() const { return m_entityToOpen; }
    void setEntityToOpen(const QString &id) { m_entityToOpen = id; }
    static inline const QString kNoEntity = QStringLiteral("@@");

    // Group the next groups window opens; "" = none (the window clears it after reading).
    QString groupToEdit() const { return m_groupToEdit; }
    void setGroupToEdit(const QString &id) { m_groupToEdit = id; }
    QString takeGroupToEdit();

    // Id the indicator editor and indicator groups window select after reloading; 0 = none.
    qint16 selectionAfterReload() const { return m_selectionAfterReload; }
    void setSelectionAfterReload(qint16 id) { m_selectionAfterReload = id; }

    // Amount handed between the statement entry window and the value dialog; "0" when idle.
    QString sharedValue() const { return m_sharedValue; }
    void setSharedValue(const QString &value) { m_sharedValue = value; }

private:
    db::Database &m_database;
    int m_sqlDialect = 1;
    QString m_entityToOpen = kNoEntity;
    QString m_groupToEdit;
    qint16 m_selectionAfterReload = 0;
    QString m_sharedValue = QStringLiteral("0");
};

} // namespace verna::shell
