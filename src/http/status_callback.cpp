#include "http/status_callback.h"

#include "http/attempt_context.h"
#include "lifetime/callback_gate.h"

// What the callback does, between its counting in and its release.
extern "C" void CALLBACK KestrelStatusCallbackBody(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                                   DWORD length) {
  if (context) reinterpret_cast<AttemptContext*>(context)->OnStatus(status, info, length);
}

// The entry and the exit need a few instructions that C++ cannot write: the count-in comes
// first, and the exit hands the thread to ReleaseSemaphore(g_callbackExitSemaphore, 1, NULL)
// with a jump rather than a call, so that the release returns to WinINet, not here.
#ifdef _WIN64
// A legal x64 epilogue: the frame goes with one add, then the jump through the import.
asm(R"(
  .text
  .globl KestrelStatusCallback
  .def KestrelStatusCallback; .scl 2; .type 32; .endef
  .seh_proc KestrelStatusCallback
KestrelStatusCallback:
  lock incl g_callbacksEntered(%rip)
  subq $56, %rsp
  .seh_stackalloc 56
  .seh_endprologue
  movq 96(%rsp), %rax
  movq %rax, 32(%rsp)
  call KestrelStatusCallbackBody
  movq g_callbackExitSemaphore(%rip), %rcx
  movl $1, %edx
  xorl %r8d, %r8d
  addq $56, %rsp
  jmp *__imp_ReleaseSemaphore(%rip)
  .seh_endproc
)");
#else
// stdcall: five arguments came in and the caller expects them popped; ReleaseSemaphore pops
// three. The return address moves up two slots over the two arguments left, the three slots
// above it take ReleaseSemaphore's arguments, and its `ret 12` then leaves the stack as the
// caller expects.
asm(R"(
  .text
  .globl _KestrelStatusCallback@20
  .def _KestrelStatusCallback@20; .scl 2; .type 32; .endef
_KestrelStatusCallback@20:
  lock incl _g_callbacksEntered
  pushl 20(%esp)
  pushl 20(%esp)
  pushl 20(%esp)
  pushl 20(%esp)
  pushl 20(%esp)
  call _KestrelStatusCallbackBody@20
  movl (%esp), %eax
  movl %eax, 8(%esp)
  movl _g_callbackExitSemaphore, %eax
  movl %eax, 12(%esp)
  movl $1, 16(%esp)
  movl $0, 20(%esp)
  addl $8, %esp
  jmp *__imp__ReleaseSemaphore@12
)");
#endif
