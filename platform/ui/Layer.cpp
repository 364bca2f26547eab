#include "platform/ui/Layer.h"

#include <algorithm>

#include "platform/ui/Animator.h"

namespace platform::ui {

std::shared_ptr<Layer> Layer::make() { return std::make_shared<Layer>(); }

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) { insertSublayer(layer, sublayers_.size()); }

void Layer::insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index) {
  if (!layer || layer.get() == this) return;
  // A layer that is one of our ancestors would make a cycle.
  for (auto up = superlayer(); up; up = up->superlayer()) {
    if (up == layer) return;
  }
  auto keep = layer;
  keep->removeFromSuperlayer();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), keep);
  keep->superlayer_ = weak_from_this();
}

void Layer::removeFromSuperlayer() {
  auto parent = superlayer_.lock();
  superlayer_.reset();
  if (!parent) return;
  auto& list = parent->sublayers_;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& l) { return l.get() == this; }), list.end());
}

void Layer::removeAllAnimations() {
  if (owner_) Animator::shared().removeAnimations(owner_);
}

}  // namespace platform::ui
