// Single objects on the C runtime's heap: made with malloc, so that running out of memory is a null result
// and never a throw, and owned by a unique_ptr that destroys and frees them.
#pragma once

#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

template <typename T>
struct HeapDelete {
    void operator()(T* object) const noexcept {
        object->~T();
        std::free(object);
    }
};

template <typename T>
using HeapPtr = std::unique_ptr<T, HeapDelete<T>>;

// A new T made from `args`; null when memory runs out.
template <typename T, typename... Args>
HeapPtr<T> MakeHeap(Args&&... args) noexcept {
    void* memory = std::malloc(sizeof(T));
    if (memory == nullptr) {
        return HeapPtr<T>();
    }
    return HeapPtr<T>(::new (memory) T(std::forward<Args>(args)...));
}
