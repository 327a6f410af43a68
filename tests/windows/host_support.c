/* The two implementations behind host_support.h. */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include "host_support.h"

#include <stddef.h>

struct thread_start {
  void (*body)(void *argument);
  void *argument;
};

#if defined(_WIN32)

#include <windows.h>

static DWORD WINAPI thread_entry(LPVOID parameter) {
  const struct thread_start *start = (const struct thread_start *)parameter;
  start->body(start->argument);
  return 0; /* returning ends the thread the ordinary way, with its detach notices */
}

int host_run_thread(void (*body)(void *argument), void *argument) {
  struct thread_start start;
  HANDLE thread;
  start.body = body;
  start.argument = argument;
  thread = CreateThread(NULL, 0, thread_entry, &start, 0, NULL);
  if (thread == NULL) return -1;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return 0;
}

int64_t host_clock_ms(void) { return (int64_t)GetTickCount64(); }

void host_sleep_ms(int32_t milliseconds) { Sleep(milliseconds > 0 ? (DWORD)milliseconds : 0); }

#else

#include <errno.h>
#include <pthread.h>
#include <time.h>

static void *thread_entry(void *parameter) {
  const struct thread_start *start = (const struct thread_start *)parameter;
  start->body(start->argument);
  return NULL;
}

int host_run_thread(void (*body)(void *argument), void *argument) {
  struct thread_start start;
  pthread_t thread;
  start.body = body;
  start.argument = argument;
  if (pthread_create(&thread, NULL, thread_entry, &start) != 0) return -1;
  pthread_join(thread, NULL);
  return 0;
}

int64_t host_clock_ms(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

void host_sleep_ms(int32_t milliseconds) {
  struct timespec rest;
  if (milliseconds <= 0) return;
  rest.tv_sec = milliseconds / 1000;
  rest.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

#endif
