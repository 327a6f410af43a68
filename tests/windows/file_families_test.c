/*
 * The families that need no phone, through the public header alone and linked against
 * the library at build time: logo files, RTTTL files and WAV files, written from fixed
 * inputs into an output directory.
 *
 *   file_families_test OUTDIR INPUT...
 *
 * Each INPUT ending in ".rtttl" is read as a ringtone and written back; every other
 * INPUT is read as a logo file and written back in each writable format (start-up
 * logo, NOL and NGG). Drawn logos and a WAV file of several tones are added. The
 * program checks what it can on its own (results, read-back, sizes); the driver
 * compares the output trees of two builds (Linux, Windows) byte for byte. Every check
 * prints one line; the last line is "file_families_test: N checks, M failed".
 */
#include <pelkor16.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "checks.h"

static int check_int(const char *what, long got, long expected) {
  return check(got == expected, what, "got %ld, expected %ld", got, expected);
}

static const char *output_dir;

static char *output_path(char *out, size_t size, const char *name) {
  snprintf(out, size, "%s/%s", output_dir, name);
  return out;
}

/* The file name without directory and extension. */
static void base_name(const char *path, char *out, size_t size) {
  const char *start = path;
  const char *p;
  char *dot;
  for (p = path; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') start = p + 1;
  snprintf(out, size, "%s", start);
  dot = strrchr(out, '.');
  if (dot != NULL && dot != out) *dot = '\0';
}

static int ends_with(const char *text, const char *suffix) {
  const size_t length = strlen(text), suffix_length = strlen(suffix);
  return length >= suffix_length && strcmp(text + length - suffix_length, suffix) == 0;
}

/* Reads a whole file (at most capacity bytes); its length, or -1. */
static long read_file(const char *path, unsigned char *buffer, long capacity) {
  FILE *file = fopen(path, "rb");
  long length;
  if (file == NULL) return -1;
  length = (long)fread(buffer, 1, (size_t)capacity, file);
  fclose(file);
  return length;
}

static unsigned long little_endian32(const unsigned char *bytes) {
  return (unsigned long)bytes[0] | (unsigned long)bytes[1] << 8 | (unsigned long)bytes[2] << 16 |
         (unsigned long)bytes[3] << 24;
}

/* ---- Logos ---------------------------------------------------------------------------- */

enum { startup_width = 84, startup_height = 48, small_width = 72, small_height = 14 };

struct logo_format {
  int32_t kind;
  const char *suffix;
};

static const struct logo_format logo_formats[] = {
    {PELKOR_LOGO_STARTUP, "startup.form"}, {PELKOR_LOGO_OPERATOR, "operator.nol"}, {PELKOR_LOGO_CALLER, "caller.ngg"}};

/* The pixels of the current logo in its kind's geometry, one byte each. */
static void take_pixels(unsigned char pixels[startup_height][startup_width]) {
  int32_t kind = 0;
  int x, y, width, height;
  logo_getdata(&kind, NULL, NULL, NULL, 0);
  width = kind == PELKOR_LOGO_STARTUP ? startup_width : small_width;
  height = kind == PELKOR_LOGO_STARTUP ? startup_height : small_height;
  memset(pixels, 1, startup_height * startup_width);
  for (y = 0; y < height; ++y)
    for (x = 0; x < width; ++x) pixels[y][x] = (unsigned char)logo_getpixel(x, y);
}

/* Writes the current logo, reads the file back into a cleared record and compares. */
static void write_and_read_back(const char *name, int32_t kind) {
  static unsigned char before[startup_height][startup_width], after[startup_height][startup_width];
  char path[600], what[700];
  int32_t kind_read = -1;
  char group[64];

  take_pixels(before);
  snprintf(what, sizeof what, "logo_writefile %s", name);
  if (!check_int(what, logo_writefile(output_path(path, sizeof path, name)), PELKOR_OK)) return;

  logo_getgroupname(group, sizeof group);
  logo_setdata(PELKOR_LOGO_NONE, NULL);
  snprintf(what, sizeof what, "logo_readfile of the written %s", name);
  if (!check_int(what, logo_readfile(path), PELKOR_OK)) return;
  logo_getdata(&kind_read, NULL, NULL, NULL, 0);
  take_pixels(after);
  snprintf(what, sizeof what, "%s reads back as the same kind and pixels", name);
  check(kind_read == kind && memcmp(before, after, sizeof before) == 0, what, "kind %d, expected %d; pixels %s",
        (int)kind_read, (int)kind, memcmp(before, after, sizeof before) == 0 ? "equal" : "differ");
  logo_setgroupname(group); /* not part of any file; keep it for the next format */
}

static void logo_file_round_trips(const char *input) {
  char base[200], name[300], what[700];
  int32_t kind = -1;
  size_t i;

  base_name(input, base, sizeof base);
  logo_setdata(PELKOR_LOGO_NONE, NULL);
  snprintf(what, sizeof what, "logo_readfile %s", input);
  if (!check_int(what, logo_readfile(input), PELKOR_OK)) return;
  logo_getdata(&kind, NULL, NULL, NULL, 0);
  /* Re-labelled to each writable kind, the same bitmap bytes go out in each format. */
  for (i = 0; i < sizeof logo_formats / sizeof logo_formats[0]; ++i) {
    logo_setdata(PELKOR_LOGO_NONE, NULL);
    logo_readfile(input);
    logo_setdata(logo_formats[i].kind, NULL);
    snprintf(name, sizeof name, "%s-%s", base, logo_formats[i].suffix);
    write_and_read_back(name, logo_formats[i].kind);
  }
}

static int on_ring(int x, int y, int cx, int cy) {
  const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
  return d >= 16 * 16 && d <= 20 * 20;
}

static void drawn_logos(void) {
  char path[600];
  int x, y;
  int32_t width = -1, height = -1;
  char code[8];

  logo_setdata(PELKOR_LOGO_NONE, NULL);
  logo_setdata(PELKOR_LOGO_STARTUP, NULL);
  for (y = 0; y < startup_height; ++y)
    for (x = 0; x < startup_width; ++x)
      logo_setpixel(x, y, (x == 0 || y == 0 || x == 83 || y == 47 || on_ring(x, y, 42, 24)) ? 0 : 1);
  logo_setgroupname("Drawn");
  write_and_read_back("drawn-startup.form", PELKOR_LOGO_STARTUP);

  logo_setdata(PELKOR_LOGO_NONE, NULL);
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  for (y = 0; y < small_height; ++y)
    for (x = 0; x < small_width; ++x) logo_setpixel(x, y, ((x / 3 + y) % 4 == 0) ? 0 : 1);
  write_and_read_back("drawn-operator.nol", PELKOR_LOGO_OPERATOR);
  logo_getdata(NULL, &width, &height, code, sizeof code);
  check(width == 72 && height == 14 && strcmp(code, "244 05") == 0, "the NOL file carries geometry and network code",
        "got %d x %d, \"%s\"", (int)width, (int)height, code);

  logo_setdata(PELKOR_LOGO_NONE, NULL);
  logo_setdata(PELKOR_LOGO_CALLER, NULL);
  for (y = 0; y < small_height; ++y)
    for (x = 0; x < small_width; ++x) logo_setpixel(x, y, (x * y) % 5 == 1 ? 0 : 1);
  write_and_read_back("drawn-caller.ngg", PELKOR_LOGO_CALLER);

  logo_setdata(PELKOR_LOGO_NONE, NULL);
  check_int("logo_writefile of no logo creates an empty file and returns 0",
            logo_writefile(output_path(path, sizeof path, "none.logo")), PELKOR_OK);
  check_int("logo_writefile into a missing directory returns -1",
            logo_writefile(output_path(path, sizeof path, "no-such-dir/x.nol")), PELKOR_NOT_FOUND);
  check_int("logo_readfile of a missing file returns -1",
            logo_readfile(output_path(path, sizeof path, "no-such-file.nol")), PELKOR_NOT_FOUND);
}

/* ---- Ringtones ------------------------------------------------------------------------- */

struct tone_text {
  char name[32];
  int32_t tempo;
  int32_t count;
  char notes[256][16];
};

static void take_tone(struct tone_text *tone) {
  int32_t i;
  memset(tone, 0, sizeof *tone);
  ringtone_getname(tone->name, sizeof tone->name);
  tone->tempo = ringtone_gettempo();
  tone->count = ringtone_getnotes();
  for (i = 0; i < tone->count && i < 256; ++i) ringtone_getnote(i, tone->notes[i], sizeof tone->notes[i]);
}

static void rtttl_round_trip(const char *input) {
  static struct tone_text first, again;
  static unsigned char written[4096], rewritten[4096];
  char base[200], name[300], path[600], path_again[600], what[700];
  long written_length, rewritten_length;

  base_name(input, base, sizeof base);
  snprintf(what, sizeof what, "ringtone_readfile %s", input);
  if (!check_int(what, ringtone_readfile(input), PELKOR_OK)) return;
  take_tone(&first);
  snprintf(what, sizeof what, "%s has notes", input);
  check(first.count > 0, what, "got %d", (int)first.count);

  snprintf(name, sizeof name, "%s.rtttl", base);
  snprintf(what, sizeof what, "ringtone_writefile %s", name);
  if (!check_int(what, ringtone_writefile(output_path(path, sizeof path, name)), PELKOR_OK)) return;
  snprintf(what, sizeof what, "ringtone_readfile of the written %s", name);
  if (!check_int(what, ringtone_readfile(path), PELKOR_OK)) return;
  take_tone(&again);
  snprintf(what, sizeof what, "%s reads back with the same name, tempo and notes", name);
  check(memcmp(&first, &again, sizeof first) == 0, what, "\"%s\" %d bpm %d notes, expected \"%s\" %d bpm %d notes",
        again.name, (int)again.tempo, (int)again.count, first.name, (int)first.tempo, (int)first.count);

  /* What the library writes, it reads and writes again unchanged. */
  snprintf(name, sizeof name, "%s-again.rtttl", base);
  ringtone_writefile(output_path(path_again, sizeof path_again, name));
  written_length = read_file(path, written, sizeof written);
  rewritten_length = read_file(path_again, rewritten, sizeof rewritten);
  snprintf(what, sizeof what, "%s written a second time is the same file", base);
  check(written_length > 0 && written_length == rewritten_length &&
            memcmp(written, rewritten, (size_t)written_length) == 0,
        what, "%ld bytes, then %ld", written_length, rewritten_length);
}

static void built_ringtone(void) {
  char path[600], text[32];
  ringtone_setnotes(0);
  ringtone_setname("Built");
  ringtone_settempo(180);
  ringtone_setnote(0, "16c#6");
  ringtone_setnote(1, "8p");
  ringtone_setnote(2, "2a.");
  ringtone_setnote(3, "32h7");
  check_int("the built tone has four notes", ringtone_getnotes(), 4);
  ringtone_getnote(3, text, sizeof text);
  check(strcmp(text, "32h7") == 0, "the built tone's h reads back as h", "got \"%s\"", text);
  check_int("ringtone_writefile of the built tone returns 0",
            ringtone_writefile(output_path(path, sizeof path, "built.rtttl")), PELKOR_OK);
  check_int("ringtone_readfile of a missing file returns -1",
            ringtone_readfile(output_path(path, sizeof path, "no-such-file.rtttl")), PELKOR_NOT_FOUND);
}

/* ---- WAV -------------------------------------------------------------------------------- */

struct tone {
  int32_t frequency_hz;
  int32_t duration_ms;
};

static void wave_files(void) {
  static const struct tone tones[] = {{440, 500}, {0, 250}, {1000, 7}, {2500, 3000}, {523, 125}};
  static unsigned char bytes[64 * 1024];
  char path[600];
  mfbwave_writer *writer;
  long length, samples = 0;
  size_t i;

  writer = mfbwave_create(output_path(path, sizeof path, "tones.wav"));
  if (check(writer != NULL, "mfbwave_create tones.wav", "null writer")) {
    for (i = 0; i < sizeof tones / sizeof tones[0]; ++i) {
      mfbwave_add_tone(writer, tones[i].frequency_hz, tones[i].duration_ms);
      samples += (long)tones[i].duration_ms * 8;
    }
    mfbwave_close(writer);
    length = read_file(path, bytes, sizeof bytes);
    check_int("tones.wav holds the header and 8 samples a millisecond", length, 44 + samples);
    if (length >= 44) {
      check_int("tones.wav RIFF size", (long)little_endian32(bytes + 4), 36 + samples);
      check_int("tones.wav data size", (long)little_endian32(bytes + 40), samples);
      check(
          memcmp(bytes, "RIFF", 4) == 0 && memcmp(bytes + 8, "WAVEfmt ", 8) == 0 && memcmp(bytes + 36, "data", 4) == 0,
          "tones.wav has the RIFF, WAVE, fmt and data marks", "header differs");
      check(bytes[44] == 128 && bytes[44 + 4000] == 128 && bytes[44 + 4000 + 1999] == 128,
            "each tone starts at silence and the 0 Hz tone is silence", "got %u %u %u", bytes[44], bytes[44 + 4000],
            bytes[44 + 4000 + 1999]);
    }
  }

  writer = mfbwave_create(output_path(path, sizeof path, "empty.wav"));
  if (check(writer != NULL, "mfbwave_create empty.wav", "null writer")) {
    mfbwave_add_tone(writer, 440, 0);
    mfbwave_close(writer);
    check_int("a WAV file without samples is the 44-byte header", read_file(path, bytes, sizeof bytes), 44);
  }
  check(mfbwave_create(output_path(path, sizeof path, "no-such-dir/x.wav")) == NULL,
        "mfbwave_create in a missing directory returns null", "got a writer");
}

int main(int argc, char **argv) {
  int i;
  if (argc < 2) {
    fprintf(stderr, "usage: %s OUTDIR INPUT...\n", argv[0]);
    return 2;
  }
  output_dir = argv[1];
  for (i = 2; i < argc; ++i) {
    if (ends_with(argv[i], ".rtttl"))
      rtttl_round_trip(argv[i]);
    else
      logo_file_round_trips(argv[i]);
  }
  drawn_logos();
  built_ringtone();
  wave_files();
  return finish_checks("file_families_test");
}
