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

    // Inline: colliders add and read one item per candidate triangle, many times a frame.
    /// Appends; returns the new item's index.
    int AddItem(void* item)
    {
        items_.push_back(item);
        return static_cast<int>(items_.size()) - 1;
    }
    /// The item at index, or null where there is none (negative or past the end).
    void* GetItem(int index) const
    {
        return index >= 0 && index < GetItemCount() ? items_[static_cast<size_t>(index)] : nullptr;
    }
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
