/* The two loaders behind dynamic_library.h. */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include "dynamic_library.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char last_error[512] = "";

#if defined(_WIN32)

#include <windows.h>

struct dynamic_library {
  HMODULE module;
};

static void note_windows_error(const char *what, const char *name) {
  snprintf(last_error, sizeof last_error, "%s %s: Windows error %lu", what, name, (unsigned long)GetLastError());
}

dynamic_library *dynamic_library_open(const char *path) {
  HMODULE module = LoadLibraryA(path);
  dynamic_library *library;
  if (module == NULL) {
    note_windows_error("LoadLibraryA", path);
    return NULL;
  }
  library = (dynamic_library *)malloc(sizeof *library);
  if (library == NULL) {
    FreeLibrary(module);
    snprintf(last_error, sizeof last_error, "out of memory");
    return NULL;
  }
  library->module = module;
  return library;
}

dynamic_function dynamic_library_symbol(dynamic_library *library, const char *name) {
  FARPROC address = library != NULL ? GetProcAddress(library->module, name) : NULL;
  if (address == NULL) {
    note_windows_error("GetProcAddress", name);
    return NULL;
  }
  return (dynamic_function)address;
}

void dynamic_library_close(dynamic_library *library) {
  if (library == NULL) return;
  FreeLibrary(library->module);
  free(library);
}

#else

#include <dlfcn.h>

struct dynamic_library {
  void *handle;
};

static void note_dl_error(const char *what, const char *name) {
  const char *reason = dlerror();
  snprintf(last_error, sizeof last_error, "%s %s: %s", what, name, reason != NULL ? reason : "not found");
}

dynamic_library *dynamic_library_open(const char *path) {
  void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  dynamic_library *library;
  if (handle == NULL) {
    note_dl_error("dlopen", path);
    return NULL;
  }
  library = (dynamic_library *)malloc(sizeof *library);
  if (library == NULL) {
    dlclose(handle);
    snprintf(last_error, sizeof last_error, "out of memory");
    return NULL;
  }
  library->handle = handle;
  return library;
}

dynamic_function dynamic_library_symbol(dynamic_library *library, const char *name) {
  void *address;
  dynamic_function function;
  if (library == NULL) return NULL;
  dlerror();
  address = dlsym(library->handle, name);
  if (address == NULL) {
    note_dl_error("dlsym", name);
    return NULL;
  }
  /* ISO C has no conversion from an object pointer to a function pointer; POSIX
   * guarantees that the bits of dlsym's result are the function's address. */
  memcpy(&function, &address, sizeof function);
  return function;
}

void dynamic_library_close(dynamic_library *library) {
  if (library == NULL) return;
  dlclose(library->handle);
  free(library);
}

#endif

const char *dynamic_library_error(void) { return last_error; }
