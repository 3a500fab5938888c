// The standard library's throw helpers, defined here in its place.
//
// libstdc++ keeps all of its std::__throw_* functions in one object file,
// and the logic_error family it throws carries a copy-on-write string whose
// support code comes along: together about 30 KB of the statically linked
// executable for errors that, in this program, only a fault could raise (a
// string or vector beyond its maximum size, an index past the end). These
// definitions take the library's place at link time and throw exceptions
// without a message: the worker catches any exception and ends its run with
// a failure of its own, and the window procedure lets none escape. Exhausted
// memory still throws std::bad_alloc (an empty std::function's
// bad_function_call comes from a small object of its own and stays).
#include <exception>
#include <new>

namespace {

// A fault inside the standard library: a length or index out of range.
class LibraryFault : public std::exception {
  public:
    const char* what() const noexcept override { return "standard library error"; }
};

}  // namespace

namespace std {

[[noreturn]] void __throw_bad_alloc() {
    throw std::bad_alloc();
}

[[noreturn]] void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}

[[noreturn]] void __throw_length_error(const char*) {
    throw LibraryFault();
}

[[noreturn]] void __throw_logic_error(const char*) {
    throw LibraryFault();
}

[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) {
    throw LibraryFault();
}

}  // namespace std
