/* A C program built against the installed SDK only (pkg-config vexel). */
#include <stdio.h>
#include <usbsdk/Vexel.h>

int main(void)
{
    CameraInfo found[VEXEL_MAX_CAMERAS];
    if (Vexel_Init() != VEXEL_OK)
        return 1;
    printf("vexel cameras: %d\n", (int)Vexel_SearchCamera(found));
    Vexel_UnInit();
    return 0;
}
