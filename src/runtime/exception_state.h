#pragma once

// Gives back the calling thread's exception state; at the thread's end (DLL_THREAD_DETACH).
void ReleaseThreadExceptionState() noexcept;
