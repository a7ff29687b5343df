#include "host/Tav_List.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(TavList, GetItemIsNullWhereThereIsNoItem)
{
    Tav_List list;
    EXPECT_EQ(list.GetItem(0), nullptr);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    int a = 0;
    EXPECT_EQ(list.AddItem(&a), 0);
    EXPECT_EQ(list.GetItem(0), &a);
    EXPECT_EQ(list.GetItem(1), nullptr);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    EXPECT_EQ(list.GetItem(1 << 30), nullptr);
}

TEST(TavList, SetItemAtCountAppendsAndFurtherOutDoesNothing)
{
    Tav_List list;
    int a = 0, b = 0, c = 0;
    list.SetItem(&a, 0);
    ASSERT_EQ(list.GetItemCount(), 1);
    EXPECT_EQ(list.GetItem(0), &a);
    list.SetItem(&b, 2); // past the count: ignored
    list.SetItem(&b, -1);
    EXPECT_EQ(list.GetItemCount(), 1);
    list.SetItem(&b, 1);
    list.SetItem(&c, 0); // replaces
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItem(0), &c);
    EXPECT_EQ(list.GetItem(1), &b);
}

TEST(TavList, RemoveItemMovesLaterItemsDownAndIgnoresOutOfRange)
{
    Tav_List list;
    int v[4] = {};
    for (int& x : v)
        list.AddItem(&x);
    list.RemoveItem(4);
    list.RemoveItem(-1);
    EXPECT_EQ(list.GetItemCount(), 4);
    list.RemoveItem(1);
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItem(0), &v[0]);
    EXPECT_EQ(list.GetItem(1), &v[2]);
    EXPECT_EQ(list.GetItem(2), &v[3]);
}

TEST(TavList, NeverFreesItsItems)
{
    // Items on the stack: a list that freed them would crash (or be caught by the sanitizers).
    int a = 1, b = 2;
    {
        Tav_List list;
        list.AddItem(&a);
        list.AddItem(&b);
        list.RemoveItem(0);
        list.ReleaseItems();
        EXPECT_EQ(list.GetItemCount(), 0);
        list.AddItem(&a);
    }
    EXPECT_EQ(a + b, 3);
    // A heap item outlives the list and is freed by its owner.
    auto* owned = new int(5);
    {
        Tav_List list;
        list.AddItem(owned);
    }
    EXPECT_EQ(*owned, 5);
    delete owned;
}

TEST(TavList, CopiesAreIndependentShallowLists)
{
    int a = 0, b = 0;
    Tav_List original;
    original.AddItem(&a);
    Tav_List copy = original;
    original.AddItem(&b);
    original.SetItem(&b, 0);
    ASSERT_EQ(copy.GetItemCount(), 1);
    EXPECT_EQ(copy.GetItem(0), &a);
    copy = original;
    EXPECT_EQ(copy.GetItemCount(), 2);
    EXPECT_EQ(copy.GetItem(0), &b);
}

TEST(TavList, BehavesLikeAVectorOverRandomOperations)
{
    std::mt19937 rng(12);
    std::uniform_int_distribution<int> op(0, 3), index(-2, 12);
    int storage[16] = {};
    Tav_List list;
    std::vector<void*> model;
    for (int step = 0; step < 5000; ++step) {
        const int i = index(rng);
        void* item = &storage[step % 16];
        const int size = static_cast<int>(model.size());
        switch (op(rng)) {
        case 0:
            ASSERT_EQ(list.AddItem(item), size);
            model.push_back(item);
            break;
        case 1:
            list.SetItem(item, i);
            if (i == size)
                model.push_back(item);
            else if (i >= 0 && i < size)
                model[static_cast<size_t>(i)] = item;
            break;
        case 2:
            list.RemoveItem(i);
            if (i >= 0 && i < size)
                model.erase(model.begin() + i);
            break;
        default:
            ASSERT_EQ(list.GetItem(i), i >= 0 && i < size ? model[static_cast<size_t>(i)] : nullptr);
        }
        ASSERT_EQ(list.GetItemCount(), static_cast<int>(model.size()));
        if (model.size() > 10 && step % 97 == 0) {
            list.ReleaseItems();
            model.clear();
        }
    }
}

} // namespace
