#include "shell/standardwindows.h"

namespace verna::shell {

WindowRegistry standardWindows()
{
    // Each window adds one line of the form
    //   registry.add(commands::kSubjekt, [](AppState &state) { return new frmVyhledavani(state); });
    WindowRegistry registry;
    return registry;
}

} // namespace verna::shell
