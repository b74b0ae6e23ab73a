#pragma once
// Doubly linked lists of typed records with a built-in cursor, the current
// element. Callers never walk links themselves: they position the cursor with
// ListReset and ListNext, read and write the current payload in place and
// remove it with ListDelete. The exact cursor rules matter, because the game
// deletes elements in the middle of a walk:
//
//   - ListAdd links the new element right after the current one (at the front
//     when there is none) and makes it current. So after a walk that ended
//     with ListNext returning nullptr, ListAdd appends; right after ListReset
//     it inserts at the front.
//   - ListNext with no current element moves to the first; on the last element
//     it returns nullptr and the cursor stays there.
//   - ListDelete moves the cursor to the predecessor, or, when the first
//     element is deleted, to the element that became first. A walk therefore
//     skips the element that follows a deleted first element.
//
// The list owns its elements; remaining elements are freed when the handle
// is destroyed. Handles cannot be copied.

#include <cstdint>
#include <type_traits>

template <typename T>
struct ListElement {
  ListElement* next = nullptr;
  ListElement* previous = nullptr;
  T payload{};
};

template <typename T>
struct ListHandle {
  static_assert(std::is_default_constructible_v<T>, "list payloads are default-constructed");

  ListElement<T>* first = nullptr;
  ListElement<T>* last = nullptr;
  ListElement<T>* current = nullptr;  // nullptr: the cursor stands before the first element

  ListHandle() = default;
  ListHandle(const ListHandle&) = delete;
  ListHandle& operator=(const ListHandle&) = delete;
  ~ListHandle() { FreeAll(); }

  void FreeAll() {
    ListElement<T>* e = first;
    while (e != nullptr) {
      ListElement<T>* next = e->next;
      delete e;
      e = next;
    }
    first = nullptr;
    last = nullptr;
    current = nullptr;
  }
};

// Makes the list empty with no current element. Run once per list before use;
// running it again frees the elements the list still has.
template <typename T>
void ListNew(ListHandle<T>& list) {
  list.FreeAll();
}

// Links a new element with a value-initialised payload (all zero for plain
// records) right after the current element, or at the front when there is
// none, makes it current and returns its payload.
template <typename T>
T* ListAdd(ListHandle<T>& list) {
  auto* added = new ListElement<T>();
  ListElement<T>* e = list.current;
  if (e != nullptr) {
    added->previous = e;
    added->next = e->next;
    if (e->next != nullptr) e->next->previous = added;
    e->next = added;
  } else {
    added->next = list.first;
    added->previous = nullptr;
    if (list.first != nullptr) list.first->previous = added;
  }
  list.current = added;
  if (added->previous == nullptr) list.first = added;
  if (added->next == nullptr) list.last = added;
  return &added->payload;
}

// No current element afterwards: the next ListNext returns the first element.
template <typename T>
void ListReset(ListHandle<T>& list) {
  list.current = nullptr;
}

// Moves the cursor on and returns the new current payload. On the last
// element it returns nullptr and the cursor stays on that element.
template <typename T>
T* ListNext(ListHandle<T>& list) {
  if (list.current == nullptr) {
    list.current = list.first;
    return list.first != nullptr ? &list.first->payload : nullptr;
  }
  if (list.current->next == nullptr) return nullptr;
  list.current = list.current->next;
  return &list.current->payload;
}

// The payload of the current element, or nullptr when there is none.
template <typename T>
T* ListCurrent(ListHandle<T>& list) {
  return list.current != nullptr ? &list.current->payload : nullptr;
}

// Unlinks and frees the current element. The cursor moves to its predecessor,
// or to its successor when it was the first element; nothing happens when
// there is no current element.
template <typename T>
void ListDelete(ListHandle<T>& list) {
  ListElement<T>* e = list.current;
  if (e == nullptr) return;
  ListElement<T>* p = e->previous;
  ListElement<T>* n = e->next;
  if (p == nullptr && n == nullptr) {
    list.first = nullptr;
    list.last = nullptr;
    list.current = nullptr;
  } else if (p == nullptr) {
    n->previous = nullptr;
    list.first = n;
    list.current = n;
  } else if (n == nullptr) {
    p->next = nullptr;
    list.last = p;
    list.current = p;
  } else {
    p->next = n;
    n->previous = p;
    list.current = p;
  }
  delete e;
}

// Deletes every element; the list is empty with no current element afterwards.
template <typename T>
void ListClear(ListHandle<T>& list) {
  list.FreeAll();
}

// Counts the elements by following the links from the first.
template <typename T>
int32_t ListCount(const ListHandle<T>& list) {
  int32_t count = 0;
  for (const ListElement<T>* e = list.first; e != nullptr; e = e->next) ++count;
  return count;
}
