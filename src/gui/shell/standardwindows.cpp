#include "shell/standardwindows.h"

#include "analysis/frmanalyzasubj.h"
#include "entities/frmvyhledavani.h"

namespace verna::shell {

WindowRegistry standardWindows()
{
    // Each window adds one line of the form
    //   registry.add(commands::kSubjekt, [](AppState &state) { return new frmVyhledavani(state); });
    WindowRegistry registry;
    registry.add(commands::kSubjekt, [](AppState &state) { return new entities::frmVyhledavani(state); });
    registry.add(commands::kAnalyza, [](AppState &state) { return new analysis::frmAnalyzaSubj(state); });
    return registry;
}

} // namespace verna::shell
