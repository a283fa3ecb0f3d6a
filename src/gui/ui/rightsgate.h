#pragma once

#include "db/rights.h"

class QWidget;

namespace verna::ui {

// Keeps a control whose command needs a right the user lacks disabled, with a tooltip naming
// the missing right. The window may go on enabling and disabling it as its state changes:
// while the right is missing, the control stays off. With the right it is left alone.
void requireRight(QWidget *control, const db::Rights &rights, db::Right right);

} // namespace verna::ui
