#include "disc/DiscEngine.h"

#include <algorithm>

namespace kestrel {

void DiscEngine::AddListener(DiscEvents& listener)
{
    if (!IsListening(&listener)) {
        listeners_.push_back(&listener);
    }
}

void DiscEngine::RemoveListener(DiscEvents& listener)
{
    std::erase(listeners_, &listener);
}

bool DiscEngine::IsListening(const DiscEvents* listener) const
{
    return std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end();
}

}  // namespace kestrel
