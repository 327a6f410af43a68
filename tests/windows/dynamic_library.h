/*
 * Loading a shared library at run time, for the C host programs: LoadLibraryA and
 * GetProcAddress on Windows, dlopen and dlsym elsewhere. The programs that use it stay
 * free of system headers and conditional code.
 */
#ifndef PELKOR_TESTS_DYNAMIC_LIBRARY_H
#define PELKOR_TESTS_DYNAMIC_LIBRARY_H

/* A function pointer of no particular type; callers cast it to the export's own type.
 * void (*)(void) is the one function type that converts to any other without a warning. */
typedef void (*dynamic_function)(void);

typedef struct dynamic_library dynamic_library;

/* Loads the library at path; null when it cannot be loaded (see dynamic_library_error). */
dynamic_library *dynamic_library_open(const char *path);

/* The export of that plain name, or null when the library has none. */
dynamic_function dynamic_library_symbol(dynamic_library *library, const char *name);

/* Unloads the library and frees the handle; a null handle is ignored. */
void dynamic_library_close(dynamic_library *library);

/* What the last failed open or look-up reported, as text (never null). */
const char *dynamic_library_error(void);

#endif
