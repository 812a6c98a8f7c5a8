#pragma once

#include <cstdint>

namespace SDO {

// Doubly linked list of untyped pointers with a built-in cursor. The list owns its nodes,
// never the items: whoever puts items in deletes them.
class CPointerList {
public:
    struct Item {
        void* data = nullptr;
        Item* prev = nullptr;
        Item* next = nullptr;
    };

    // Flat copy of the items for bulk editing between Begin/EndArrayOperation.
    class CArray {
    public:
        CArray() = default;
        CArray(const CArray&) = delete;
        CArray& operator=(const CArray&) = delete;
        virtual void Clear();
        virtual void** Alloc(int n);
        virtual ~CArray();

        int count = 0;
        void** items = nullptr;
    };

    CPointerList() = default;
    CPointerList(const CPointerList&) = delete;
    virtual ~CPointerList();

    virtual Item* _Next();
    // Copies the items of `other` (not the items themselves). Returns 0.
    virtual int operator=(CPointerList& other);
    // Moves the items of `other` over; `other` ends empty.
    virtual void Assign(CPointerList& other);
    virtual std::uint32_t Count() const { return count; }
    virtual void Clear();
    virtual void Add(void* p);
    virtual void Push(void* p);
    virtual void* Pop();
    virtual void Delete(void* p);
    virtual void Delete(int i);
    virtual void* At(int i);
    virtual void* operator[](int i) { return At(i); }
    virtual void* First() const { return first ? first->data : nullptr; }
    virtual void* Last() const { return last ? last->data : nullptr; }
    virtual void* Next();
    virtual void* Current() const { return current ? current->data : nullptr; }
    virtual void Rewind() { current = first; }
    virtual void** BeginArrayOperation();
    virtual void EndArrayOperation();

    CArray array;

private:
    void Unlink(Item* node);

    Item* first = nullptr;
    Item* last = nullptr;
    Item* current = nullptr;
    std::uint32_t count = 0;
};

} // namespace SDO
