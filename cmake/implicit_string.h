// Included before every source of the Windows builds. libstdc++ declares its explicit
// instantiation of std::string extern, so every user links the library's object that holds
// all of std::string's members (about 33 KB), and the DLL keeps them all: Windows unwind
// tables keep every function of a linked object. -1 is libstdc++'s own setting that turns
// the extern declarations off for basic_string alone; each source then instantiates only
// the members it calls.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
