#pragma once
/*
 * Client library of the wireless camera box: discovery, session, video,
 * snapshots and controls. Every function returns 0 on success or a negative
 * CHD_ERR_* code. The protocol underneath is described in docs/box-protocol.md.
 */

#ifdef __cplusplus
extern "C" {
#endif

enum {
    CHD_OK = 0,
    CHD_ERR_PARAM = -1,        /* null pointer, bad address or value */
    CHD_ERR_TIMEOUT = -2,      /* no answer / no data within the time-out */
    CHD_ERR_PROTOCOL = -3,     /* the box sent something malformed */
    CHD_ERR_REFUSED = -4,      /* the box refused the request */
    CHD_ERR_ACCESS = -5,       /* wrong access code */
    CHD_ERR_DISCONNECTED = -6, /* the connection is gone */
    CHD_ERR_NODATA = -7,       /* no frame to lend, or the frame is not lent */
    CHD_ERR_NOMEM = -8,
    CHD_ERR_NETWORK = -9,    /* socket failure, connection refused */
    CHD_ERR_CANCELLED = -10, /* the caller gave up waiting */
};

#define CHD_WMP_MAX_SCAN_RECORDS 49
#define CHD_WMP_MAX_RESOLUTIONS 12
#define CHD_WMP_MAX_FORMATS 4
#define CHD_WMP_CTRL_FIELDS 8

/* Poll flags */
#define CHD_WMP_POLL_VIDEO 0x1
#define CHD_WMP_POLL_PICTURE 0x4

/* Box formats */
#define CHD_WMP_FORMAT_YUYV 1
#define CHD_WMP_FORMAT_MJPEG 2
#define CHD_WMP_FORMAT_H264 3

/* One box found by the scanner: 44 bytes. */
typedef struct CHD_WMP_SCAN_RECORD {
    int value;        /* the box's scan value */
    char name[20];    /* zero-terminated */
    char address[20]; /* "a.b.c.d" or "a.b.c.d:port", zero-terminated */
} CHD_WMP_SCAN_RECORD;

typedef struct CHD_WMP_ABILITY {
    int resolu[CHD_WMP_MAX_RESOLUTIONS]; /* resolution codes, a 0 ends the list */
    int format[CHD_WMP_MAX_FORMATS];     /* box formats, a 0 ends the list */
} CHD_WMP_ABILITY;

/* A frame lent by RequestVideoData / RequestPicData until the matching
 * release: a 28-byte record followed by `length` payload bytes. */
typedef struct CHD_WMP_FRAME {
    int frameNo;     /* bytes 0..3 */
    int format;      /* bytes 4..7: box format */
    int resolu;      /* bytes 8..11: resolution code */
    int width;       /* bytes 12..15 */
    int height;      /* bytes 16..19 */
    int timestampMs; /* bytes 20..23: box clock */
    int length;      /* bytes 24..27: payload bytes */
} CHD_WMP_FRAME;
#define CHD_WMP_FRAME_DATA(frame) ((unsigned char*)(frame) + 28)

typedef struct CHD_WMP_Device* CHD_WMP_HANDLE;

/* ---- discovery ---- */
/* Hosts the scanner probes: comma-separated "a.b.c.d" or "a.b.c.d:port"
 * (numeric IPv4 only). The default is "127.0.0.1", or the value of the
 * environment variable PELLUMO_BOX_SCAN_HOSTS. Add a network's broadcast
 * address here to find boxes on that network. */
int CHD_WMP_SetScanHosts(const char* hosts);
/* mode 0: one probe round; any other mode: a probe round every second. */
int CHD_WMP_ScanDevice_Init(int mode);
int CHD_WMP_ScanDevice_UnInit(void);
/* Copies at most CHD_WMP_MAX_SCAN_RECORDS records. */
int CHD_WMP_Scan_GetDeviceInfo(CHD_WMP_SCAN_RECORD* records, int* count);

/* ---- session ---- */
int CHD_WMP_ConnectDevice(CHD_WMP_HANDLE* box, const char* address, const char* accessCode);
/* As CHD_WMP_ConnectDevice; while it waits for the connection and the
 * greeting it asks cancelled(context) about every 50 ms and returns
 * CHD_ERR_CANCELLED once that answers non-zero (from any thread's point of
 * view: the function reads state another thread may set). */
int CHD_WMP_ConnectDeviceCancellable(CHD_WMP_HANDLE* box, const char* address, const char* accessCode,
                                     int (*cancelled)(void* context), void* context);
int CHD_WMP_Disconnect(CHD_WMP_HANDLE box);
int CHD_WMP_Video_Begin(CHD_WMP_HANDLE box);
int CHD_WMP_Video_End(CHD_WMP_HANDLE box);
int CHD_WMP_Video_GetAbility(CHD_WMP_HANDLE box, CHD_WMP_ABILITY* ability);
int CHD_WMP_Video_GetResolu(CHD_WMP_HANDLE box, int* resolu);
int CHD_WMP_Video_SetResolu(CHD_WMP_HANDLE box, int resolu, int width, int height);
int CHD_WMP_Video_GetFormat(CHD_WMP_HANDLE box, int* format);
int CHD_WMP_Video_SetFormat(CHD_WMP_HANDLE box, int format);
int CHD_WMP_Video_GetVideoCtrl(CHD_WMP_HANDLE box, int id, int ctrl[CHD_WMP_CTRL_FIELDS]);
int CHD_WMP_Video_SetVideoCtrl(CHD_WMP_HANDLE box, int id, const int ctrl[CHD_WMP_CTRL_FIELDS]);
int CHD_WMP_Video_SnapShotResolu(CHD_WMP_HANDLE box, int resolu, int width, int height);
/* Waits up to timeoutMs for a frame or picture; sets CHD_WMP_POLL_* flags.
 * CHD_ERR_DISCONNECTED once the connection is gone. */
int CHD_WMP_Poll(CHD_WMP_HANDLE box, int* flags, int timeoutMs);
int CHD_WMP_Video_RequestVideoData(CHD_WMP_HANDLE box, CHD_WMP_FRAME** frame);
int CHD_WMP_Video_ReleaseVideoData(CHD_WMP_HANDLE box, CHD_WMP_FRAME* frame);
int CHD_WMP_Video_RequestPicData(CHD_WMP_HANDLE box, CHD_WMP_FRAME** picture);
int CHD_WMP_Video_ReleasePicData(CHD_WMP_HANDLE box, CHD_WMP_FRAME* picture);

/* ---- resolution codes ---- */
/* 0 for a size the protocol cannot carry. */
int CHD_Video_GroupResolu(int width, int height);
int CHD_Video_AnalysisResolu(int resolu, int* width, int* height);

#ifdef __cplusplus
}
#endif
