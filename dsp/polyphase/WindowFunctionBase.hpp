#pragma once

#include <vector>

// The values of one window of a given length. A derived class supplies the
// shape through Compute; Build sizes the storage and asks for the values.
// The values are used as computed, with no rescaling.
template <typename T, int Variant>
class WindowFunctionBase {
public:
    void Build(int n) {
        values.assign(static_cast<typename std::vector<T>::size_type>(n > 0 ? n : 0), T(0));
        if (n > 0) {
            Compute(n);
        }
    }

    // Fills values[0 .. n-1], n >= 1.
    virtual void Compute(int n) = 0;

    std::vector<T> values;

protected:
    WindowFunctionBase() = default;
    WindowFunctionBase(const WindowFunctionBase&) = default;
    WindowFunctionBase& operator=(const WindowFunctionBase&) = default;
    ~WindowFunctionBase() = default;
};
