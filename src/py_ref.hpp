// Ownership of new Python references. Borrowed references stay plain pointers and are
// named borrowed_... where it matters.
#pragma once

#include <Python.h>

namespace qx::py {

// Owns one new (strong) reference and releases it when it goes out of scope.
class Ref {
  public:
    Ref() = default;
    explicit Ref(PyObject* owned) : obj_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(obj_);
            obj_ = other.obj_;
            other.obj_ = nullptr;
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(obj_); }

    PyObject* get() const { return obj_; }
    explicit operator bool() const { return obj_ != nullptr; }
    // Hands the reference to the caller.
    PyObject* release() {
        PyObject* o = obj_;
        obj_ = nullptr;
        return o;
    }

  private:
    PyObject* obj_ = nullptr;
};

}  // namespace qx::py
