// The C++ runtime's default terminate handler prints the exception's type by name, and
// so links the whole demangler (about 46 KB) into the DLL. No one reads an installer's
// standard error: this definition takes the default's place and only aborts. It must
// be one of the DLL's own objects, not a library member, to come before the runtime's.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
