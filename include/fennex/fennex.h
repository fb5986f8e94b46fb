/* Fennex: the camera-driver plug-in as a host application sees it.
 *
 * The host loads the library by name and finds these fifteen functions by name. Every function
 * uses the C calling convention (the caller removes the arguments); integers and flags are
 * 32-bit, and a flag result is 1 for success and 0 for failure. The `grabber` argument is
 * accepted and ignored everywhere: there is one grabber with ports 0 to 19.
 *
 * Threads: the functions may be called from any thread. The completion callback and the debug
 * procedure may be called on the library's own threads.
 */
#ifndef FENNEX_FENNEX_H
#define FENNEX_FENNEX_H

#if defined(_WIN32)
#define FENNEX_CALL __cdecl
#define FENNEX_API
#else
#define FENNEX_CALL
#define FENNEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one terminated line of text, valid only during the call. */
typedef void(FENNEX_CALL* DebugMsgProc)(const char* text);
/* Called after every finished grab with grabber 0 and the host port number. */
typedef void(FENNEX_CALL* CompleteCallback)(int grabber, int port);

/* Directory of the per-camera configuration files; at most 255 characters are kept. Returns 1. */
FENNEX_API int FENNEX_CALL setSystemPath(const char* path);
/* Where failures and misuse are reported; null switches messages off. */
FENNEX_API void FENNEX_CALL setDebugMsgProc(DebugMsgProc proc);
/* Saves the configuration file of every open camera. Returns 1. */
FENNEX_API int FENNEX_CALL configure(void);
/* 1 */
FENNEX_API int FENNEX_CALL getCVLMaxNoOfGrabbers(void);
/* 20 */
FENNEX_API int FENNEX_CALL getCVLMaxNoOfPorts(void);
/* The number of cameras found when the library was first used. */
FENNEX_API int FENNEX_CALL getCVLNoOfSupportedCameras(void);
/* 20 slots; slot i names camera i, slots from the camera count on are null. */
FENNEX_API const char** FENNEX_CALL getCVLCameraConfigNames(void);
/* Opens the camera whose name agrees in its first four characters on `port`; on 1,
 * size[0] is the frame width and size[1] the frame height in pixels. */
FENNEX_API int FENNEX_CALL openCVLPort(int grabber, int port, const char* cameraName, int* size);
FENNEX_API void FENNEX_CALL closeCVLPort(int grabber, int port);
/* Queues one grab; the completion callback announces the frame. */
FENNEX_API int FENNEX_CALL doCVLGrab(int grabber, int port);
/* Copies last - first + 1 bytes (at most one row) of 8-bit row `row` of the announced frame,
 * from its first pixel, to `dest`. That frame stays readable until the next one is announced or
 * the port is closed, whatever the camera does meanwhile. A row outside the frame, or any row
 * before the first frame, leaves `dest` untouched and still returns 1; a closed port returns 0. */
FENNEX_API int FENNEX_CALL getCVLGrabRow(int grabber, int port, unsigned char* dest, int row,
                                         int first, int last);
FENNEX_API int FENNEX_CALL setCompleteCallback(int grabber, int port, CompleteCallback callback);
/* Names: Gain, Brightness, Gamma, Hue, Saturation, Shutter, WhiteBalanceUB, WhiteBalanceVR
 * (any case, longer names that begin with one are served as it), and "continous". */
FENNEX_API int FENNEX_CALL getPropertyRange(int grabber, int port, const char* name, int* min,
                                            int* max);
FENNEX_API int FENNEX_CALL getProperty(int grabber, int port, const char* name, int* value);
FENNEX_API int FENNEX_CALL setProperty(int grabber, int port, const char* name, int value);

/* The same functions as pointer types, for hosts that look them up by name. */
typedef int(FENNEX_CALL* setSystemPathFn)(const char*);
typedef void(FENNEX_CALL* setDebugMsgProcFn)(DebugMsgProc);
typedef int(FENNEX_CALL* configureFn)(void);
typedef int(FENNEX_CALL* getCVLMaxNoOfGrabbersFn)(void);
typedef int(FENNEX_CALL* getCVLMaxNoOfPortsFn)(void);
typedef int(FENNEX_CALL* getCVLNoOfSupportedCamerasFn)(void);
typedef const char**(FENNEX_CALL* getCVLCameraConfigNamesFn)(void);
typedef int(FENNEX_CALL* openCVLPortFn)(int, int, const char*, int*);
typedef void(FENNEX_CALL* closeCVLPortFn)(int, int);
typedef int(FENNEX_CALL* doCVLGrabFn)(int, int);
typedef int(FENNEX_CALL* getCVLGrabRowFn)(int, int, unsigned char*, int, int, int);
typedef int(FENNEX_CALL* setCompleteCallbackFn)(int, int, CompleteCallback);
typedef int(FENNEX_CALL* getPropertyRangeFn)(int, int, const char*, int*, int*);
typedef int(FENNEX_CALL* getPropertyFn)(int, int, const char*, int*);
typedef int(FENNEX_CALL* setPropertyFn)(int, int, const char*, int);

#define FENNEX_MAX_PORTS 20

#ifdef __cplusplus
}
#endif

#endif /* FENNEX_FENNEX_H */
