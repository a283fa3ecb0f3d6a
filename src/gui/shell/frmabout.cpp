#include "shell/frmabout.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace verna::shell {

namespace {

QLabel *label(QWidget *parent, const QString &name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

} // namespace

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("O aplikaci..."));
    if (owner)
        setWindowIcon(owner->windowIcon());
    setModal(true);

    auto *icon = label(this, QStringLiteral("imgIkona"), {});
    icon->setPixmap(windowIcon().pixmap(48, 48));
    QLabel *title = label(this, QStringLiteral("lblNazev"), QStringLiteral("VERNA"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    title->setFont(titleFont);
    QLabel *version =
        label(this, QStringLiteral("lblVerze"), QStringLiteral("Verze ") + QStringLiteral(VERNA_VERSION));
    QLabel *purpose = label(this, QStringLiteral("lblPopis"), QStringLiteral("Finanční analýza českých podniků"));
    QLabel *maker = label(this, QStringLiteral("lblAutor"), QStringLiteral("Vytvořil vývojový tým VERNA."));

    auto *credits = new QGridLayout;
    const QList<std::pair<QString, QString>> rows = {
        {QStringLiteral("Vedoucí projektu:"), QStringLiteral("tým VERNA")},
        {QStringLiteral("Programátor:"), QStringLiteral("tým VERNA")},
        {QStringLiteral("Odborné kozultace a příprava dat:"), QStringLiteral("tým VERNA")},
        {QStringLiteral("Testování:"), QStringLiteral("tým VERNA")},
    };
    const QStringList names = {QStringLiteral("lblVedouci"), QStringLiteral("lblProgramator"),
                               QStringLiteral("lblKonzultace"), QStringLiteral("lblTestovani")};
    for (int i = 0; i < rows.size(); ++i) {
        credits->addWidget(label(this, names.at(i), rows.at(i).first), i, 0, Qt::AlignRight | Qt::AlignTop);
        credits->addWidget(label(this, names.at(i) + QStringLiteral("Jmeno"), rows.at(i).second), i, 1);
    }

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *head = new QHBoxLayout;
    head->addWidget(icon, 0, Qt::AlignTop);
    auto *headText = new QVBoxLayout;
    headText->addWidget(title);
    headText->addWidget(version);
    head->addLayout(headText, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(purpose);
    layout->addWidget(maker);
    layout->addSpacing(8);
    layout->addLayout(credits);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(380, 0)));
}

} // namespace verna::shell
