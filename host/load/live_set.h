#pragma once

// Registry of the live objects of one type, so that a handle from the
// plug-in can be checked before it is used: a stale or foreign handle is
// answered with kOfxStatErrBadHandle, never dereferenced.

#include <mutex>
#include <set>

namespace ofxhost {

template <class T>
class LiveSet {
public:
    static void add(const T *object)
    {
        std::lock_guard<std::mutex> lock(mutex());
        objects().insert(object);
    }
    static void remove(const T *object)
    {
        std::lock_guard<std::mutex> lock(mutex());
        objects().erase(object);
    }
    static T *find(const void *handle)
    {
        if (!handle)
            return nullptr;
        std::lock_guard<std::mutex> lock(mutex());
        auto it = objects().find(static_cast<const T *>(handle));
        return it == objects().end() ? nullptr : const_cast<T *>(*it);
    }

private:
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::set<const T *> &objects()
    {
        static std::set<const T *> s;
        return s;
    }
};

// A member that registers its owner for the owner's whole life. Declare it
// first so that it is the last member to go.
template <class T>
class Live {
public:
    explicit Live(const T *self) : self_(self) { LiveSet<T>::add(self_); }
    ~Live() { LiveSet<T>::remove(self_); }
    Live(const Live &) = delete;
    Live &operator=(const Live &) = delete;

private:
    const T *self_;
};

}  // namespace ofxhost
