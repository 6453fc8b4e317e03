// An ordered index: keys kept sorted in an Array, found by binary search. Insertion reports running out of
// memory as false and leaves the index as it was.
#pragma once

#include "base/array.h"

#include <cstddef>
#include <utility>

template <typename Key, typename Value, typename Less>
class SortedIndex {
  public:
    struct Entry {
        Key key;
        Value value;
    };

    size_t size() const noexcept { return entries.size(); }
    Entry* begin() noexcept { return entries.begin(); }
    Entry* end() noexcept { return entries.end(); }

    // The value stored under `key`, or null.
    template <typename Lookup>
    Value* Find(const Lookup& key) noexcept {
        const size_t at = IndexOf(key);
        return at < entries.size() ? &entries[at].value : nullptr;
    }

    // Stores `value` under `key`, which must not be in the index yet.
    bool Insert(Key&& key, Value value) noexcept {
        const size_t at = LowerBound(key);
        return entries.Insert(at, Entry{std::move(key), std::move(value)});
    }

    template <typename Lookup>
    void Erase(const Lookup& key) noexcept {
        const size_t at = IndexOf(key);
        if (at < entries.size()) {
            entries.Erase(at);
        }
    }

  private:
    template <typename Lookup>
    size_t LowerBound(const Lookup& key) const noexcept {
        size_t low = 0;
        size_t high = entries.size();
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            if (Less()(entries[middle].key, key)) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }

    // Where `key` is stored, or size() when it is not.
    template <typename Lookup>
    size_t IndexOf(const Lookup& key) const noexcept {
        const size_t at = LowerBound(key);
        return at < entries.size() && !Less()(key, entries[at].key) ? at : entries.size();
    }

    Array<Entry> entries;
};
