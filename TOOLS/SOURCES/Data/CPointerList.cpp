#include "CPointerList.h"

#include <new>

namespace SDO {

void CPointerList::CArray::Clear() {
    delete[] items;
    items = nullptr;
    count = 0;
}

void** CPointerList::CArray::Alloc(int n) {
    Clear();
    if (n <= 0) return nullptr;
    items = new (std::nothrow) void*[static_cast<unsigned>(n)]();
    if (items) count = n;
    return items;
}

CPointerList::CArray::~CArray() {
    CArray::Clear();
}

CPointerList::~CPointerList() {
    CPointerList::Clear();
    array.Clear();
}

CPointerList::Item* CPointerList::_Next() {
    Item* node = current;
    if (current) current = current->next;
    return node;
}

void* CPointerList::Next() {
    Item* node = _Next();
    return node ? node->data : nullptr;
}

int CPointerList::operator=(CPointerList& other) {
    if (&other == this) return 0;
    Clear();
    other.Rewind();
    while (void* p = other.Next()) Add(p);
    return 0;
}

void CPointerList::Assign(CPointerList& other) {
    if (&other == this) return;
    *this = other;
    other.Clear();
}

void CPointerList::Clear() {
    Item* node = first;
    while (node) {
        Item* next = node->next;
        delete node;
        node = next;
    }
    first = last = current = nullptr;
    count = 0;
}

void CPointerList::Add(void* p) {
    Push(p);
}

void CPointerList::Push(void* p) {
    if (!p) return;
    Item* node = new (std::nothrow) Item;
    if (!node) return;
    node->data = p;
    node->prev = last;
    if (last)
        last->next = node;
    else
        first = node;
    last = node;
    current = node;
    ++count;
}

void* CPointerList::Pop() {
    if (!last) return nullptr;
    Item* node = last;
    void* p = node->data;
    last = node->prev;
    if (last)
        last->next = nullptr;
    else
        first = nullptr;
    current = last;
    delete node;
    --count;
    return p;
}

void CPointerList::Unlink(Item* node) {
    if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    if (node == first) first = node->next;
    if (node == last) last = node->prev;
    if (node == current) current = node->prev;
    delete node;
    --count;
}

void CPointerList::Delete(void* p) {
    if (!p) return;
    Rewind();
    while (Item* node = _Next()) {
        if (node->data == p) {
            Unlink(node);
            return;
        }
    }
}

void CPointerList::Delete(int i) {
    if (i < 0 || static_cast<std::uint32_t>(i) >= count) return;
    Item* node = first;
    for (int n = 0; n < i; ++n) node = node->next;
    Unlink(node);
}

void* CPointerList::At(int i) {
    if (i < 0 || static_cast<std::uint32_t>(i) >= count) return nullptr;
    Rewind();
    Item* node = nullptr;
    for (int n = 0; n <= i; ++n) node = _Next();
    return node->data;
}

void** CPointerList::BeginArrayOperation() {
    if (count == 0) return nullptr;
    // On a failed allocation the items stay in the list rather than being lost.
    if (!array.Alloc(static_cast<int>(count))) return nullptr;
    int n = 0;
    for (Item* node = first; node; node = node->next) array.items[n++] = node->data;
    Clear();
    return array.items;
}

void CPointerList::EndArrayOperation() {
    if (!array.items || array.count == 0) return;
    Clear();
    for (int n = 0; n < array.count; ++n) Add(array.items[n]);
    array.Clear();
}

} // namespace SDO
