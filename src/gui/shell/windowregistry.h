#pragma once

#include <functional>
#include <map>

class QWidget;

namespace verna::shell {

class AppState;

// The kinds of child window; the frame's commands and the windows' hand-overs name them.
enum class WindowKind {
    Search,          // frmVyhledavani
    DataSelection,   // frmVyberDat
    StatementTable,  // frmTabulka
    Analysis,        // frmAnalyzaSubj
    EntityGroups,    // frmUlozitSkupinu
    IndicatorGroups, // frmSkupinaFunkci
    IndicatorEditor, // frmNovaFunkce
    NewEntity,       // frmNovySubjekt
    NewStatement,    // frmNovyVykaz
    EntityEditing,   // frmEditaceSubjektu, opened only by a hand-over
};

// Which window each kind opens. A kind without a factory cannot be opened yet: its command
// stays visible but disabled, and hand-overs to it are not offered.
class WindowRegistry
{
public:
    // Creates a new window; the main window puts it into the frame and sets the caption.
    using Factory = std::function<QWidget *(AppState &)>;

    void add(WindowKind kind, Factory factory);
    bool has(WindowKind kind) const { return m_factories.count(kind) > 0; }
    QWidget *create(WindowKind kind, AppState &state) const;

private:
    std::map<WindowKind, Factory> m_factories;
};

} // namespace verna::shell
