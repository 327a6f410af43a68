// The HTTP server's database connections: one per request being served, opened when
// first needed and kept for the next request. A connection whose request failed with a
// database error is closed, not handed out again.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "store.h"

namespace smsd {

class StorePool {
 public:
  explicit StorePool(std::string url) : url_(std::move(url)) {}

  class Lease {
   public:
    Lease(StorePool &pool, std::unique_ptr<Store> store) : pool_(pool), store_(std::move(store)) {}
    ~Lease() { pool_.Return(std::move(store_), broken_); }
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    Store &store() { return *store_; }
    Sql &sql() { return store_->Database(); }
    // The connection is not to be used again (a database error left it in doubt).
    void Broken() { broken_ = true; }

   private:
    StorePool &pool_;
    std::unique_ptr<Store> store_;
    bool broken_ = false;
  };

  // A connection of its own for the caller; throws StoreError when none can be opened.
  Lease Take();

 private:
  void Return(std::unique_ptr<Store> store, bool broken);

  std::string url_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Store>> idle_;
};

}  // namespace smsd
