#pragma once

#include "indicators/indicatorunit.h"

#include <QWidget>
#include <optional>

class QComboBox;
class QLineEdit;

namespace verna::indicators {

// The indicator editor's row for the unit and the direction a reader takes the value in:
// an editable unit list, the direction, and the bounds of a target range.
class UnitControls : public QWidget
{
public:
    explicit UnitControls(QWidget *parent = nullptr);

    // Shows a stored unit without counting it as the user's change.
    void set(const IndicatorUnit &unit);
    // What the user set; nullopt with a Czech reason when the bounds are not numbers low <= high.
    std::optional<IndicatorUnit> value(QString *problem) const;
    bool changed = false;

private:
    void showBounds();

    QComboBox *m_cboJednotka;
    QComboBox *m_cboSmer;
    QLineEdit *m_txtOd;
    QLineEdit *m_txtDo;
    bool m_loading = false;
};

} // namespace verna::indicators
