#pragma once

#include "statements/statementstore.h"

#include <QTreeWidget>

namespace verna::statements {

// One statement's lines in the entry window: the line's title and its amount as text. Keys
// the user edits with: F2 (the current amount), a keypad digit or minus (that character, then
// the next line) and Enter (the next line).
class StatementLinesView : public QTreeWidget
{
    Q_OBJECT
public:
    // prefix: "R" balance sheet, "V" income statement (the lines' keys)
    StatementLinesView(const QString &prefix, QWidget *parent = nullptr);

    // The lines of a form, each with the amount "0".
    void setLines(const QList<StatementLine> &lines);
    // Amounts by line code; lines without one show "0".
    void setAmounts(const QHash<int, QString> &amounts);
    void setAmount(int row, const QString &amount);
    QString amount(int row) const;
    int code(int row) const;
    QString key(int row) const;
    int rowCount() const { return topLevelItemCount(); }
    // Every line's amount as typed, in order.
    QList<std::pair<int, QString>> amounts() const;

signals:
    // The user asks to edit a line, starting from startText.
    void editRequested(int row, const QString &startText);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void moveDown();

    QString m_prefix;
};

} // namespace verna::statements
