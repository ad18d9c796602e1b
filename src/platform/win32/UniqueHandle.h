// One move-only owner for every kind of Win32 handle: a trait names the value that means "no
// handle" and the function that closes one. The aliases below are the kinds the program
// holds; copying is impossible, closing happens exactly once.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <utility>

namespace tolvi::platform {

template <class Traits>
class UniqueAny {
  public:
    using Type = typename Traits::Type;

    UniqueAny() = default;
    explicit UniqueAny(Type value) : held(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : held(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Type get() const { return held; }
    explicit operator bool() const { return held != Traits::Invalid(); }
    // For the functions that hand a new handle back through a pointer.
    Type* put() {
        reset();
        return &held;
    }
    Type release() { return std::exchange(held, Traits::Invalid()); }
    void reset(Type value = Traits::Invalid()) {
        Type old = std::exchange(held, value);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

  private:
    Type held = Traits::Invalid();
};

// Events, threads and most kernel objects: nullptr is none.
struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};

// Files and pipes opened with CreateFile: INVALID_HANDLE_VALUE is none.
struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type k) { RegCloseKey(k); }
};

// The Service Control Manager and its services.
struct ServiceTraits {
    using Type = SC_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseServiceHandle(h); }
};

using UniqueHandle = UniqueAny<HandleTraits>;
using UniqueFile = UniqueAny<FileTraits>;
using UniqueRegistryKey = UniqueAny<RegistryKeyTraits>;
using UniqueService = UniqueAny<ServiceTraits>;

}  // namespace tolvi::platform
