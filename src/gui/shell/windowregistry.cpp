#include "shell/windowregistry.h"

namespace verna::shell {

QStringList commands::all()
{
    return {kSubjekt, kVyber, kVykaz, kAnalyza, kSkupinaSubjektu, kSkupinaUkazatelu, kNovyUkazatel, kNovySubjekt, kNovyVykaz};
}

bool WindowRegistry::add(const QString &command, Factory factory)
{
    if (!factory || !commands::all().contains(command))
        return false;
    m_factories.insert(command, std::move(factory));
    return true;
}

QWidget *WindowRegistry::create(const QString &command, AppState &state) const
{
    const auto it = m_factories.constFind(command);
    return it == m_factories.constEnd() ? nullptr : (*it)(state);
}

} // namespace verna::shell
