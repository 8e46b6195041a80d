#include "render_scope.h"

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

}  // namespace ofxhost
