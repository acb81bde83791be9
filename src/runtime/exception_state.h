#pragma once

// Whether each thread can have an exception state of its own: false when Windows had no
// thread-local slot left. Threads sharing one would free each other's exceptions, so the
// module then refuses to load.
bool ExceptionStateReady() noexcept;

// Gives back the calling thread's exception state; at the thread's end (DLL_THREAD_DETACH).
void ReleaseThreadExceptionState() noexcept;
