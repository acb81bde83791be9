#pragma once

// The module's side of the NSIS plug-in calling convention (ANSI hosts): the stack
// entry and parameter block layouts the host shares with its plug-ins, and the
// stack helpers. Every pop writes a trace line naming this file.

#include <windows.h>

#include <cstddef>

struct stack_t {
  stack_t* next;
  char text[1];  // NUL-terminated; the host sizes each entry to string_size
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
  void(WINAPI* validate_filename)(char*);
  int(WINAPI* RegisterPluginCallback)(HMODULE, NSISPLUGINCALLBACK);
};

// The latest command call's frame; read only on the host's thread.
extern int g_stringSize;
extern stack_t** g_stackTop;

// Takes the top entry into `destination` (of `destinationSize` bytes, zero-filled by
// the caller), cutting a longer text to fit, NUL-terminated. An empty stack leaves
// the destination as it is and traces nothing.
void popstringA(char* destination, std::size_t destinationSize);

// As popstringA, but copies with strncpy semantics: `count` bytes, NUL-padded, and
// no terminator when the text has `count` or more characters.
void popstringn(char* destination, std::size_t count);

// Pushes `value` as decimal text.
void pushintA(int value);
