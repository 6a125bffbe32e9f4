#pragma once

namespace zel {
namespace libs {
namespace core {

// A pass key: only T can make one, so a public constructor that takes it can
// be reached only through T, while std::make_shared can still call it.
template <class T>
class badge {
    friend T;
    // User-provided rather than defaulted: a defaulted one would leave the
    // class an aggregate, and "badge<T>{}" would then build it anywhere.
    badge() {}
};

}  // namespace core
}  // namespace libs
}  // namespace zel
