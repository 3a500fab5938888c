// The handler that ends the program when an exception has nowhere to go.
//
// libstdc++'s default handler prints the exception's demangled type to the
// standard error stream before it aborts. A GUI program has no such stream,
// so the message would go nowhere; and the demangler it needs costs the
// statically linked executable about 45 KB, downloaded by every user. This
// definition takes the default handler's place at link time.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
