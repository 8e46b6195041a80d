#include <cstdlib>
#include <mutex>

#include "load/c_boundary.h"
#include "load/call_guard.h"
#include "platform.h"
#include "render/render_scope.h"
#include "suites/host.h"
#include "suites/host_objects.h"
#include "suites/suites.h"

namespace ofxhost {

namespace {

OfxStatus getPropertySet(OfxImageEffectHandle effect, OfxPropertySetHandle *propHandle)
{
    HOST_CALL("getPropertySet");
    EffectObject *e = LiveSet<EffectObject>::find(effect);
    if (!e || !propHandle)
        return kOfxStatErrBadHandle;
    *propHandle = e->props.handle();
    return kOfxStatOK;
}

OfxStatus getParamSet(OfxImageEffectHandle effect, OfxParamSetHandle *paramSet)
{
    HOST_CALL("getParamSet");
    EffectObject *e = LiveSet<EffectObject>::find(effect);
    if (!e || !paramSet)
        return kOfxStatErrBadHandle;
    *paramSet = reinterpret_cast<OfxParamSetHandle>(&e->params);
    return kOfxStatOK;
}

OfxStatus clipDefine(OfxImageEffectHandle effect, const char *name, OfxPropertySetHandle *propertySet)
{
    HOST_CALL("clipDefine");
    EffectObject *e = LiveSet<EffectObject>::find(effect);
    if (!e || !name || !propertySet)
        return kOfxStatErrBadHandle;
    if (e->instance)
        return kOfxStatErrUnsupported;
    *propertySet = e->defineClip(name)->props.handle();
    return kOfxStatOK;
}

OfxStatus clipGetHandle(OfxImageEffectHandle effect, const char *name, OfxImageClipHandle *clip,
                        OfxPropertySetHandle *propertySet)
{
    HOST_CALL("clipGetHandle");
    EffectObject *e = LiveSet<EffectObject>::find(effect);
    if (!e || !name || !clip)
        return kOfxStatErrBadHandle;
    ClipObject *c = e->findClip(name);
    if (!c)
        return kOfxStatErrUnknown;
    *clip = reinterpret_cast<OfxImageClipHandle>(c);
    if (propertySet)
        *propertySet = c->props.handle();
    return kOfxStatOK;
}

OfxStatus clipGetPropertySet(OfxImageClipHandle clip, OfxPropertySetHandle *propHandle)
{
    HOST_CALL("clipGetPropertySet");
    ClipObject *c = LiveSet<ClipObject>::find(clip);
    if (!c || !propHandle)
        return kOfxStatErrBadHandle;
    *propHandle = c->props.handle();
    return kOfxStatOK;
}

OfxStatus clipGetImage(OfxImageClipHandle clip, OfxTime, const OfxRectD *, OfxPropertySetHandle *imageHandle)
{
    HOST_CALL("clipGetImage");
    ClipObject *c = LiveSet<ClipObject>::find(clip);
    if (!c || !imageHandle)
        return kOfxStatErrBadHandle;
    ImageObject *image = nullptr;
    if (const RenderScope *scope = RenderScope::current(c->effect)) {
        if (const ClipView *view = scope->find(c->name)) {
            scope->noteFetched(c->name);
            if (!view->image)
                return kOfxStatFailed;
            image = new ImageObject(*view->image, ImageTraits{view->regionOfDefinition, scope->renderScale(),
                                                              scope->scaleOnImages(), view->deviceMemory,
                                                              view->deviceRowBytes, view->deviceImage});
        }
    }
    if (!image && !c->image)
        return kOfxStatFailed;
    if (!image)
        image = new ImageObject(*c->image);
    ++Host::instance().imagesOut;
    *imageHandle = image->handle();
    return kOfxStatOK;
}

OfxStatus clipReleaseImage(OfxPropertySetHandle imageHandle)
{
    HOST_CALL("clipReleaseImage");
    ImageObject *image = LiveSet<ImageObject>::find(imageHandle);
    if (!image)
        return kOfxStatErrBadHandle;
    delete image;
    --Host::instance().imagesOut;
    return kOfxStatOK;
}

OfxStatus clipGetRegionOfDefinition(OfxImageClipHandle clip, OfxTime, OfxRectD *bounds)
{
    HOST_CALL("clipGetRegionOfDefinition");
    ClipObject *c = LiveSet<ClipObject>::find(clip);
    if (!c || !bounds)
        return kOfxStatErrBadHandle;
    if (const RenderScope *scope = RenderScope::current(c->effect)) {
        if (const ClipView *view = scope->find(c->name)) {
            *bounds = view->canonicalRegionOfDefinition;
            return kOfxStatOK;
        }
    }
    if (!c->image) {
        *bounds = OfxRectD{0.0, 0.0, 0.0, 0.0};
        return kOfxStatOK;
    }
    const OfxRectI &b = c->image->bounds();
    *bounds = OfxRectD{double(b.x1), double(b.y1), double(b.x2), double(b.y2)};
    return kOfxStatOK;
}

int abortRender(OfxImageEffectHandle)
{
    Faults::instance().record("abort");
    return Host::instance().quirks().abortAnswer ? 1 : 0;
}

// Image memory: a block with a lock count; locking hands out its address.
struct ImageMemory {
    Live<ImageMemory> live{this};
    void *data = nullptr;
    int locks = 0;
};

OfxStatus imageMemoryAlloc(OfxImageEffectHandle, size_t nBytes, OfxImageMemoryHandle *memoryHandle)
{
    HOST_CALL("imageMemoryAlloc");
    if (!memoryHandle)
        return kOfxStatErrBadHandle;
    auto *m = new ImageMemory;
    m->data = platform::alignedAlloc(16, (nBytes + 15) / 16 * 16 + 16);
    if (!m->data) {
        delete m;
        return kOfxStatErrMemory;
    }
    *memoryHandle = reinterpret_cast<OfxImageMemoryHandle>(m);
    return kOfxStatOK;
}

OfxStatus imageMemoryFree(OfxImageMemoryHandle memoryHandle)
{
    HOST_CALL("imageMemoryFree");
    ImageMemory *m = LiveSet<ImageMemory>::find(memoryHandle);
    if (!m)
        return kOfxStatErrBadHandle;
    platform::alignedFree(m->data);
    delete m;
    return kOfxStatOK;
}

OfxStatus imageMemoryLock(OfxImageMemoryHandle memoryHandle, void **returnedPtr)
{
    HOST_CALL("imageMemoryLock");
    ImageMemory *m = LiveSet<ImageMemory>::find(memoryHandle);
    if (!m || !returnedPtr)
        return kOfxStatErrBadHandle;
    ++m->locks;
    *returnedPtr = m->data;
    return kOfxStatOK;
}

OfxStatus imageMemoryUnlock(OfxImageMemoryHandle memoryHandle)
{
    HOST_CALL("imageMemoryUnlock");
    ImageMemory *m = LiveSet<ImageMemory>::find(memoryHandle);
    if (!m)
        return kOfxStatErrBadHandle;
    if (m->locks > 0)
        --m->locks;
    return kOfxStatOK;
}

const OfxImageEffectSuiteV1 suite = {
    guarded<getPropertySet>, guarded<getParamSet>, guarded<clipDefine>, guarded<clipGetHandle>,
    guarded<clipGetPropertySet>, guarded<clipGetImage>, guarded<clipReleaseImage>,
    guarded<clipGetRegionOfDefinition>, guarded<abortRender>, guarded<imageMemoryAlloc>, guarded<imageMemoryFree>,
    guarded<imageMemoryLock>, guarded<imageMemoryUnlock>};

}  // namespace

const OfxImageEffectSuiteV1 *imageEffectSuiteTable()
{
    return &suite;
}

}  // namespace ofxhost
