#include "host/Tav_List.h"

void Tav_List::SetItem(void* item, int index)
{
    if (index == GetItemCount())
        items_.push_back(item);
    else if (index >= 0 && index < GetItemCount())
        items_[static_cast<size_t>(index)] = item;
}

void Tav_List::RemoveItem(int index)
{
    if (index >= 0 && index < GetItemCount())
        items_.erase(items_.begin() + index);
}
