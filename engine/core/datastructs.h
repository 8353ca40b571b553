// Fixed-capacity arrays and the named object pools every resource and scene object lives in.
#pragma once

#include "core/sys.h"
#include "core/utils.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace mirel
{

namespace detail
{
// Swaps the raw bytes of two objects of the same type without running any constructor or
// destructor, so owned pointers change hands instead of being copied and freed.
void SwapBytes(void* a, void* b, size_t size);
// Copies at most 63 characters and a terminator into a 64-byte name.
void CopyName(char (&dst)[64], const char* src);
} // namespace detail

template <typename T> class MiArray
{
  public:
    MiArray() = default;
    explicit MiArray(int32_t initialCapacity, bool canGrow = false) { Init(initialCapacity, canGrow); }
    ~MiArray() { delete[] data; }
    MiArray(const MiArray&) = delete;
    MiArray& operator=(const MiArray&) = delete;
    MiArray(MiArray&& other) noexcept
        : data(other.data), count(other.count), capacity(other.capacity), growable(other.growable)
    {
        other.data = nullptr;
        other.count = other.capacity = 0;
    }

    // Drops any previous content; every slot holds a default-constructed element.
    void Init(int32_t initialCapacity, bool canGrow = false)
    {
        delete[] data;
        capacity = initialCapacity > 0 ? initialCapacity : 0;
        data = capacity > 0 ? new T[static_cast<size_t>(capacity)]() : nullptr;
        count = 0;
        growable = canGrow;
    }

    void Push(const T& value)
    {
        if (!growable)
        {
            MIREL_ASSERT(count < capacity, 72, "MiArray is full and can't grow");
            if (count >= capacity) return;
        }
        else if (count + 1 >= capacity)
        {
            Grow();
        }
        data[count] = value;
        ++count;
    }

    T Pop()
    {
        MIREL_ASSERT(count >= 1, 99, "error on pop");
        if (count < 1) return T();
        --count;
        return data[count];
    }

    T& ElemAt(int32_t index)
    {
        if (index >= count || index < 0)
        {
            MIREL_ASSERT(false, 132, "ElemAt: %d %d", index, count);
            MIREL_ASSERT(false, 135, "error on ElemAt");
            // Out-of-range callers get a scratch element rather than someone else's memory.
            static T scratch;
            scratch.~T();
            new (&scratch) T();
            return scratch;
        }
        return data[index];
    }

    // Appends a freshly default-constructed element in place (no assignment needed).
    T* EmplaceDefault()
    {
        MIREL_ASSERT(count < capacity, 72, "MiArray is full and can't grow");
        if (count >= capacity) return nullptr;
        T* slot = &data[count];
        slot->~T();
        new (slot) T();
        ++count;
        return slot;
    }

    // Forgets the elements; their storage stays constructed.
    void Clear() { count = 0; }

    T* data = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    bool growable = false;

  private:
    void Grow()
    {
        const int32_t newCapacity = capacity > 0 ? capacity * 2 : 2;
        T* grown = new T[static_cast<size_t>(newCapacity)]();
        for (int32_t i = 0; i < count; ++i)
            grown[i] = std::move(data[i]);
        delete[] data;
        data = grown;
        capacity = newCapacity;
    }
};

// Growable array of plain records; new space is always zero-filled.
template <typename T> class DTArray
{
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "DTArray holds plain records only");

  public:
    static constexpr int32_t kInitialCapacity = 16;

    explicit DTArray(const char* arrayName = "")
    {
        detail::CopyName(name, arrayName ? arrayName : "");
        data_ = static_cast<T*>(std::calloc(kInitialCapacity, sizeof(T)));
        capacity = data_ ? kInitialCapacity : 0;
    }
    ~DTArray() { std::free(data_); }
    DTArray(const DTArray&) = delete;
    DTArray& operator=(const DTArray&) = delete;
    DTArray(DTArray&& other) noexcept : count(other.count), capacity(other.capacity), data_(other.data_)
    {
        std::memcpy(name, other.name, sizeof name);
        other.data_ = nullptr;
        other.count = other.capacity = 0;
    }

    // Returns the index of the new element, or -1 when no storage could be had.
    int32_t Append(const T& value)
    {
        if (count + 1 >= capacity && !Grow()) return -1;
        std::memcpy(static_cast<void*>(&data_[count]), &value, sizeof(T));
        return count++;
    }

    T& ElemAt(int32_t index)
    {
        if (index < 0 || index >= count)
        {
            MIREL_ASSERT(false, __LINE__, "DTArray %s: index out of range: %d %d", name, index, count);
            static T scratch;
            std::memset(static_cast<void*>(&scratch), 0, sizeof(T));
            return scratch;
        }
        return data_[index];
    }

    T* Data() { return data_; }
    const T* Data() const { return data_; }

    // Empties the array and zeroes its storage; the capacity is kept.
    void Clear()
    {
        if (data_) std::memset(static_cast<void*>(data_), 0, sizeof(T) * static_cast<size_t>(capacity));
        count = 0;
    }

    int32_t count = 0;
    int32_t capacity = 0;
    char name[64] = {};

  private:
    bool Grow()
    {
        const int32_t newCapacity = capacity > 0 ? capacity * 2 : kInitialCapacity;
        T* grown = static_cast<T*>(std::calloc(static_cast<size_t>(newCapacity), sizeof(T)));
        if (!grown) return false;
        if (data_ && count > 0)
            std::memcpy(static_cast<void*>(grown), data_, sizeof(T) * static_cast<size_t>(count));
        std::free(data_);
        data_ = grown;
        capacity = newCapacity;
        return true;
    }

    T* data_ = nullptr;
};

// Base of every pooled object. Pools move objects between slots by swapping their bytes, so
// derived types must be relocatable: plain fields and owned raw pointers, no self-references.
class ManagedResource
{
  public:
    virtual ~ManagedResource() = default;
    // The pool hands the object out; name and handle are already set.
    virtual void OnCreate() {}
    // The object is released or its pool is cleared.
    virtual void OnRelease() {}
    // Type-specific build step.
    virtual void Create() {}

    char name[64] = {};
    int32_t handle = -1;
};

template <typename T> class ManagedArray
{
  public:
    explicit ManagedArray(int32_t poolCapacity)
        : items(poolCapacity), pendingRelease(poolCapacity), freeHandles(poolCapacity),
          handleToIndex(new int32_t[static_cast<size_t>(poolCapacity > 0 ? poolCapacity : 0)])
    {
        Reset();
    }
    ~ManagedArray() { delete[] handleToIndex; }
    ManagedArray(const ManagedArray&) = delete;
    ManagedArray& operator=(const ManagedArray&) = delete;

    int32_t Capacity() const { return items.capacity; }

    void Reset()
    {
        for (int32_t i = 0; i < count; ++i)
            items.data[i].OnRelease();
        count = 0;
        items.Clear();
        pendingRelease.Clear();
        freeHandles.Clear();
        // Pushed downwards so that the first allocations receive handles 0, 1, 2, ...
        for (int32_t h = items.capacity - 1; h >= 0; --h)
        {
            items.EmplaceDefault();
            freeHandles.Push(h);
            handleToIndex[h] = -1;
        }
    }

    // Null when the pool is full.
    T* Alloc(const char* objectName)
    {
        MIREL_ASSERT(count + 1 < items.capacity, 259, "No free items left in array");
        if (count + 1 >= items.capacity) return nullptr;
        MIREL_ASSERT(freeHandles.count > 0, 260, "No free items left in array");
        if (freeHandles.count <= 0) return nullptr;
        const int32_t h = freeHandles.Pop();
        MIREL_ASSERT(handleToIndex[h] == -1, 264, "slot should be empty");
        // A live handle on the free stack is stale; dropping it loses nothing.
        if (handleToIndex[h] != -1) return nullptr;

        const int32_t index = count;
        ++count;
        handleToIndex[h] = index;
        T& obj = items.data[index];
        detail::CopyName(obj.name, objectName ? objectName : "");
        obj.handle = h;
        obj.OnCreate();
        return &obj;
    }

    // Two array reads; null for a handle that is not live.
    T* FromHandle(int32_t h)
    {
        if (h < 0 || h >= items.capacity) return nullptr;
        const int32_t index = handleToIndex[h];
        return index >= 0 && index < count ? &items.data[index] : nullptr;
    }

    // Queues a live handle for the next ProcessPendingReleases().
    void Release(int32_t h)
    {
        MIREL_ASSERT(h < items.capacity, 288, "ManagedArray: bad index");
        if (h < 0 || h >= items.capacity) return;
        pendingRelease.Push(h);
    }

    void ProcessPendingReleases()
    {
        for (int32_t p = 0; p < pendingRelease.count; ++p)
        {
            const int32_t h = pendingRelease.data[p];
            const int32_t i = (h >= 0 && h < items.capacity) ? handleToIndex[h] : -1;
            const bool indexLive = i >= 0 && i < count;
            MIREL_ASSERT(indexLive && items.data[i].handle != -1, 301, "Item is -1, there is a problem");
            MIREL_ASSERT(count > 0, 302, "numElems is zero, there is a problem");
            // A handle queued twice was freed by its first entry.
            if (!indexLive || items.data[i].handle == -1 || count <= 0) continue;

            T& obj = items.data[i];
            obj.OnRelease();
            obj.handle = -1;
            obj.name[0] = '\0';

            const int32_t last = count - 1;
            T& tail = items.data[last];
            if (tail.handle >= 0 && tail.handle < items.capacity)
                handleToIndex[tail.handle] = i;
            else
                MIREL_ASSERT(&tail == &obj, 316, "these should be equal here, there is a problem");
            handleToIndex[h] = -1;

            // Same dynamic type at both ends, so the vtable pointers are equal and swapping
            // whole objects leaves them as they were.
            if (i != last) detail::SwapBytes(&obj, &tail, sizeof(T));
            --count;
            freeHandles.Push(h);
        }
        pendingRelease.Clear();
    }

    MiArray<T> items;
    MiArray<int32_t> pendingRelease;
    MiArray<int32_t> freeHandles;
    int32_t* handleToIndex = nullptr;
    int32_t count = 0;
};

template <typename T> class ObjectManagerPooled
{
    static_assert(std::is_base_of<ManagedResource, T>::value, "pooled objects derive ManagedResource");

  public:
    explicit ObjectManagerPooled(int32_t poolCapacity) : pool(poolCapacity) {}
    ObjectManagerPooled(const ObjectManagerPooled&) = delete;
    ObjectManagerPooled& operator=(const ObjectManagerPooled&) = delete;

    // Null when the pool is full. A null name gets a generated unique one.
    T* Create(const char* objectName)
    {
        // The duplicate check reads the name map, so it runs under the lock as well.
        sys::ScopedLock lock(cs);
        if (objectName && Find(objectName))
            MIREL_ASSERT(false, 433, "Trying to create an object that already exists: %s", objectName);
        MIREL_ASSERT(!objectName || std::strlen(objectName) < 64, 434, "ObjectManagerPooled: name too long");

        char generated[64];
        if (!objectName)
        {
            std::snprintf(generated, sizeof generated, "uniqueName_%d", static_cast<int>(uniqueCounter));
            ++uniqueCounter;
            objectName = generated;
        }
        T* obj = pool.Alloc(objectName);
        if (!obj) return nullptr;
        // Keyed by the stored (possibly shortened) name so that Release finds the entry again.
        names[obj->name] = obj->handle;
        changed = true;
        return obj;
    }

    T* Find(const char* objectName)
    {
        if (!objectName) return nullptr;
        // Looked up as Create stores it, cut to 63 characters: a derived name that ran over
        // ("<name>_matConst") finds its object again instead of taking a new slot each load.
        auto it = names.find(std::string(objectName, strnlen(objectName, 63)));
        if (it == names.end() || it->second < 0 || it->second >= pool.Capacity()) return nullptr;
        return &pool.items.ElemAt(pool.handleToIndex[it->second]);
    }

    T* FromHandle(int32_t handle) { return pool.FromHandle(handle); }

    // The object stays live, reachable by handle only, until the next ProcessPendingReleases().
    void Release(int32_t handle)
    {
        sys::ScopedLock lock(cs);
        if (handle < 0) return;
        if (handle >= pool.Capacity())
        {
            pool.Release(handle); // reports the bad index
            return;
        }
        T* obj = pool.FromHandle(handle);
        if (!obj) return;
        auto it = names.find(obj->name);
        // The name may already belong to a newer object when this handle is released twice.
        if (it != names.end() && it->second == handle) names.erase(it);
        pool.Release(handle);
        changed = true;
    }

    void ProcessPendingReleases() { pool.ProcessPendingReleases(); }

    void Clear()
    {
        sys::ScopedLock lock(cs);
        pool.Reset();
        names.clear();
        changed = true;
    }

    int32_t Count() const { return pool.count; }
    // Live objects occupy indices 0 .. Count() - 1; null outside that range.
    T* AtIndex(int32_t index) { return index >= 0 && index < pool.count ? &pool.items.data[index] : nullptr; }

    ManagedArray<T> pool;
    sys::CriticalSection cs;
    std::unordered_map<std::string, int32_t> names;
    bool changed = false;
    uint32_t uniqueCounter = 0;
};

} // namespace mirel
