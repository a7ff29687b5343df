#pragma once
// The host's list of untyped pointers. It never frees its items: callers free them before ReleaseItems.

#include <cstddef>
#include <vector>

class Tav_List {
public:
    Tav_List() = default;
    Tav_List(const Tav_List&) = default;
    Tav_List& operator=(const Tav_List&) = default;
    virtual ~Tav_List() = default;

    /// Appends; returns the new item's index.
    int AddItem(void* item);
    /// The item at index, or null where there is none (negative or past the end).
    void* GetItem(int index) const;
    /// Replaces the item at index; index == count appends; any other index out of range does nothing.
    void SetItem(void* item, int index);
    int GetItemCount() const { return static_cast<int>(items_.size()); }
    /// Removes the entry at index (later items move down); out of range does nothing.
    void RemoveItem(int index);
    /// Empties the list without freeing anything.
    void ReleaseItems() { items_.clear(); }

private:
    std::vector<void*> items_;
};
