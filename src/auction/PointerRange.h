#pragma once

#include <memory>
#include <vector>

// Iterates a vector of owned objects in stored order, giving references to
// the objects themselves, so that a list can be walked with range-for
// without exposing its ownership.
template <class Owned, class Exposed>
class PointerIterator
{
public:
    using Base = typename std::vector<std::unique_ptr<Owned>>::const_iterator;
    using iterator_category = std::forward_iterator_tag;
    using value_type = Exposed;
    using difference_type = std::ptrdiff_t;
    using pointer = Exposed *;
    using reference = Exposed &;

    PointerIterator() = default;
    explicit PointerIterator(Base base) : m_base(base) {}

    Exposed &operator*() const { return **m_base; }
    Exposed *operator->() const { return m_base->get(); }
    PointerIterator &operator++()
    {
        ++m_base;
        return *this;
    }
    PointerIterator operator++(int)
    {
        PointerIterator before = *this;
        ++m_base;
        return before;
    }
    bool operator==(const PointerIterator &other) const { return m_base == other.m_base; }
    bool operator!=(const PointerIterator &other) const { return m_base != other.m_base; }

private:
    Base m_base{};
};
