/* A host program built outside the tree against the installed library: opens the
 * port given, prints the phone's IMEI and the library version, closes the session. */
#include <stdio.h>

#include <pelkor16.h>

int main(int argc, char **argv) {
  char imei[20];
  int32_t result;
  if (argc != 2) {
    fprintf(stderr, "usage: %s PORT\n", argv[0]);
    return 2;
  }
  result = init(argv[1], PELKOR_CONNECTION_CABLE);
  if (result != PELKOR_OK) {
    fprintf(stderr, "init: %s (%d)\n", pelkor_strerror(result), (int)result);
    return 1;
  }
  result = getimei(imei, (int32_t)sizeof imei);
  terminate();
  if (result != PELKOR_OK) {
    fprintf(stderr, "getimei: %s (%d)\n", pelkor_strerror(result), (int)result);
    return 1;
  }
  printf("IMEI %s\nversion %s\n", imei, pelkor_version());
  return 0;
}
