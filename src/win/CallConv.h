// Calling-convention spellings, kept in one place.
#pragma once

#if defined(_MSC_VER) || defined(__i386__) || defined(_M_IX86)
#define ZANDREL_STDCALL __stdcall
#else
#define ZANDREL_STDCALL
#endif

// InitPlugInLib takes its one argument in EAX and leaves the stack alone. GCC spells that
// regparm(1) on a cdecl function; MSVC has no equivalent (it would need a naked thunk).
#if defined(__GNUC__) && defined(__i386__)
#define ZANDREL_REGISTER1 __attribute__((regparm(1)))
#else
#define ZANDREL_REGISTER1
#endif
