#include "capture/TComponent.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) {
        owner_->components_.push_back(this);
        if (owner_->state_ & csLoading)
            state_ |= csLoading;
        if (owner_->state_ & csDesigning)
            state_ |= csDesigning;
    }
}

TComponent::~TComponent() {
    state_ |= csDestroying;
    notifyRemoval();
    while (!components_.empty()) {
        TComponent* c = components_.back();
        delete c; // removes itself from components_
    }
    if (owner_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TComponent::notifyRemoval() {
    if (removalSent_)
        return;
    removalSent_ = true;
    std::vector<TComponent*> told = notifications_;
    if (owner_)
        for (TComponent* c : owner_->components_)
            if (c != this && std::find(told.begin(), told.end(), c) == told.end())
                told.push_back(c);
    for (TComponent* c : told) {
        c->removeFreeNotification(this);
        c->Notification(this, opRemove);
    }
    notifications_.clear();
}

void TComponent::setDesigning(bool value) {
    state_ = value ? (state_ | csDesigning) : (state_ & ~csDesigning);
}

void TComponent::beginLoading() {
    state_ |= csLoading;
    for (TComponent* c : components_)
        c->beginLoading();
}

void TComponent::endLoading() {
    for (TComponent* c : std::vector<TComponent*>(components_))
        c->endLoading();
    if (state_ & csLoading)
        Loaded();
}

void TComponent::Loaded() {
    state_ &= ~csLoading;
}

void TComponent::Notification(TComponent*, Operation) {}

void TComponent::freeNotification(TComponent* component) {
    if (!component || component == this)
        return;
    if (std::find(notifications_.begin(), notifications_.end(), component) == notifications_.end())
        notifications_.push_back(component);
    // Both sides are told, whichever goes first.
    if (std::find(component->notifications_.begin(), component->notifications_.end(), this) ==
        component->notifications_.end())
        component->notifications_.push_back(this);
}

void TComponent::removeFreeNotification(TComponent* component) {
    notifications_.erase(std::remove(notifications_.begin(), notifications_.end(), component),
                         notifications_.end());
}
