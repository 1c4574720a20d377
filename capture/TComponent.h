// TComponent: the small component base the pipe components stand on.
//
// A component may have an owner, which destroys it in its own destructor
// (owned components are destroyed in reverse order of creation). While a
// form is being built its components are "loading": setters only record
// their values, and endLoading() ends it by calling Loaded() on every owned
// component. A component that is destroyed first tells every component that
// asked for it (freeNotification) and its owner's other components, through
// Notification(component, opRemove), so that nobody keeps a dangling link.
//
// Threads: main thread only.
#pragma once

#include "core/unaObject.h"

#include <cstdint>
#include <vector>

class TComponent : public unaObject {
public:
    enum Operation { opInsert, opRemove };
    enum : uint32_t {
        csLoading = 1,
        csDesigning = 2,
        csDestroying = 4,
    };

    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;

    TComponent* owner() const { return owner_; }
    uint32_t componentState() const { return state_; }
    bool isLoadingOrDesigning() const { return (state_ & (csLoading | csDesigning)) != 0; }
    void setDesigning(bool value);

    // Marks this component and the components it owns as loading.
    void beginLoading();
    // Ends loading: Loaded() on every owned component, then on this one.
    void endLoading();

    // Asks to be told (Notification) when component is destroyed.
    void freeNotification(TComponent* component);
    void removeFreeNotification(TComponent* component);

    uint32_t componentCount() const { return uint32_t(components_.size()); }
    TComponent* component(uint32_t index) const {
        return index < components_.size() ? components_[index] : nullptr;
    }

protected:
    // End of loading; the base clears the loading state.
    virtual void Loaded();
    // A component this one knows about is inserted or is going away.
    virtual void Notification(TComponent* component, Operation operation);
    // Sends the removal notifications now (descendants call it first in
    // their destructor, while they can still handle the replies).
    void notifyRemoval();

private:
    TComponent* owner_;
    uint32_t state_ = 0;
    bool removalSent_ = false;
    std::vector<TComponent*> components_;    // owned
    std::vector<TComponent*> notifications_; // told when this one goes away
};
