#include "shell/windowregistry.h"

namespace verna::shell {

void WindowRegistry::add(WindowKind kind, Factory factory)
{
    if (factory)
        m_factories[kind] = std::move(factory);
}

QWidget *WindowRegistry::create(WindowKind kind, AppState &state) const
{
    const auto it = m_factories.find(kind);
    return it == m_factories.end() ? nullptr : it->second(state);
}

} // namespace verna::shell
