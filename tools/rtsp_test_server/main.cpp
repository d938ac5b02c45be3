// rtsp_test_server: an H.264 test stream over RTSP for tests and benchmarks.
// Serves on 127.0.0.1 only, over TCP only, on a free port (or the one given),
// prints its URL when ready and stops on SIGTERM or SIGINT.
#include <glib-unix.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
struct Options {
    int width = 1280;
    int height = 720;
    int fps = 30;
    int keyInterval = 30; // frames between key frames
    int port = 0;         // 0: a free port
    std::string path = "/stream";
    std::string pattern = "ball";
};

void usage()
{
    std::puts("usage: rtsp_test_server [--width W] [--height H] [--fps N] [--key-interval N]\n"
              "                        [--port P] [--path /stream] [--pattern ball|smpte|...]\n"
              "Serves an H.264 test picture at rtsp://127.0.0.1:PORT/PATH (TCP transport only),\n"
              "prints the URL when ready, stops on SIGTERM or SIGINT.");
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            std::exit(0);
        }
        if (i + 1 >= argc)
            return false;
        const char* v = argv[++i];
        if (arg == "--width")
            o.width = std::atoi(v);
        else if (arg == "--height")
            o.height = std::atoi(v);
        else if (arg == "--fps")
            o.fps = std::atoi(v);
        else if (arg == "--key-interval")
            o.keyInterval = std::atoi(v);
        else if (arg == "--port")
            o.port = std::atoi(v);
        else if (arg == "--path")
            o.path = v;
        else if (arg == "--pattern")
            o.pattern = v;
        else
            return false;
    }
    return o.width >= 16 && o.height >= 16 && o.width % 2 == 0 && o.height % 2 == 0 && o.fps >= 1 &&
           o.keyInterval >= 1 && o.port >= 0 && o.port <= 65535 && !o.path.empty() && o.path[0] == '/' &&
           o.pattern.find_first_of(" !()") == std::string::npos;
}

gboolean onSignal(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}
} // namespace

int main(int argc, char** argv)
{
    gst_init(&argc, &argv);
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GstRTSPServer* server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server, "127.0.0.1");
    const std::string service = std::to_string(o.port);
    gst_rtsp_server_set_service(server, service.c_str());

    char launch[1024];
    std::snprintf(launch, sizeof launch,
                  "( videotestsrc is-live=true pattern=%s ! video/x-raw,width=%d,height=%d,framerate=%d/1 ! "
                  "x264enc tune=zerolatency speed-preset=ultrafast key-int-max=%d bitrate=2000 ! "
                  "video/x-h264,profile=baseline ! rtph264pay name=pay0 pt=96 config-interval=1 )",
                  o.pattern.c_str(), o.width, o.height, o.fps, o.keyInterval);
    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launch);
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    // Interleaved over the RTSP connection only: no UDP ports are opened.
    gst_rtsp_media_factory_set_protocols(factory, GST_RTSP_LOWER_TRANS_TCP);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    gst_rtsp_mount_points_add_factory(mounts, o.path.c_str(), factory);
    g_object_unref(mounts);

    if (gst_rtsp_server_attach(server, nullptr) == 0) {
        std::fprintf(stderr, "rtsp_test_server: cannot listen on 127.0.0.1:%d\n", o.port);
        return 1;
    }
    g_unix_signal_add(SIGTERM, onSignal, loop);
    g_unix_signal_add(SIGINT, onSignal, loop);
    std::printf("rtsp://127.0.0.1:%d%s\n", gst_rtsp_server_get_bound_port(server), o.path.c_str());
    std::fflush(stdout);
    g_main_loop_run(loop);
    g_object_unref(server);
    g_main_loop_unref(loop);
    return 0;
}
