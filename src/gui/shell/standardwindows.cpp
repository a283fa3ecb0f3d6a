#include "shell/standardwindows.h"

#include "analysis/frmanalyzasubj.h"
#include "entities/frmeditacesubjektu.h"
#include "entities/frmnovysubjekt.h"
#include "entities/frmulozitskupinu.h"
#include "entities/frmvyhledavani.h"

namespace verna::shell {

WindowRegistry standardWindows()
{
    // Each window adds one line of the form
    //   registry.add(WindowKind::Search, [](AppState &state) { return new frmVyhledavani(state); });
    WindowRegistry registry;
    registry.add(WindowKind::Search, [](AppState &state) { return new entities::frmVyhledavani(state); });
    registry.add(WindowKind::NewEntity, [](AppState &state) { return new entities::frmNovySubjekt(state); });
    registry.add(WindowKind::EntityEditing, [](AppState &state) { return new entities::frmEditaceSubjektu(state); });
    registry.add(WindowKind::EntityGroups, [](AppState &state) { return new entities::frmUlozitSkupinu(state); });
    registry.add(WindowKind::Analysis, [](AppState &state) { return new analysis::frmAnalyzaSubj(state); });
    return registry;
}

} // namespace verna::shell
