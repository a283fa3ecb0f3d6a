#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

namespace verna::analysis {

// The ROE decomposition drawn as a pyramid: ROE on top, its five factors in a row below, each
// box with the value in both periods and the contribution to the change. It draws the rows
// of RoeDecomposition::table: a header, the five factors, ROE last.
class RoePyramid : public QWidget
{
    Q_OBJECT
public:
    explicit RoePyramid(QWidget *parent = nullptr);

    void setTable(const QList<QStringList> &table);
    // The text of every box, top first, each box's lines joined by "\n" (for tests and tips).
    QStringList boxTexts() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList boxLines(int row) const;

    QList<QStringList> m_table;
};

} // namespace verna::analysis
