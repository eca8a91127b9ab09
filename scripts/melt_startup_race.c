/* Preloaded into melt by scripts/melt_refusal_stress.sh (RACE=1): makes the timing that a loaded
 * machine gives now and then happen every time. The consumer thread goes on a little after it has
 * started its read-ahead thread, and the first frame's image takes a while, so the consumer reads
 * the producer's speed (1) after the read-ahead thread has taken the first frame but before that
 * thread sees the producer paused at its end. melt 7.12's consumer then waits for `buffer` (25)
 * frames while the read-ahead thread, the producer paused, queues only one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <unistd.h>

int mlt_frame_get_position(void* frame);

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument) {
    int (*real)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) = dlsym(RTLD_NEXT, "pthread_create");
    const int status = real(thread, attributes, start, argument);
    usleep(50000);
    return status;
}

int mlt_frame_get_image(void* frame, void** buffer, int* format, int* width, int* height, int writable) {
    static atomic_int slowed;
    int (*real)(void*, void**, int*, int*, int*, int) = dlsym(RTLD_NEXT, "mlt_frame_get_image");
    if (mlt_frame_get_position(frame) == 0 && atomic_fetch_add(&slowed, 1) < 8) usleep(200000);
    return real(frame, buffer, format, width, height, writable);
}
