#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace verna::statements {

// "Hodnota v tisících Kč": one amount typed for one statement line. OK takes the text only
// when it is a number ("," or "." as the decimal separator, "" is 0).
class frmEditace : public QDialog
{
    Q_OBJECT
public:
    frmEditace(const QString &lineText, const QString &startText, QWidget *parent = nullptr);

    // The amount as plain decimal text after OK; nullopt after "Storno".
    std::optional<QString> amount() const { return m_amount; }

    // Shows the dialog modally; the new amount, or nullopt when the user cancelled.
    static std::optional<QString> edit(QWidget *parent, const QString &lineText, const QString &startText);

    void cmdOK_Click();

private:
    QLabel *m_lblPolozka = nullptr;
    QLineEdit *m_txtHodnota = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdStorno = nullptr;
    std::optional<QString> m_amount;
};

} // namespace verna::statements
