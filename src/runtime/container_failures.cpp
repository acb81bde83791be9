// The standard containers report failures through these calls. The runtime's own
// definitions build std::length_error and its kin, which drag the old string class and its
// exceptions (about 50 KB) into the DLL. Every caller here catches any exception and gives
// up as on out of memory, so each failure is thrown as std::bad_alloc. Like the terminate
// handler, these must be the DLL's own objects to come before the runtime's.
#include <new>

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
}  // namespace std
