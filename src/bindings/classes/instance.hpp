// The instances of the version classes: their layout (the object header, the
// wrapped model value and the borrow counter), where a value's block of lists
// may lie behind them, and how they are made and destroyed.
#pragma once

#include <Python.h>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "bindings/runtime/borrow.hpp"
#include "bindings/runtime/py_ref.hpp"
#include "bindings/runtime/test_hooks.hpp"
#include "core/grammar/grammar.hpp"
#include "core/model/packed_lists.hpp"

namespace vorna::bindings {

template <class T> struct Instance {
    PyObject_HEAD
    // Its block of lists may lie in the instance's tail: it is never moved.
    InPlace<T> value;
    BorrowCounter borrow;

    static Instance* from(PyObject* object) noexcept { return reinterpret_cast<Instance*>(object); }
};

template <class T> Instance<T>* instance_of(PyObject* object) noexcept { return Instance<T>::from(object); }

// A std::swap or a move out of an instance does not compile.
static_assert(!std::is_move_constructible_v<InPlace<Version>> && !std::is_move_assignable_v<InPlace<Version>>);

// A class object and the model type its instances hold: `C::type()` gives the
// class object (borrowed, or null with an error set), `C::Value` the type.
template <class C>
concept ClassObject = requires {
    typename C::Value;
    { C::type() } -> std::same_as<PyTypeObject*>;
};

// The spare bytes of an instance start right after the instance as its type
// lays it out, rounded up to the alignment of a block of lists.
inline std::size_t tail_offset(PyTypeObject* type) noexcept {
    constexpr std::size_t align = detail::BlockLayout::alignment;
    return (static_cast<std::size_t>(type->tp_basicsize) + align - 1) / align * align;
}

// Allocates an instance of `type` and constructs the blank value and a free
// borrow counter in it.
template <class T> PyObject* alloc_instance(PyTypeObject* type) noexcept {
    static_assert(std::is_nothrow_default_constructible_v<T>);
    PyObject* object = PyType_GenericAlloc(type, 0);
    if (!object) return nullptr;
    auto* instance = instance_of<T>(object);
    new (&instance->value) InPlace<T>();
    new (&instance->borrow) BorrowCounter(0);
    return object;
}

// The allocator of every version class. Whatever makes the instance (the
// class's own __new__, object.__new__ behind a replaced __new__, the copy and
// pickle protocols), it comes from here, so no slot ever meets an instance
// whose value was never constructed: a fresh one holds the blank value.
template <class T> PyObject* alloc_slot(PyTypeObject* type, Py_ssize_t) noexcept { return alloc_instance<T>(type); }

// Destroys what alloc_slot constructed, frees the object and drops the
// instance's reference to its (heap) class.
template <class T> void dealloc_slot(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    auto* instance = instance_of<T>(self);
    std::destroy_at(&instance->value);
    instance->borrow.~BorrowCounter();
    type->tp_free(self);
    Py_DECREF(type);
}

// A new instance of `type` as the place a parsed value is built at: it is
// allocated once the match is known, with the value's block of lists in its
// tail when the block is short, so the instance and its lists take one
// allocation, and the value is then constructed in it directly. A long block
// gets its own allocation, so replacing the lists later leaves no large dead
// tail behind. Until release(), the instance is freed again
// if the value's construction fails.
template <class T> class InstanceSite final : public BuildSite {
public:
    explicit InstanceSite(PyTypeObject* type) noexcept : type_(type) {}
    InstanceSite(const InstanceSite&) = delete;
    InstanceSite& operator=(const InstanceSite&) = delete;
    ~InstanceSite() {
        if (!object_) return;
        // Allocated, but holding no value: it is given the blank value and
        // goes the way of every instance, so a debug build's reference
        // bookkeeping stays whole.
        new (&instance_of<T>(object_)->value) InPlace<T>();
        Py_DECREF(object_);
    }

    void* make(std::size_t block_bytes, BlockRoom& room) override {
        static_assert(std::is_nothrow_default_constructible_v<T>);
        const test_hooks::SiteFault planted = test_hooks::next_site_fault();
        const std::size_t offset = tail_offset(type_);
        // One expression sizes the allocation, and the room for the block is
        // what the allocation leaves from the tail's start to its end: the
        // two cannot disagree. No block, or a long one, leaves no tail.
        std::size_t size = block_bytes != 0 && block_bytes <= max_tail_bytes ? offset + block_bytes
                                                                                : static_cast<std::size_t>(type_->tp_basicsize);
        if (planted == test_hooks::SiteFault::unpadded_allocation) size = type_->tp_basicsize + block_bytes;
        // The classes are not tracked by the cycle collector, so a plain
        // object allocation is all the generic allocator would make.
        char* const memory = static_cast<char*>(PyObject_Malloc(size));
        if (!memory) throw std::bad_alloc();
        object_ = PyObject_Init(reinterpret_cast<PyObject*>(memory), type_);
        auto* instance = instance_of<T>(object_);
        new (&instance->borrow) BorrowCounter(0);
        if (planted == test_hooks::SiteFault::bad_alloc) throw std::bad_alloc();
        char* const at = memory + offset;
        char* const end = memory + size;
        // The host's allocator aligns to 16 on 64-bit systems; where it
        // gives less, the block goes to the heap and the tail stays unused.
        const bool aligned = reinterpret_cast<std::uintptr_t>(at) % detail::BlockLayout::alignment == 0 &&
                             planted != test_hooks::SiteFault::misaligned_tail;
        if (at < end && aligned) [[likely]] {
            room = {at, static_cast<std::size_t>(end - at) - (planted == test_hooks::SiteFault::short_room)};
            if (planted == test_hooks::SiteFault::misaligned_room) room = {at + 1, room.bytes - 1};
        }
        return &instance->value.get();
    }

    // The instance, once the value is constructed in it.
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    // The longest tail: an instance of a few dozen bytes and this much tail
    // stay within the host's small-object allocator (512 bytes a request),
    // and it holds the lists of ordinary versions, which take a few dozen
    // bytes; longer lists are rare enough to pay for their own allocation.
    static constexpr std::size_t max_tail_bytes = 192;

    PyTypeObject* type_;
    PyObject* object_ = nullptr;
};

// Allocates an instance of `type` through its allocator and moves `value` in.
// Null with the host's error when allocation fails (`value` stays with the
// caller and is destroyed there).
template <class T> PyObject* new_instance(PyTypeObject* type, T&& value) noexcept {
    using Value = std::remove_cvref_t<T>;
    static_assert(std::is_nothrow_move_assignable_v<Value>);
    PyObject* object = type->tp_alloc(type, 0);
    if (!object) return nullptr;
    instance_of<Value>(object)->value = std::move(value);
    return object;
}

// A deep copy of the value of `object`, an instance holding a T, taken under
// a reader borrow; false with RuntimeError when a writer holds it.
template <class T> bool copy_value(PyObject* object, T& out) {
    auto* instance = instance_of<T>(object);
    return with_borrow<ReadBorrow>(instance->borrow, [&] { out = instance->value.get(); });
}

}  // namespace vorna::bindings
