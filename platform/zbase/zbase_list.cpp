// Platform lists: a singly linked list of pointers whose nodes are tracked
// blocks, so that an allocation failure in List_addLast is visible to the
// caller.  The list record carries a head node that stands before the first
// element; a cursor is the node last returned (the head at the start).
#include "zbase_internal.h"

namespace {

struct Node {
    Node* next;
    void* element;
};

}  // namespace

struct List {
    Node head;
    Node* tail;
    int size;
    ListDestroyFn destroy;
};

extern "C" {

ZBASE_API List* List_new(ListDestroyFn destroy, unsigned int* err) {
    List* list = static_cast<List*>(Mem_callocEx(1, sizeof(List), __FILE__, __LINE__));
    if (list == nullptr) {
        zbase::setError(err, ZBASE_E_OUT_OF_MEMORY);
        return nullptr;
    }
    list->tail = &list->head;
    list->destroy = destroy;
    zbase::setError(err, ZBASE_E_SUCCESS);
    return list;
}

ZBASE_API void List_delete(List* list) {
    if (list == nullptr) {
        return;
    }
    Node* node = list->head.next;
    while (node != nullptr) {
        Node* next = node->next;
        if (list->destroy != nullptr) {
            list->destroy(node->element);
        }
        Mem_freeEx(node, __FILE__, __LINE__);
        node = next;
    }
    Mem_freeEx(list, __FILE__, __LINE__);
}

ZBASE_API int List_addLast(List* list, void* element) {
    if (list == nullptr) {
        return 0;
    }
    Node* node = static_cast<Node*>(Mem_allocEx(sizeof(Node), __FILE__, __LINE__));
    if (node == nullptr) {
        return 0;
    }
    node->next = nullptr;
    node->element = element;
    list->tail->next = node;
    list->tail = node;
    ++list->size;
    return 1;
}

ZBASE_API int List_removeObject(List* list, void* element) {
    if (list == nullptr) {
        return 0;
    }
    for (Node* before = &list->head; before->next != nullptr; before = before->next) {
        Node* node = before->next;
        if (node->element != element) {
            continue;
        }
        before->next = node->next;
        if (list->tail == node) {
            list->tail = before;
        }
        --list->size;
        Mem_freeEx(node, __FILE__, __LINE__);
        return 1;
    }
    return 0;
}

ZBASE_API int List_size(List* list) {
    return list != nullptr ? list->size : 0;
}

ZBASE_API void* List_getAt(List* list, int index) {
    if (list == nullptr || index < 0 || index >= list->size) {
        return nullptr;
    }
    Node* node = list->head.next;
    while (index-- > 0) {
        node = node->next;
    }
    return node->element;
}

ZBASE_API void* List_getIterator(List* list) {
    return list != nullptr ? &list->head : nullptr;
}

ZBASE_API void* List_getNext(void** cursor) {
    if (cursor == nullptr || *cursor == nullptr) {
        return nullptr;
    }
    Node* next = static_cast<Node*>(*cursor)->next;
    if (next == nullptr) {
        return nullptr;
    }
    *cursor = next;
    return next->element;
}

}  // extern "C"
