#include "statements/statementlinesview.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace verna::statements {

StatementLinesView::StatementLinesView(const QString &prefix, QWidget *parent)
    : QTreeWidget(parent)
    , m_prefix(prefix)
{
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Položka výkazu"), QStringLiteral("Hodnota v tis. Kč")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::Interactive);
    header()->resizeSection(1, 130);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        const int row = indexOfTopLevelItem(item);
        emit editRequested(row, amount(row));
    });
}

void StatementLinesView::setLines(const QList<StatementLine> &lines)
{
    clear();
    QList<QTreeWidgetItem *> items;
    for (const StatementLine &line : lines) {
        auto *item = new QTreeWidgetItem({line.title(), QStringLiteral("0")});
        item->setData(0, Qt::UserRole, line.code);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    addTopLevelItems(items);
    if (!items.isEmpty())
        setCurrentItem(items.front());
}

void StatementLinesView::setAmounts(const QHash<int, QString> &amounts)
{
    for (int row = 0; row < rowCount(); ++row)
        setAmount(row, amounts.value(code(row), QStringLiteral("0")));
}

void StatementLinesView::setAmount(int row, const QString &amount)
{
    if (QTreeWidgetItem *item = topLevelItem(row))
        item->setText(1, amount.isEmpty() ? QStringLiteral("0") : amount);
}

QString StatementLinesView::amount(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(1) : QString();
}

int StatementLinesView::code(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

QString StatementLinesView::key(int row) const
{
    return m_prefix + QString::number(code(row));
}

QList<std::pair<int, QString>> StatementLinesView::amounts() const
{
    QList<std::pair<int, QString>> out;
    for (int row = 0; row < rowCount(); ++row)
        out.append({code(row), amount(row)});
    return out;
}

void StatementLinesView::keyPressEvent(QKeyEvent *event)
{
    const int row = currentItem() ? indexOfTopLevelItem(currentItem()) : -1;
    const int key = event->key();
    const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
    if (row >= 0 && key == Qt::Key_F2) {
        emit editRequested(row, amount(row));
        return;
    }
    if (row >= 0 && keypad && ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Minus)) {
        emit editRequested(row, event->text().isEmpty() ? QString(QChar(key)) : event->text());
        moveDown();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        moveDown();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void StatementLinesView::moveDown()
{
    const int row = currentItem() ? indexOfTopLevelItem(currentItem()) : -1;
    if (row + 1 < rowCount())
        setCurrentItem(topLevelItem(row + 1));
}

} // namespace verna::statements
