// The root of the core class families: a polymorphic base so that owning
// containers (unaObjectList) can destroy any item through it. Not copyable:
// objects of this family have identity (threads, gates, streams). The base
// has no state, so any thread may use it; each class states its own rules.
#pragma once

class unaObject {
public:
    unaObject() = default;
    virtual ~unaObject() = default;
    unaObject(const unaObject&) = delete;
    unaObject& operator=(const unaObject&) = delete;
};
