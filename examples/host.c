/* host.c: the smallest complete host of the Fennex camera plug-in.
 *
 * A machine-vision host does not link the plug-in: it loads it by file name at run time and
 * finds the functions by name, so that the plug-in can be replaced without rebuilding the host.
 * This program walks through one session, step by step:
 *
 *   load by name - list the cameras - open one on a port - set the completion callback -
 *   grab one frame - read its rows - write them as a PGM file - close
 *
 * usage: fennex-host-example [CAMERA [OUT.pgm [LIBRARY]]]
 *   CAMERA   a camera name; its first four characters choose it (default: the first camera)
 *   OUT.pgm  where the frame goes (default: frame.pgm)
 *   LIBRARY  the plug-in file (default: the one this program was built against)
 *
 * Without camera hardware the plug-in simulates cameras: on Linux always, on Windows with
 * FENNEX_DRIVER=sim. FENNEX_SIM_CAMERAS names a description file of other simulated cameras.
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L /* clock_gettime, dlopen */
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fennex/fennex.h>

#ifndef FENNEX_LIBRARY /* the build normally passes the installed library's full path */
#if defined(_WIN32)
#define FENNEX_LIBRARY "fennex.dll"
#else
#define FENNEX_LIBRARY "libfennex.so.1"
#endif
#endif

/* ---- the platform's loader and a "frame arrived" signal ---------------------------------- */
/* The completion callback runs on one of the plug-in's own threads, so the host hands the news
 * over to its own thread with an event (Windows) or a condition variable (POSIX). */
#if defined(_WIN32)
#include <windows.h>

static void *load_library(const char *file) { return (void *)LoadLibraryA(file); }
static void *find_function(void *library, const char *name) {
    return (void *)GetProcAddress((HMODULE)library, name);
}
static const char *load_error(void) { return "LoadLibraryA failed"; }

static HANDLE frame_event;
static int arrival_init(void) { return (frame_event = CreateEventA(NULL, FALSE, FALSE, NULL)) != NULL; }
static void arrival_signal(void) { SetEvent(frame_event); }
static int arrival_wait(int milliseconds) {
    return WaitForSingleObject(frame_event, (DWORD)milliseconds) == WAIT_OBJECT_0;
}
#else
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>

static void *load_library(const char *file) { return dlopen(file, RTLD_NOW | RTLD_LOCAL); }
static void *find_function(void *library, const char *name) { return dlsym(library, name); }
static const char *load_error(void) { return dlerror(); }

static pthread_mutex_t frame_mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t frame_cond = PTHREAD_COND_INITIALIZER;
static int frame_arrived;
static int arrival_init(void) { return 1; }
static void arrival_signal(void) {
    pthread_mutex_lock(&frame_mutex);
    frame_arrived = 1;
    pthread_cond_signal(&frame_cond);
    pthread_mutex_unlock(&frame_mutex);
}
static int arrival_wait(int milliseconds) {
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += (long)(milliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&frame_mutex);
    while (!frame_arrived && pthread_cond_timedwait(&frame_cond, &frame_mutex, &until) == 0) {
    }
    const int arrived = frame_arrived;
    frame_arrived = 0;
    pthread_mutex_unlock(&frame_mutex);
    return arrived;
}
#endif

/* ---- the callbacks --------------------------------------------------------------------- */

/* The plug-in reports failures as text lines ("ERROR: <camera> - <what> <where>"). */
static void FENNEX_CALL print_message(const char *text) { fprintf(stderr, "fennex: %s", text); }

/* Called when a grab has finished; the frame stays readable until the next grab. */
static void FENNEX_CALL on_frame(int grabber, int port) {
    (void)grabber;
    (void)port;
    arrival_signal();
}

/* ---- the session ----------------------------------------------------------------------- */

static int write_pgm(const char *file, const unsigned char *pixels, int width, int height) {
    FILE *f = fopen(file, "wb");
    if (!f) return 0;
    fprintf(f, "P5\n%d %d\n255\n", width, height);
    const size_t bytes = (size_t)width * (size_t)height;
    const int written = fwrite(pixels, 1, bytes, f) == bytes;
    return fclose(f) == 0 && written;
}

int main(int argc, char **argv) {
    const char *wanted = argc > 1 ? argv[1] : NULL;
    const char *out = argc > 2 ? argv[2] : "frame.pgm";
    const char *file = argc > 3 ? argv[3] : FENNEX_LIBRARY;
    const int port = 0; /* ports 0 to 19; one camera may be open on several */

    /* 1. Load the plug-in by name and find the functions this host calls. */
    void *library = load_library(file);
    if (!library) {
        fprintf(stderr, "cannot load %s: %s\n", file, load_error());
        return 1;
    }
    setDebugMsgProcFn setDebugMsgProc = (setDebugMsgProcFn)find_function(library, "setDebugMsgProc");
    setSystemPathFn setSystemPath = (setSystemPathFn)find_function(library, "setSystemPath");
    getCVLNoOfSupportedCamerasFn getCVLNoOfSupportedCameras =
        (getCVLNoOfSupportedCamerasFn)find_function(library, "getCVLNoOfSupportedCameras");
    getCVLCameraConfigNamesFn getCVLCameraConfigNames =
        (getCVLCameraConfigNamesFn)find_function(library, "getCVLCameraConfigNames");
    openCVLPortFn openCVLPort = (openCVLPortFn)find_function(library, "openCVLPort");
    setCompleteCallbackFn setCompleteCallback =
        (setCompleteCallbackFn)find_function(library, "setCompleteCallback");
    doCVLGrabFn doCVLGrab = (doCVLGrabFn)find_function(library, "doCVLGrab");
    getCVLGrabRowFn getCVLGrabRow = (getCVLGrabRowFn)find_function(library, "getCVLGrabRow");
    closeCVLPortFn closeCVLPort = (closeCVLPortFn)find_function(library, "closeCVLPort");
    if (!setDebugMsgProc || !setSystemPath || !getCVLNoOfSupportedCameras ||
        !getCVLCameraConfigNames || !openCVLPort || !setCompleteCallback || !doCVLGrab ||
        !getCVLGrabRow || !closeCVLPort) {
        fprintf(stderr, "%s is not a Fennex plug-in: a function is missing\n", file);
        return 1;
    }

    /* 2. First the debug procedure, then the directory of the per-camera configuration files
     *    (<camera name>.cfg; a camera without one keeps its own settings). */
    setDebugMsgProc(print_message);
    setSystemPath(".");

    /* 3. List the cameras. The list is made once, when the plug-in is first used. */
    const int count = getCVLNoOfSupportedCameras();
    const char **names = getCVLCameraConfigNames();
    printf("%d camera(s)\n", count);
    for (int i = 0; i < count; ++i) printf("  %s\n", names[i]);
    if (count == 0) return 1;
    if (!wanted) wanted = names[0];

    /* 4. Open the camera on a port; the plug-in answers with the frame size. */
    int size[2] = {0, 0};
    if (!openCVLPort(0, port, wanted, size)) {
        fprintf(stderr, "cannot open %s\n", wanted);
        return 1;
    }
    const int width = size[0], height = size[1];
    printf("%s on port %d: %d x %d\n", wanted, port, width, height);

    /* 5. Set the callback, grab one frame and wait for it (at most three seconds). */
    int status = 1;
    unsigned char *pixels = malloc((size_t)width * (size_t)height);
    if (pixels && arrival_init() && setCompleteCallback(0, port, on_frame) && doCVLGrab(0, port) &&
        arrival_wait(3000)) {
        /* 6. Read the frame row by row: 8-bit grey, first to last pixel of each row. */
        for (int row = 0; row < height; ++row)
            getCVLGrabRow(0, port, pixels + (size_t)row * (size_t)width, row, 0, width - 1);
        /* 7. Write it as a PGM file. */
        if (write_pgm(out, pixels, width, height)) {
            printf("wrote %s\n", out);
            status = 0;
        } else {
            fprintf(stderr, "cannot write %s\n", out);
        }
    } else {
        fprintf(stderr, "no frame from %s\n", wanted);
    }
    free(pixels);

    /* 8. Close the port. The plug-in stays loaded until the process ends, as hosts keep it. */
    closeCVLPort(0, port);
    return status;
}
