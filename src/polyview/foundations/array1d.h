#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace polyview {

// Whether a type may be moved to another address as raw bytes (no pointers into itself).
// Trivially copyable types qualify; the library's own value types opt in below their class.
template <typename T>
struct IsBitwiseRelocatable : std::is_trivially_copyable<T> {};

}  // namespace polyview

// Declares a class bitwise relocatable; use at global scope right after the class.
#define POLYVIEW_BITWISE_RELOCATABLE(Type) \
    template <>                            \
    struct polyview::IsBitwiseRelocatable<Type> : std::true_type {}

// A one-dimensional array that owns a contiguous block of count elements (no spare capacity).
// Growing relocates the kept elements as raw bytes where the element type allows it, otherwise by
// move construction; shrinking keeps the block. Indexing is unchecked.
template <typename T>
class C1DArray {
  public:
    C1DArray() : m_data(nullptr), m_count(0) {}
    C1DArray(const C1DArray& other) : m_data(nullptr), m_count(0) { CopyFrom(other); }
    // Sizes to the source's count, then assigns element by element in index order.
    C1DArray& operator=(const C1DArray& other) {
        if (this != &other) {
            CopyFrom(other);
        }
        return *this;
    }
    // Destroys the elements in index order, then releases the block.
    virtual ~C1DArray() { SetSize(0); }

    // Makes the count n: new elements are zero-filled, then default-constructed. A negative n, or
    // a block that cannot be obtained, leaves the array unchanged.
    void SetSize(int n) {
        if (n < 0 || n == m_count) {
            return;
        }
        if (n == 0) {
            DestroyRange(0, m_count);
            std::free(m_data);
            m_data = nullptr;
            m_count = 0;
            return;
        }
        if (n < m_count) {
            DestroyRange(n, m_count);  // the block is kept
            m_count = n;
            return;
        }
        T* block = static_cast<T*>(std::malloc(sizeof(T) * static_cast<size_t>(n)));
        if (block == nullptr) {
            return;
        }
        if (m_data != nullptr) {
            Relocate(block);
        }
        std::memset(
            static_cast<void*>(block + m_count), 0, sizeof(T) * static_cast<size_t>(n - m_count));
        for (int i = m_count; i < n; ++i) {
            ::new (static_cast<void*>(block + i)) T();
        }
        std::free(m_data);
        m_data = block;
        m_count = n;
    }
    int GetSize() const { return m_count; }
    T& operator[](int i) { return m_data[i]; }
    const T& operator[](int i) const { return m_data[i]; }
    // Assigns value to element i with T's assignment (a coordinate keeps its tag).
    void SetAt(int i, const T& value) { m_data[i] = value; }

  private:
    void CopyFrom(const C1DArray& other) {
        SetSize(other.m_count);
        if (m_count != other.m_count) {
            return;  // no block could be obtained
        }
        for (int i = 0; i < m_count; ++i) {
            m_data[i] = other.m_data[i];
        }
    }
    void DestroyRange(int begin, int end) {
        if constexpr (!std::is_trivially_destructible<T>::value) {
            for (int i = begin; i < end; ++i) {
                m_data[i].~T();
            }
        }
    }
    void Relocate(T* block) {
        if constexpr (polyview::IsBitwiseRelocatable<T>::value) {
            std::memcpy(static_cast<void*>(block),
                        static_cast<const void*>(m_data),
                        sizeof(T) * static_cast<size_t>(m_count));
        } else {
            for (int i = 0; i < m_count; ++i) {
                ::new (static_cast<void*>(block + i)) T(std::move(m_data[i]));
                m_data[i].~T();
            }
        }
    }

    T* m_data;    // null exactly when m_count is 0
    int m_count;  // number of constructed elements
};
