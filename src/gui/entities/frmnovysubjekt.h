#pragma once

#include "entities/entitystore.h"

#include <QList>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace verna::shell {
class AppState;
}

namespace verna::entities {

// The new-entity window: IČO, name, type, legal form, note and up to six branches (the first
// the main one). It collects the input; EntityStore checks it and writes the entity.
class frmNovySubjekt : public QWidget
{
    Q_OBJECT
public:
    explicit frmNovySubjekt(shell::AppState &state, QWidget *parent = nullptr);

    void txtICO_LostFocus();
    void cmdOK_Click();
    void cmdStorno_Click();

private:
    void buildControls();
    void Form_Load();
    NewEntity input() const;

    EntityStore m_store;
    QLineEdit *m_txtICO = nullptr;
    QLineEdit *m_txtNazev = nullptr;
    QComboBox *m_cboTypSubjektu = nullptr;
    QComboBox *m_cboPravniForma = nullptr;
    QPlainTextEdit *m_txtPoznamka = nullptr;
    QList<QComboBox *> m_cboOKEC;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdStorno = nullptr;
};

} // namespace verna::entities
