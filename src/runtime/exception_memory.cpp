// The memory of thrown exceptions, in the C++ runtime's place: from the heap, or when the heap
// is exhausted, from a fixed pool, so that a std::bad_alloc can still be thrown for want of
// memory. The runtime's own keeps a 64 KB pool behind a lock whose failures are exception
// classes of their own: 5 KB of the DLL with what they bring. Like the exception state, these
// must be the DLL's own objects to come before the runtime's.
#include "runtime/exception_memory.h"

#include <windows.h>

#include <unwind.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>

namespace __cxxabiv1 {
// The runtime's header before every thrown object (the Itanium C++ ABI's, as GCC lays it out on
// x86 and x64); tests compare its size with where the runtime finds a caught object.
struct __cxa_exception {
  std::type_info* exceptionType;
  void* exceptionDestructor;
  void* unexpectedHandler;
  void* terminateHandler;
  __cxa_exception* nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char* actionRecord;
  const unsigned char* languageSpecificData;
  _Unwind_Ptr catchTemp;
  void* adjustedPtr;
  _Unwind_Exception unwindHeader;
};
struct __cxa_refcounted_exception {
  int referenceCount;
  __cxa_exception exc;
};
// std::rethrow_exception's: laid out as __cxa_exception.
struct __cxa_dependent_exception;
}  // namespace __cxxabiv1

namespace {

using __cxxabiv1::__cxa_refcounted_exception;

// More than are ever in flight at once; each holds a header and a runtime or jsoncpp exception.
constexpr int kPooledBlocks = 16;
constexpr std::size_t kBlockSize = 256;
static_assert(sizeof(__cxa_refcounted_exception) + 64 <= kBlockSize);
alignas(16) unsigned char g_blocks[kPooledBlocks][kBlockSize];
LONG g_blockTaken[kPooledBlocks];

void* Allocate(std::size_t size) noexcept {
  if (void* memory = std::malloc(size)) return memory;
  for (int i = 0; size <= kBlockSize && i < kPooledBlocks; ++i) {
    if (InterlockedCompareExchange(&g_blockTaken[i], 1, 0) == 0) return g_blocks[i];
  }
  std::terminate();
}

void Free(void* memory) noexcept {
  const auto offset = static_cast<unsigned char*>(memory) - &g_blocks[0][0];
  if (offset >= 0 && offset < static_cast<std::ptrdiff_t>(sizeof g_blocks)) {
    InterlockedExchange(&g_blockTaken[offset / kBlockSize], 0);
  } else {
    std::free(memory);
  }
}

}  // namespace

std::size_t ThrownObjectHeaderSize() noexcept { return sizeof(__cxxabiv1::__cxa_exception); }

namespace __cxxabiv1 {

extern "C" void* __cxa_allocate_exception(std::size_t thrownSize) noexcept {
  auto* header = static_cast<unsigned char*>(Allocate(thrownSize + sizeof(__cxa_refcounted_exception)));
  std::memset(header, 0, sizeof(__cxa_refcounted_exception));
  return header + sizeof(__cxa_refcounted_exception);
}

extern "C" void __cxa_free_exception(void* thrown) noexcept {
  Free(static_cast<unsigned char*>(thrown) - sizeof(__cxa_refcounted_exception));
}

extern "C" __cxa_dependent_exception* __cxa_allocate_dependent_exception() noexcept {
  void* memory = Allocate(sizeof(__cxa_exception));
  std::memset(memory, 0, sizeof(__cxa_exception));
  return static_cast<__cxa_dependent_exception*>(memory);
}

extern "C" void __cxa_free_dependent_exception(__cxa_dependent_exception* exception) noexcept { Free(exception); }

}  // namespace __cxxabiv1
