#pragma once

// The module's side of the NSIS plug-in calling convention: the stack entry and
// parameter block layouts the host shares with its plug-ins, and the stack helpers.
// Every pop takes its entry off the stack first and then writes a trace line naming this
// file, showing the text as `traced` allows; a pop never throws.
//
// ANSI builds: the host's stack holds narrow text, passed through byte for byte.
// Unicode builds (UNICODE defined): it holds UTF-16 and string_size counts UTF-16 code
// units; each popped text is converted to UTF-8 here, once, so that everything past
// the pop is narrow, and pushed numbers are written as UTF-16.

#include <windows.h>

#include <cstddef>

#include "diag/trace_redaction.h"

struct stack_t {
  stack_t* next;
  TCHAR text[1];  // NUL-terminated; the host sizes each entry to string_size characters
};

// A fixed base type: the host may send values beyond the two it names.
enum NSPIM : int { NSPIM_UNLOAD, NSPIM_GUIUNLOAD };

using NSISPLUGINCALLBACK = UINT_PTR (*)(NSPIM);

struct exec_flags_t {
  int autoclose;
  int all_user_var;
  int exec_error;
  int abort;
  int exec_reboot;
  int reboot_called;
  int XXX_cur_insttype;
  int plugin_api_version;
  int silent;
  int instdir_error;
  int rtl;
  int errlvl;
  int alter_reg_view;
  int status_update;
};

struct extra_parameters {
  exec_flags_t* exec_flags;
  int(WINAPI* ExecuteCodeSegment)(int, HWND);
  void(WINAPI* validate_filename)(TCHAR*);
  int(WINAPI* RegisterPluginCallback)(HMODULE, NSISPLUGINCALLBACK);
};

// What a pop found: the whole text, a text cut to fit, or no entry at all (the script
// passed fewer arguments than the command takes).
enum class Popped { Whole, Cut, Missing };

// The latest command call's frame; read only on the host's thread. The variables are the
// installer's $0 to $LANGUAGE, string_size characters each, in NSIS's order (null when the host
// passed none); the parent window is the installer's (null when it has none) and the execution
// flags are NSIS's for that call (null when the host passed none).
extern int g_stringSize;
extern stack_t** g_stackTop;
extern TCHAR* g_variables;
extern HWND g_parentWindow;
extern exec_flags_t* g_execFlags;
constexpr int kLanguageVariable = 24;  // $LANGUAGE, NSIS's INST_LANG

#ifdef UNICODE

// Takes the top entry into `destination` (of `destinationSize` bytes, zero-filled by
// the caller) as UTF-8, an unpaired surrogate as U+FFFD. A text that does not fit is
// cut at a character boundary, NUL-terminated. On an empty stack the destination stays as
// it is and nothing is traced. The trace line shows the text and its length in UTF-16
// code units, as the host counts.
Popped popstringW(char* destination, std::size_t destinationSize, Traced traced);

// As popstringW, traced whole, but copies with strncpy semantics: `count` bytes of UTF-8,
// cut at a character boundary, NUL-padded, and no terminator when they fill all `count`
// bytes. False when the stack was empty.
bool popstringnW(char* destination, std::size_t count);

// Pushes `value` as decimal UTF-16 text.
void pushintW(int value);

// Pushes an ASCII text as UTF-16.
void pushstringW(const char* ascii);

inline Popped PopArgument(char* destination, std::size_t size, Traced traced) {
  return popstringW(destination, size, traced);
}
inline bool PopArgumentBounded(char* destination, std::size_t count) { return popstringnW(destination, count); }
inline void PushResult(int value) { pushintW(value); }
inline void PushResultText(const char* ascii) { pushstringW(ascii); }

#else

// Takes the top entry into `destination` (of `destinationSize` bytes, zero-filled by
// the caller), cutting a longer text to fit, NUL-terminated. On an empty stack the
// destination stays as it is and nothing is traced.
Popped popstringA(char* destination, std::size_t destinationSize, Traced traced);

// As popstringA, traced whole, but copies with strncpy semantics: `count` bytes,
// NUL-padded, and no terminator when the text has `count` or more characters. False when
// the stack was empty.
bool popstringn(char* destination, std::size_t count);

// Pushes `value` as decimal text.
void pushintA(int value);

// Pushes `text` as it is.
void pushstringA(const char* text);

inline Popped PopArgument(char* destination, std::size_t size, Traced traced) {
  return popstringA(destination, size, traced);
}
inline bool PopArgumentBounded(char* destination, std::size_t count) { return popstringn(destination, count); }
inline void PushResult(int value) { pushintA(value); }
inline void PushResultText(const char* text) { pushstringA(text); }

#endif
