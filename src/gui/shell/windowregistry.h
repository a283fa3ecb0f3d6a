#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace verna::shell {

class AppState;

// The main window's commands that open child windows, named as their menu items.
namespace commands {
inline const QString kSubjekt = QStringLiteral("miSubjekt");
inline const QString kVyber = QStringLiteral("miVyber");
inline const QString kVykaz = QStringLiteral("miVykaz");
inline const QString kAnalyza = QStringLiteral("miAnalyza");
inline const QString kSkupinaSubjektu = QStringLiteral("miSkupinaSubjektu");
inline const QString kSkupinaUkazatelu = QStringLiteral("miSkupinaUkazatelu");
inline const QString kNovyUkazatel = QStringLiteral("miNovyUkazatel");
inline const QString kNovySubjekt = QStringLiteral("miNovySubjekt");
inline const QString kNovyVykaz = QStringLiteral("miNovyVykaz");
QStringList all();
} // namespace commands

// Which window each command opens. A command without a factory stays visible but disabled.
class WindowRegistry
{
public:
    // Creates a new window; the main window puts it into the frame and sets the caption.
    using Factory = std::function<QWidget *(AppState &)>;

    // command: one of commands::all(); anything else is refused (false).
    bool add(const QString &command, Factory factory);
    bool has(const QString &command) const { return m_factories.contains(command); }
    QWidget *create(const QString &command, AppState &state) const;

private:
    QHash<QString, Factory> m_factories;
};

} // namespace verna::shell
