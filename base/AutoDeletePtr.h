#pragma once

#include <list>
#include <memory>
#include <vector>

// Owning array of heap objects: it deletes its elements (through their
// virtual destructors) when it is destroyed or when they are removed.
template <typename T> class CAutoDeletePtrArray {
public:
    int GetSize() const { return int(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    T* GetAt(int index) const { return m_items[size_t(index)].get(); }
    T* operator[](int index) const { return GetAt(index); }

    T* Add(std::unique_ptr<T> item) {
        m_items.push_back(std::move(item));
        return m_items.back().get();
    }
    // Inserts at `index` (0 to GetSize()), moving later elements up by one.
    T* InsertAt(int index, std::unique_ptr<T> item) {
        return m_items.insert(m_items.begin() + index, std::move(item))->get();
    }
    void RemoveAll() { m_items.clear(); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<std::unique_ptr<T>> m_items;
};

// Owning list of heap objects, kept in insertion order.
template <typename T> class CAutoDeletePtrList {
public:
    int GetCount() const { return int(m_items.size()); }
    T* AddTail(std::unique_ptr<T> item) {
        m_items.push_back(std::move(item));
        return m_items.back().get();
    }
    void RemoveAll() { m_items.clear(); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::list<std::unique_ptr<T>> m_items;
};
