#include "render/render_scope.h"

namespace ofxhost {

namespace {

thread_local const RenderScope *threadScope = nullptr;

}  // namespace

RenderScope::RenderScope(const EffectObject *effect, double renderScale, bool scaleOnImages)
    : effect_(effect), renderScale_(renderScale), scaleOnImages_(scaleOnImages), previous_(threadScope)
{
    threadScope = this;
}

RenderScope::~RenderScope()
{
    threadScope = previous_;
}

const RenderScope *RenderScope::current(const EffectObject *effect)
{
    const RenderScope *scope = threadScope;
    return scope && scope->effect_ == effect ? scope : nullptr;
}

const RenderScope *RenderScope::inherited()
{
    return threadScope;
}

RenderScope::Adopt::Adopt(const RenderScope *scope) : previous_(threadScope)
{
    threadScope = scope;
}

RenderScope::Adopt::~Adopt()
{
    threadScope = previous_;
}

const ClipView *RenderScope::find(const std::string &clip) const
{
    auto it = clips_.find(clip);
    return it == clips_.end() ? nullptr : &it->second;
}

void RenderScope::noteFetched(const std::string &clip) const
{
    std::lock_guard<std::mutex> lock(fetchedLock_);
    fetched_.insert(clip);
}

std::set<std::string> RenderScope::fetched() const
{
    std::lock_guard<std::mutex> lock(fetchedLock_);
    return fetched_;
}

}  // namespace ofxhost
