#pragma once
// The in-house array of pointers to heap items behind every named list of the program.
//
// Items stay in the order they were added (storage order, positions 0 to count - 1); beside them
// a sorted index orders them by key, so a lookup is a bisection and walking in key order needs no
// sorting. Equal keys keep the order they were added in. Extra indexes give further orderings,
// each through its own comparator. Item pointers never move on insert.
//
// The key order comes from an order class: Order::Compare(const T &, const T &) returns negative,
// 0 or positive. Key orders over an EString member also provide KeyText and CompareKeys, which
// FindByName uses. An item type either names its order as the second template argument or
// specialises SortedPtrOrder.
#include "Ostravo/EString.h"

#include <cstdint>
#include <vector>

enum SortedPtrArrayFlag : uint8_t
{
    SortedPtrOwnsItems = 1,        // removed and cleared items are deleted
    SortedPtrKeepSorted = 2,       // keep the sorted index
    SortedPtrRejectDuplicates = 8, // Add refuses an item whose key is held already
};

// Byte-exact order of strings by their text.
struct EStringExactOrder
{
    static const char *KeyText(const EString &item) { return item.m_text; }
    static int CompareKeys(const char *a, const char *b) { return CompareKeyText(a, b, true); }
    static int Compare(const EString &a, const EString &b) { return CompareKeys(a.m_text, b.m_text); }
};

// Order of items by one of their EString members, byte-exact or ignoring ASCII case.
template <class T, EString T::*Key, bool Exact> struct EStringMemberOrder
{
    static const char *KeyText(const T &item) { return (item.*Key).m_text; }
    static int CompareKeys(const char *a, const char *b) { return CompareKeyText(a, b, Exact); }
    static int Compare(const T &a, const T &b) { return CompareKeys(KeyText(a), KeyText(b)); }
};
template <class T, EString T::*Key> using ExactNameOrder = EStringMemberOrder<T, Key, true>;
template <class T, EString T::*Key> using NoCaseNameOrder = EStringMemberOrder<T, Key, false>;

// The order an item type sorts by unless the array names another. Specialise for item types.
template <class T> struct SortedPtrOrder;
template <> struct SortedPtrOrder<EString> : EStringExactOrder
{
};

template <class T, class Order = SortedPtrOrder<T>> class SortedPtrArray
{
  public:
    // Three-way comparison of an extra index.
    using IndexComparator = int (*)(const T *a, const T *b);

    explicit SortedPtrArray(uint8_t flags = SortedPtrOwnsItems | SortedPtrKeepSorted, int32_t growStep = 0)
        : m_growStep(growStep), m_flags(flags)
    {
    }
    ~SortedPtrArray() { RemoveAll(true); }
    SortedPtrArray(const SortedPtrArray &) = delete;
    SortedPtrArray &operator=(const SortedPtrArray &) = delete;

    int32_t GetCount() const { return m_count; }
    int32_t GetCapacity() const { return m_capacity; }
    int32_t GetGrowStep() const { return m_growStep; }
    uint8_t GetFlags() const { return m_flags; }
    bool KeepsSortedIndex() const { return (m_flags & SortedPtrKeepSorted) != 0; }

    // Item at a storage position (the order of adding); null out of range.
    T *GetAt(int32_t position) const
    {
        return position >= 0 && position < m_count ? m_items[position] : nullptr;
    }
    // Item at a position in key order; null out of range or without a sorted index.
    T *GetSortedAt(int32_t position) const
    {
        int32_t storage = GetSortedIndex(position);
        return storage >= 0 ? m_items[storage] : nullptr;
    }
    // Storage position of the item at a position in key order; -1 out of range.
    int32_t GetSortedIndex(int32_t position) const
    {
        if (!KeepsSortedIndex() || position < 0 || position >= m_count)
            return -1;
        return m_sorted[position];
    }

    // Makes room for n items. Returns 1.
    int Grow(int32_t n)
    {
        if (n < m_capacity)
            return 1;
        int32_t step = m_growStep > 0 ? m_growStep : (m_capacity > 0 ? m_capacity : 1);
        int32_t capacity = m_capacity + step;
        if (capacity < n)
            capacity = n;
        m_items.resize(capacity, nullptr);
        if (KeepsSortedIndex())
            m_sorted.resize(capacity, 0);
        for (auto &index : m_extraIndexes)
            index.resize(capacity, 0);
        m_capacity = capacity;
        return 1;
    }

    // Position in the sorted index at which item goes: behind every held item whose key is not
    // greater. found tells whether an item with an equal key is held (the one just before the
    // result). 0 with found clear without a sorted index or items.
    int32_t FindInsertPos(const T *item, bool &found) const
    {
        found = false;
        if (!KeepsSortedIndex() || m_count == 0)
            return 0;
        return FindPosition(m_sorted, item, found,
                            [](const T *a, const T *b) { return Order::Compare(*a, *b); });
    }

    // The same for extra index number index, through its comparator; 0 for an index number out of
    // range or an empty array.
    int32_t FindInsertPosInIndex(int32_t index, const T *item, bool &found) const
    {
        found = false;
        if (index < 0 || index >= GetExtraIndexCount() || m_count == 0)
            return 0;
        return FindPosition(m_extraIndexes[index], item, found, m_comparators[index]);
    }

    // Stores item in the next slot and files it into the sorted index and every extra index.
    // With SortedPtrRejectDuplicates and an equal key held, returns 0 and the caller keeps item;
    // a null item is refused too.
    int Add(T *item)
    {
        if (item == nullptr)
            return 0;
        Grow(m_count + 1);
        m_items[m_count] = item;
        if (KeepsSortedIndex()) {
            bool found = false;
            int32_t position = FindInsertPos(item, found);
            if (found && (m_flags & SortedPtrRejectDuplicates) != 0) {
                m_items[m_count] = nullptr;
                return 0;
            }
            InsertPosition(m_sorted, position);
        }
        for (int32_t index = 0; index < GetExtraIndexCount(); ++index) {
            bool found = false;
            InsertPosition(m_extraIndexes[index], FindInsertPosInIndex(index, item, found));
        }
        ++m_count;
        return 1;
    }

    // 0 when an item with an equal key is held (the caller keeps item); otherwise Add.
    int AddUnique(T *item)
    {
        if (item == nullptr)
            return 0;
        if (KeepsSortedIndex()) {
            bool found = false;
            FindInsertPos(item, found);
            if (found)
                return 0;
        } else {
            for (int32_t i = 0; i < m_count; ++i)
                if (Order::Compare(*item, *m_items[i]) == 0)
                    return 0;
        }
        return Add(item);
    }

    // Removes the item at a storage position (deleting it when owned) and renumbers the positions
    // behind it in every index; 0 for a position out of range.
    int RemoveAt(int32_t position)
    {
        if (position < 0 || position >= m_count)
            return 0;
        if ((m_flags & SortedPtrOwnsItems) != 0)
            delete m_items[position];
        for (int32_t i = position; i + 1 < m_count; ++i)
            m_items[i] = m_items[i + 1];
        if (KeepsSortedIndex())
            DropPosition(m_sorted, position);
        for (auto &index : m_extraIndexes)
            DropPosition(index, position);
        --m_count;
        m_items[m_count] = nullptr;
        return 1;
    }

    // Deletes owned items and frees the arrays (capacity and count 0). Extra indexes are emptied;
    // with alsoIndexes they are unregistered as well.
    void RemoveAll(bool alsoIndexes)
    {
        if ((m_flags & SortedPtrOwnsItems) != 0)
            for (int32_t i = 0; i < m_count; ++i)
                delete m_items[i];
        std::vector<T *>().swap(m_items);
        std::vector<int32_t>().swap(m_sorted);
        m_capacity = 0;
        m_count = 0;
        for (auto &index : m_extraIndexes)
            std::vector<int32_t>().swap(index);
        if (alsoIndexes) {
            m_extraIndexes.clear();
            m_comparators.clear();
        }
    }

    // Empties the array, keeping the registered extra indexes. Returns 1.
    int Reset()
    {
        RemoveAll(false);
        return 1;
    }

    // The item whose key text equals key (the last one added among equal keys); null when none.
    const T *FindByName(const char *key) const { return FindKey(key); }
    T *FindByName(const char *key) { return FindKey(key); }

    // Registers a further ordering and files the held items into it in storage order; returns its
    // index number, or -1 for a null comparator.
    int32_t AddExtraIndex(IndexComparator compare)
    {
        if (compare == nullptr)
            return -1;
        m_comparators.push_back(compare);
        m_extraIndexes.emplace_back(m_capacity, 0);
        int32_t index = GetExtraIndexCount() - 1;
        int32_t held = m_count;
        for (m_count = 0; m_count < held;) {
            bool found = false;
            InsertPosition(m_extraIndexes[index], FindInsertPosInIndex(index, m_items[m_count], found));
            ++m_count;
        }
        return index;
    }
    int32_t GetExtraIndexCount() const { return static_cast<int32_t>(m_comparators.size()); }
    // Item at a position in the order of an extra index; null out of range.
    T *GetIndexAt(int32_t index, int32_t position) const
    {
        if (index < 0 || index >= GetExtraIndexCount() || position < 0 || position >= m_count)
            return nullptr;
        return m_items[m_extraIndexes[index][position]];
    }

  private:
    // Upper bound of item in an index through compare: a short walk for few items, otherwise a
    // bisection down to at most four entries and a walk of those.
    template <class Compare>
    int32_t FindPosition(const std::vector<int32_t> &index, const T *item, bool &found, Compare compare) const
    {
        const T *last = m_items[index[m_count - 1]];
        int c = compare(item, last);
        if (c >= 0) {
            found = c == 0;
            return m_count;
        }
        int32_t low = 0;
        int32_t high = m_count - 2;
        if (m_count > 5) {
            high = m_count - 1;
            int32_t middle = m_count / 2;
            while (high - low > 3) {
                if (compare(item, m_items[index[middle]]) < 0)
                    high = middle - 1;
                else
                    low = middle + 1;
                middle = low + (high - low) / 2;
            }
        }
        int32_t result = high + 1;
        for (int32_t p = low; p <= high; ++p) {
            int cp = compare(item, m_items[index[p]]);
            if (cp < 0) {
                result = p;
                break;
            }
            if (cp == 0)
                found = true;
        }
        // The bisection may step over an equal key; the entry just before the result is the last
        // one that is not greater.
        if (!found && result > 0)
            found = compare(item, m_items[index[result - 1]]) == 0;
        return result;
    }

    // Files storage position m_count at position of index.
    void InsertPosition(std::vector<int32_t> &index, int32_t position)
    {
        for (int32_t i = m_count; i > position; --i)
            index[i] = index[i - 1];
        index[position] = m_count;
    }

    // Removes storage position from index and renumbers the positions behind it.
    void DropPosition(std::vector<int32_t> &index, int32_t position)
    {
        int32_t out = 0;
        for (int32_t i = 0; i < m_count; ++i) {
            int32_t entry = index[i];
            if (entry == position)
                continue;
            index[out++] = entry > position ? entry - 1 : entry;
        }
        index[m_count - 1] = 0;
    }

    T *FindKey(const char *key) const
    {
        if (KeepsSortedIndex()) {
            // Upper bound of the key; the entry before it is the last equal one, if any.
            int32_t low = 0;
            int32_t high = m_count;
            while (low < high) {
                int32_t middle = low + (high - low) / 2;
                if (Order::CompareKeys(key, Order::KeyText(*m_items[m_sorted[middle]])) < 0)
                    high = middle;
                else
                    low = middle + 1;
            }
            if (low > 0) {
                T *item = m_items[m_sorted[low - 1]];
                if (Order::CompareKeys(key, Order::KeyText(*item)) == 0)
                    return item;
            }
            return nullptr;
        }
        for (int32_t i = m_count - 1; i >= 0; --i)
            if (Order::CompareKeys(key, Order::KeyText(*m_items[i])) == 0)
                return m_items[i];
        return nullptr;
    }

    int32_t m_growStep = 0;
    int32_t m_capacity = 0;
    int32_t m_count = 0;
    std::vector<T *> m_items;      // capacity slots, storage order; slots from count on are null
    std::vector<int32_t> m_sorted; // storage positions in key order (when kept)
    std::vector<std::vector<int32_t>> m_extraIndexes;
    std::vector<IndexComparator> m_comparators;
    uint8_t m_flags = 0;
};
