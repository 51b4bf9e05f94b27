#include "Ostravo/SortedPtrArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// An item that counts its live instances, so that tests see which items the array deleted.
struct Item
{
    EString name;
    int id = 0;
    int size = 0;
    static int live;
    Item(const char *n, int i, int s = 0) : name(n), id(i), size(s) { ++live; }
    ~Item() { --live; }
};
int Item::live = 0;

using ExactItems = SortedPtrArray<Item, ExactNameOrder<Item, &Item::name>>;
using NoCaseItems = SortedPtrArray<Item, NoCaseNameOrder<Item, &Item::name>>;

int BySize(const Item *a, const Item *b)
{
    return (a->size > b->size) - (a->size < b->size);
}

// Numeric keys through an order of the item type's own.
struct Job
{
    int32_t handle;
};
} // namespace

template <> struct SortedPtrOrder<Job>
{
    static int Compare(const Job &a, const Job &b) { return (a.handle > b.handle) - (a.handle < b.handle); }
};

namespace {

class SortedPtrArrayTest : public ::testing::Test
{
  protected:
    void SetUp() override { Item::live = 0; }
    void TearDown() override { EXPECT_EQ(Item::live, 0) << "items leaked or deleted twice"; }
};

template <class Array> std::vector<std::string> StorageOrder(const Array &array)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < array.GetCount(); ++i)
        names.push_back(array.GetAt(i)->name.m_text);
    return names;
}

template <class Array> std::vector<int> SortedIds(const Array &array)
{
    std::vector<int> ids;
    for (int32_t i = 0; i < array.GetCount(); ++i)
        ids.push_back(array.GetSortedAt(i)->id);
    return ids;
}

std::vector<std::string> SortedTexts(const SortedPtrArray<EString> &array)
{
    std::vector<std::string> texts;
    for (int32_t i = 0; i < array.GetCount(); ++i)
        texts.push_back(array.GetSortedAt(i)->m_text);
    return texts;
}

TEST_F(SortedPtrArrayTest, KeepsStorageOrderBesideKeyOrder)
{
    SortedPtrArray<EString> list;
    for (const char *text : {"beta", "alpha", "gamma"})
        EXPECT_EQ(list.Add(new EString(text)), 1);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_STREQ(list.GetAt(0)->m_text, "beta");
    EXPECT_STREQ(list.GetAt(1)->m_text, "alpha");
    EXPECT_STREQ(list.GetAt(2)->m_text, "gamma");
    EXPECT_EQ(SortedTexts(list), (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_EQ(list.GetSortedIndex(0), 1);
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetSortedAt(-1), nullptr);
}

TEST_F(SortedPtrArrayTest, ByteExactAndCaseInsensitiveOrders)
{
    // Signed bytes: 0x80 and above sort before ASCII; upper case before '_' before lower case;
    // a prefix before the longer text.
    SortedPtrArray<EString> exact;
    for (const char *text : {"abc", "ROI_2", "a", "ABC", "\xe9t\xe9", "ROIA", "B", "ab"})
        exact.Add(new EString(text));
    EXPECT_EQ(SortedTexts(exact),
              (std::vector<std::string>{"\xe9t\xe9", "ABC", "B", "ROIA", "ROI_2", "a", "ab", "abc"}));

    NoCaseItems noCase;
    noCase.Add(new Item("abc", 1));
    Item *upper = new Item("ABC", 2);
    EXPECT_EQ(noCase.AddUnique(upper), 0);
    EXPECT_EQ(noCase.GetCount(), 1);
    delete upper;
    EXPECT_EQ(noCase.Add(new Item("ABD", 3)), 1);
    EXPECT_EQ(noCase.Add(new Item("abb", 4)), 1);
    EXPECT_EQ(SortedIds(noCase), (std::vector<int>{4, 1, 3}));
}

TEST_F(SortedPtrArrayTest, GrowthWithDoublingAndWithFixedStep)
{
    struct Case
    {
        int32_t step;
        std::vector<int32_t> capacityAfterEachAdd;
    } cases[] = {
        {0, {1, 2, 4, 8, 8, 8, 8, 16, 16}},
        {10, {10, 10, 10, 10, 10, 10, 10, 10, 10, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 30}},
        {3, {3, 3, 6, 6, 6, 9}},
    };
    for (const Case &c : cases) {
        SortedPtrArray<EString> list(SortedPtrOwnsItems | SortedPtrKeepSorted, c.step);
        EXPECT_EQ(list.GetCapacity(), 0);
        for (size_t i = 0; i < c.capacityAfterEachAdd.size(); ++i) {
            list.Add(new EString(std::to_string(i).c_str()));
            EXPECT_EQ(list.GetCapacity(), c.capacityAfterEachAdd[i]) << "step " << c.step << " add " << i + 1;
            EXPECT_LE(list.GetCount(), list.GetCapacity());
        }
    }
    // A request beyond one step grows by exactly what is missing; one below the capacity does nothing.
    SortedPtrArray<EString> list(SortedPtrOwnsItems | SortedPtrKeepSorted, 10);
    EXPECT_EQ(list.Grow(25), 1);
    EXPECT_EQ(list.GetCapacity(), 25);
    list.Grow(7);
    EXPECT_EQ(list.GetCapacity(), 25);
    list.Grow(25);
    EXPECT_EQ(list.GetCapacity(), 35);
}

TEST_F(SortedPtrArrayTest, EqualKeysKeepTheirOrderOfAdding)
{
    // Scrambled keys from a small set, enough items for the bisection path.
    const char *keys[] = {"m", "c", "x", "c", "m", "a", "x", "c", "m",
                          "m", "a", "z", "c", "b", "m", "x", "a", "c"};
    ExactItems list;
    std::vector<std::pair<std::string, int>> model;
    int id = 0;
    for (const char *key : keys) {
        ASSERT_EQ(list.Add(new Item(key, id)), 1);
        model.emplace_back(key, id);
        ++id;
        auto expected = model;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<int> expectedIds;
        for (const auto &entry : expected)
            expectedIds.push_back(entry.second);
        ASSERT_EQ(SortedIds(list), expectedIds) << "after " << id << " items";
    }
}

TEST_F(SortedPtrArrayTest, FindInsertPosReportsEveryHeldKeyForAllSizes)
{
    // Lists of 1 to 14 items with even keys; probe every key, held (even) and absent (odd).
    for (int size = 1; size <= 14; ++size) {
        SortedPtrArray<EString> list;
        for (int i = size - 1; i >= 0; --i) { // reverse order, so that no add is the cheap append
            char key[16];
            std::snprintf(key, sizeof key, "k%02d", 2 * i);
            list.Add(new EString(key));
        }
        for (int probe = -1; probe <= 2 * size; ++probe) {
            char key[16];
            std::snprintf(key, sizeof key, "k%02d", probe < 0 ? 0 : probe);
            EString item(probe < 0 ? "a" : key); // "a" sorts before every key
            bool found = true;
            int32_t position = list.FindInsertPos(&item, found);
            bool held = probe >= 0 && probe % 2 == 0 && probe < 2 * size;
            // Behind every held key that is not greater: keys 0, 2, ... up to the probe.
            int32_t expected = probe < 0 ? 0 : std::min(probe / 2 + 1, size);
            EXPECT_EQ(found, held) << "size " << size << " probe " << item.m_text;
            EXPECT_EQ(position, expected) << "size " << size << " probe " << item.m_text;
        }
    }
    SortedPtrArray<EString> empty;
    EString item("x");
    bool found = true;
    EXPECT_EQ(empty.FindInsertPos(&item, found), 0);
    EXPECT_FALSE(found);
}

TEST_F(SortedPtrArrayTest, FirstKeyFoundInLongerList)
{
    SortedPtrArray<EString> list;
    for (const char *text : {"b", "c", "d", "e", "f", "g", "h", "a"})
        list.Add(new EString(text));
    EString first("a");
    bool found = false;
    EXPECT_EQ(list.FindInsertPos(&first, found), 1);
    EXPECT_TRUE(found);
}

TEST_F(SortedPtrArrayTest, DuplicatesRefusedOnlyWithTheFlag)
{
    ExactItems refusing(SortedPtrOwnsItems | SortedPtrKeepSorted | SortedPtrRejectDuplicates);
    refusing.Add(new Item("same", 1));
    refusing.Add(new Item("other", 2));
    Item *duplicate = new Item("same", 3);
    EXPECT_EQ(refusing.Add(duplicate), 0);
    EXPECT_EQ(refusing.GetCount(), 2);
    EXPECT_EQ(refusing.GetAt(2), nullptr);
    EXPECT_EQ(refusing.FindByName("same")->id, 1);
    delete duplicate; // the caller keeps a refused item

    ExactItems accepting;
    accepting.Add(new Item("same", 1));
    accepting.Add(new Item("other", 2));
    EXPECT_EQ(accepting.Add(new Item("same", 3)), 1);
    EXPECT_EQ(SortedIds(accepting), (std::vector<int>{2, 1, 3}));

    // AddUnique refuses without the flag, through the sorted index or by a scan without one.
    for (uint8_t flags : {uint8_t(SortedPtrOwnsItems | SortedPtrKeepSorted), uint8_t(SortedPtrOwnsItems)}) {
        ExactItems list(flags);
        EXPECT_EQ(list.AddUnique(new Item("x", 1)), 1);
        EXPECT_EQ(list.AddUnique(new Item("y", 2)), 1);
        Item *again = new Item("x", 3);
        EXPECT_EQ(list.AddUnique(again), 0) << "flags " << int(flags);
        EXPECT_EQ(list.GetCount(), 2);
        delete again;
    }
}

TEST_F(SortedPtrArrayTest, RemoveAtRenumbersTheIndexAndDeletesOwnedItems)
{
    ExactItems list;
    list.Add(new Item("b", 0));
    list.Add(new Item("c", 1));
    list.Add(new Item("a", 2));
    ASSERT_EQ(Item::live, 3);
    EXPECT_EQ(list.RemoveAt(3), 0);
    EXPECT_EQ(list.RemoveAt(-1), 0);
    EXPECT_EQ(list.RemoveAt(0), 1);
    EXPECT_EQ(Item::live, 2);
    EXPECT_EQ(StorageOrder(list), (std::vector<std::string>{"c", "a"}));
    // Sorted order a, c: positions 1 then 0.
    EXPECT_EQ(list.GetSortedIndex(0), 1);
    EXPECT_EQ(list.GetSortedIndex(1), 0);
    EXPECT_EQ(list.GetAt(2), nullptr);

    // A list that does not own its items leaves them alone.
    Item kept("k", 9);
    ExactItems borrowed(SortedPtrKeepSorted);
    borrowed.Add(&kept);
    EXPECT_EQ(borrowed.RemoveAt(0), 1);
    EXPECT_EQ(Item::live, 3);
    borrowed.Add(&kept);
}

TEST_F(SortedPtrArrayTest, RemoveAllResetAndDestructorDeleteOwnedItems)
{
    {
        ExactItems list;
        list.AddExtraIndex(BySize);
        for (int i = 0; i < 5; ++i)
            list.Add(new Item("n", i, 5 - i));
        list.RemoveAll(false);
        EXPECT_EQ(Item::live, 0);
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_EQ(list.GetCapacity(), 0);
        EXPECT_EQ(list.GetExtraIndexCount(), 1);

        // Still usable, with its extra index.
        list.Add(new Item("a", 1, 2));
        list.Add(new Item("b", 2, 1));
        EXPECT_EQ(list.GetIndexAt(0, 0)->id, 2);
        EXPECT_EQ(list.Reset(), 1);
        EXPECT_EQ(Item::live, 0);
        EXPECT_EQ(list.GetExtraIndexCount(), 1);

        list.Add(new Item("c", 3));
        list.RemoveAll(true);
        EXPECT_EQ(list.GetExtraIndexCount(), 0);

        for (int i = 0; i < 3; ++i)
            list.Add(new Item("d", i));
    }
    // The destructor deleted the last three.
    EXPECT_EQ(Item::live, 0);
}

TEST_F(SortedPtrArrayTest, FindByNameGivesTheLastAddedOfEqualNames)
{
    for (uint8_t flags : {uint8_t(SortedPtrOwnsItems | SortedPtrKeepSorted), uint8_t(SortedPtrOwnsItems)}) {
        ExactItems list(flags);
        const char *names[] = {"Channel", "roi", "Magnet", "Channel", "ROI", "zz", "Channel", "a"};
        for (int i = 0; i < 8; ++i)
            list.Add(new Item(names[i], i));
        ASSERT_NE(list.FindByName("Channel"), nullptr);
        EXPECT_EQ(list.FindByName("Channel")->id, 6) << "flags " << int(flags);
        EXPECT_EQ(list.FindByName("ROI")->id, 4);
        EXPECT_EQ(list.FindByName("roi")->id, 1);
        EXPECT_EQ(list.FindByName("Chan"), nullptr);
        EXPECT_EQ(list.FindByName("channel"), nullptr);
        EXPECT_EQ(list.FindByName(""), nullptr);
    }
    NoCaseItems noCase;
    noCase.Add(new Item("Image1.PNG", 1));
    EXPECT_EQ(noCase.FindByName("image1.png")->id, 1);
}

TEST_F(SortedPtrArrayTest, NumericOrderOfItsOwn)
{
    SortedPtrArray<Job> jobs(SortedPtrOwnsItems | SortedPtrKeepSorted | SortedPtrRejectDuplicates);
    for (int32_t handle : {3, 1, 12, 2})
        EXPECT_EQ(jobs.Add(new Job{handle}), 1);
    Job *again = new Job{12};
    EXPECT_EQ(jobs.Add(again), 0);
    delete again;
    std::vector<int32_t> handles;
    for (int32_t i = 0; i < jobs.GetCount(); ++i)
        handles.push_back(jobs.GetSortedAt(i)->handle);
    EXPECT_EQ(handles, (std::vector<int32_t>{1, 2, 3, 12})); // numbers, not texts
}

TEST_F(SortedPtrArrayTest, ExtraIndexesFollowAddAndRemove)
{
    ExactItems list;
    list.Add(new Item("c", 0, 30));
    list.Add(new Item("a", 1, 10));
    // Registered on a filled list: the held items are filed in.
    EXPECT_EQ(list.AddExtraIndex(BySize), 0);
    EXPECT_EQ(list.AddExtraIndex(nullptr), -1);
    list.Add(new Item("b", 2, 20));
    list.Add(new Item("d", 3, 10)); // equal size: behind the earlier one

    auto bySize = [&list]() {
        std::vector<int> ids;
        for (int32_t i = 0; i < list.GetCount(); ++i)
            ids.push_back(list.GetIndexAt(0, i)->id);
        return ids;
    };
    EXPECT_EQ(bySize(), (std::vector<int>{1, 3, 2, 0}));
    EXPECT_EQ(SortedIds(list), (std::vector<int>{1, 2, 0, 3}));

    Item probe("x", 99, 20);
    bool found = false;
    EXPECT_EQ(list.FindInsertPosInIndex(0, &probe, found), 3);
    EXPECT_TRUE(found);
    EXPECT_EQ(list.FindInsertPosInIndex(1, &probe, found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(list.GetIndexAt(1, 0), nullptr);

    list.RemoveAt(1); // "a", size 10
    EXPECT_EQ(bySize(), (std::vector<int>{3, 2, 0}));
    EXPECT_EQ(SortedIds(list), (std::vector<int>{2, 0, 3}));
}

TEST_F(SortedPtrArrayTest, RandomAddsAndRemovesMatchAModel)
{
    std::mt19937 random(12345);
    ExactItems list(SortedPtrOwnsItems | SortedPtrKeepSorted, 0);
    list.AddExtraIndex(BySize);
    struct Entry
    {
        std::string name;
        int id;
        int size;
    };
    std::vector<Entry> model; // storage order
    int nextId = 0;
    for (int step = 0; step < 600; ++step) {
        if (model.empty() || random() % 3 != 0) {
            std::string name(1, static_cast<char>('a' + random() % 6));
            int size = static_cast<int>(random() % 5);
            list.Add(new Item(name.c_str(), nextId, size));
            model.push_back({name, nextId, size});
            ++nextId;
        } else {
            size_t position = random() % model.size();
            ASSERT_EQ(list.RemoveAt(static_cast<int32_t>(position)), 1);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(position));
        }
        ASSERT_EQ(list.GetCount(), static_cast<int32_t>(model.size()));
        ASSERT_EQ(Item::live, static_cast<int>(model.size()));
        // Ids grow with the order of adding, so a stable sort by key gives the expected orders.
        auto byName = model;
        std::stable_sort(byName.begin(), byName.end(),
                         [](const Entry &a, const Entry &b) { return a.name < b.name; });
        auto bySize = model;
        std::stable_sort(bySize.begin(), bySize.end(),
                         [](const Entry &a, const Entry &b) { return a.size < b.size; });
        for (size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(list.GetAt(static_cast<int32_t>(i))->id, model[i].id) << "step " << step;
            ASSERT_EQ(list.GetSortedAt(static_cast<int32_t>(i))->id, byName[i].id) << "step " << step;
            ASSERT_EQ(list.GetIndexAt(0, static_cast<int32_t>(i))->id, bySize[i].id) << "step " << step;
        }
    }
}

} // namespace
