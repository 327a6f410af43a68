/* The public header must be usable from plain C: this file is compiled as C. */
#include <pelkor16.h>
#include <stddef.h>

int pelkor_c_header_check(void) {
  /* Take the address of a few exports of each family so the declarations are used. */
  int32_t (*session)(const char *, int32_t) = init;
  int32_t (*alive)(void) = isalive;
  mfbwave_writer *(*create)(const char *) = mfbwave_create;
  return (session != NULL && alive != NULL && create != NULL) ? PELKOR_OK : PELKOR_ERR_REFUSED;
}
