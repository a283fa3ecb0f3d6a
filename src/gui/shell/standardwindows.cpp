#include "shell/standardwindows.h"

#include "analysis/frmanalyzasubj.h"
#include "entities/frmeditacesubjektu.h"
#include "entities/frmnovysubjekt.h"
#include "entities/frmulozitskupinu.h"
#include "entities/frmvyhledavani.h"
#include "indicators/frmnovafunkce.h"
#include "indicators/frmskupinafunkci.h"
#include "selection/frmvyberdat.h"
#include "statements/frmnovyvykaz.h"
#include "statements/frmtabulka.h"

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
    registry.add(WindowKind::IndicatorEditor, [](AppState &state) { return new indicators::frmNovaFunkce(state); });
    registry.add(WindowKind::IndicatorGroups, [](AppState &state) { return new indicators::frmSkupinaFunkci(state); });
    registry.add(WindowKind::DataSelection, [](AppState &state) { return new selection::frmVyberDat(state); });
    registry.add(WindowKind::StatementTable, [](AppState &state) { return new statements::frmTabulka(state); });
    registry.add(WindowKind::NewStatement, [](AppState &state) { return new statements::frmNovyVykaz(state); });
    return registry;
}

} // namespace verna::shell
