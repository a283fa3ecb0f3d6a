#pragma once

#include <QDialog>

namespace verna::shell {

// The about box: program title, maker and credits; modal, owned by the main window.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *owner);
};

} // namespace verna::shell
