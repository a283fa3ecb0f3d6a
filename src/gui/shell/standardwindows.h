#pragma once

#include "shell/windowregistry.h"

namespace verna::shell {

// The child windows of the application: each window, once built, adds its line here.
WindowRegistry standardWindows();

} // namespace verna::shell
