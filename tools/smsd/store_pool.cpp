#include "store_pool.h"

namespace smsd {

StorePool::Lease StorePool::Take() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<Store> store = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(store));
    }
  }
  // The schema was brought up to date when the server started.
  return Lease(*this, OpenStore(url_, Access::kCommand));
}

void StorePool::Return(std::unique_ptr<Store> store, bool broken) {
  if (!store || broken) return;
  std::lock_guard<std::mutex> lock(mutex_);
  idle_.push_back(std::move(store));
}

}  // namespace smsd
