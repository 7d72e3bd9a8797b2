// SPDX-License-Identifier: Apache-2.0
// The growable array behind every list. It never throws: growth that cannot be satisfied
// empties the array and returns false, and the caller decides what that means. Elements
// move by bitwise copy, so every element type must survive being relocated by memcpy.
#pragma once

#include "support/LargeBlocks.h"
#include "support/Messages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

// Fields:
//   data           storage for `capacity` elements; null exactly when capacity is 0
//   count          live elements, constructed, at the front of the storage
//   capacity       elements the storage holds; it only grows until destruction
//   growthDivisor  growth adds count / growthDivisor (at least 8) spare slots
// The layout (virtual table, data, count, capacity, growthDivisor) is shared with the
// plug-in modules.
template <typename T, typename S = int32_t>
class iArray {
    static_assert(std::is_integral<S>::value, "the size type is an integer");

public:
    explicit iArray(S initialCapacity = 0, S divisor = 4)
        : growthDivisor(divisor > 0 ? divisor : 4) {
        if (initialCapacity > 0) {
            data = allocate(static_cast<uint64_t>(initialCapacity));
            capacity = data != nullptr ? initialCapacity : 0;
        }
    }

    virtual ~iArray() {
        destroyFrom(0);
        ::operator delete(static_cast<void*>(data));
        data = nullptr;
        capacity = 0;
    }

    // Second slot of the shared virtual table; no caller depends on it beyond the 0.
    virtual int Reserved() const { return 0; }

    iArray(const iArray&) = delete;
    iArray& operator=(const iArray&) = delete;

    // Resizes to newCount, copying *fill into new elements (default-initialised without
    // it). exact asks for storage of exactly newCount when the array has to grow.
    bool SetSize(S newCount, const T* fill = nullptr, bool exact = false) {
        if (newCount < 0) {
            logMessage("[ERROR] iArray SetSize() overflow!\n");
            return false;
        }
        if (newCount < count) {
            destroyFrom(newCount);
            return true;
        }
        if (newCount == count) {
            return true;
        }
        // A fill value in the array's own storage must stay readable until the new
        // elements are built from it, so the old storage goes only after that.
        T* released = nullptr;
        if (newCount > capacity && !grow(newCount, exact, released)) {
            return false;
        }
        constructTail(newCount, fill);
        ::operator delete(static_cast<void*>(released));
        return true;
    }

    bool Append(const T& value) {
        if (owns(&value)) {
            const S index = static_cast<S>(&value - data);
            if (!SetSize(count + 1)) {
                return false;
            }
            data[count - 1] = data[index];
            return true;
        }
        if (!SetSize(count + 1)) {
            return false;
        }
        data[count - 1] = value;
        return true;
    }

    // Index of the first element equal to value, or -1.
    S Find(const T& value) const {
        for (S i = 0; i < count; ++i) {
            if (data[i] == value) {
                return i;
            }
        }
        return -1;
    }

    // Removes n elements from index. keepOrder closes the gap by shifting the tail down;
    // otherwise the last n elements fill it. The removed elements are destroyed exactly
    // once and moved ones never, so resize only documents that the count is lowered.
    bool Remove(S index, S n, bool keepOrder, bool resize) {
        (void)resize;
        if (index < 0 || n < 0 || index > count || n > count - index) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        for (S i = index; i < index + n; ++i) {
            data[i].~T();
        }
        const S tail = count - index - n;
        if (keepOrder || tail <= n) {
            std::memmove(static_cast<void*>(data + index),
                         static_cast<const void*>(data + index + n),
                         static_cast<size_t>(tail) * ElementBytes);
        } else {
            std::memcpy(static_cast<void*>(data + index),
                        static_cast<const void*>(data + count - n),
                        static_cast<size_t>(n) * ElementBytes);
        }
        count -= n;
        return true;
    }

    T& operator[](S index) { return data[index]; }
    const T& operator[](S index) const { return data[index]; }
    S Count() const { return count; }
    S Capacity() const { return capacity; }
    T* Data() { return data; }
    const T* Data() const { return data; }

private:
    // T is often a pointer, whose size is meant here.
    static constexpr size_t ElementBytes = sizeof(T); // NOLINT(bugprone-sizeof-expression)

    // Destroys the elements from index on, in ascending order, and lowers the count.
    void destroyFrom(S index) {
        for (S i = index; i < count; ++i) {
            data[i].~T();
        }
        if (index < count) {
            count = index;
        }
    }

    static T* allocate(uint64_t elements) {
        if (elements > std::numeric_limits<size_t>::max() / ElementBytes) {
            return nullptr;
        }
        T* const storage = static_cast<T*>(
            ::operator new(static_cast<size_t>(elements) * ElementBytes, std::nothrow));
        adviseLargeBlock(storage, elements * ElementBytes);
        return storage;
    }

    bool owns(const T* element) const {
        const auto address = reinterpret_cast<uintptr_t>(element);
        return data != nullptr && address >= reinterpret_cast<uintptr_t>(data) &&
               address < reinterpret_cast<uintptr_t>(data + capacity);
    }

    // Moves the elements into storage for newCount plus headroom and hands the old storage
    // to the caller to release. On failure the array is left empty, as documented.
    bool grow(S newCount, bool exact, T*& released) {
        uint64_t headroom = 0;
        if (!exact) {
            headroom = static_cast<uint64_t>(newCount) / static_cast<uint64_t>(growthDivisor);
            if (headroom < 8) {
                headroom = 8;
            }
        }
        const uint64_t wanted = static_cast<uint64_t>(newCount) + headroom;
        T* storage = wanted <= static_cast<uint64_t>(std::numeric_limits<S>::max())
                         ? allocate(wanted)
                         : nullptr;
        if (storage == nullptr) {
            ::operator delete(static_cast<void*>(data));
            data = nullptr;
            capacity = 0;
            count = 0;
            return false;
        }
        if (count > 0) {
            std::memcpy(static_cast<void*>(storage), static_cast<const void*>(data),
                        static_cast<size_t>(count) * ElementBytes);
        }
        released = data;
        data = storage;
        capacity = static_cast<S>(wanted);
        return true;
    }

    void constructTail(S newCount, const T* fill) {
        for (S i = count; i < newCount; ++i) {
            if (fill != nullptr) {
                new (static_cast<void*>(data + i)) T(*fill);
            } else {
                new (static_cast<void*>(data + i)) T;
            }
        }
        count = newCount;
    }

    T* data = nullptr;
    S count = 0;
    S capacity = 0;
    S growthDivisor = 4;
};

// The layout crosses into plug-in modules.
static_assert(sizeof(iArray<char>) == 32, "iArray<T, int32_t> layout");
static_assert(sizeof(iArray<char, int64_t>) == 40, "iArray<T, int64_t> layout");
