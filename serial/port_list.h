#pragma once
// An intrusive doubly linked list of elements that carry their own m_next and m_prev. The list
// frees nothing; its owners (the port registry, a port's client list) decide what happens to the
// elements that remain when they go.

template <class T> class CPortList {
public:
    T* m_head = nullptr;
    T* m_tail = nullptr;
    int m_count = 0;

    CPortList() = default;
    CPortList(const CPortList&) = delete;
    CPortList& operator=(const CPortList&) = delete;

    void AddTail(T* e) {
        ++m_count;
        e->m_next = nullptr;
        e->m_prev = m_tail;
        if (m_tail) {
            m_tail->m_next = e;
        } else {
            m_head = e;
        }
        m_tail = e;
    }

    // The first element, taken off the list with its own links left as they were; null when empty.
    T* RemoveHead() {
        T* head = m_head;
        if (!head) {
            return nullptr;
        }
        --m_count;
        m_head = head->m_next;
        if (m_head) {
            m_head->m_prev = nullptr;
        } else {
            m_tail = nullptr;
        }
        return head;
    }

    // 0 when e was on the list and is now off it, -1 when it was not found.
    int Remove(T* e) {
        if (!m_head || !e) {
            return -1;
        }
        if (e == m_head) {
            RemoveHead();
            return 0;
        }
        T* p = m_head;
        while (p && p->m_next != e) {
            p = p->m_next;
        }
        if (!p) {
            return -1;
        }
        --m_count;
        p->m_next = e->m_next;
        if (e->m_next) {
            e->m_next->m_prev = p;
        } else {
            m_tail = p;
        }
        return 0;
    }
};
