#pragma once
// Open handles of one kind (registry keys, access tokens): a number handed to the caller and
// the object it stands for. Numbers are never reused within a table, so a stale handle is
// recognised as invalid instead of reaching another object.

#include <cstdint>
#include <map>

namespace orvo::winapi {

template <class Object> class HandleTable {
  public:
    explicit HandleTable(std::uintptr_t first) : next_(first) {}

    std::uintptr_t open(Object object) {
        std::uintptr_t handle = next_;
        next_ += 4;
        objects_.emplace(handle, std::move(object));
        return handle;
    }
    Object* find(std::uintptr_t handle) {
        auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : &it->second;
    }
    bool close(std::uintptr_t handle) { return objects_.erase(handle) == 1; }
    std::size_t open_count() const { return objects_.size(); }

  private:
    std::uintptr_t next_;
    std::map<std::uintptr_t, Object> objects_;
};

} // namespace orvo::winapi
