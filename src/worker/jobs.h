#pragma once

#include <windows.h>

// Argument buffers of the jobs below come from std::calloc; each job frees its own.
void ReleaseJobBuffer(void* buffer);

// Ends without storing a status: a synchronous caller reads the latest one.
void WINAPI GetJob(void* buffer);

// Clears the last status to 0, and its outcome to none.
void WINAPI PutJob(void* buffer);
