// The Qt application and message dispatcher of the ui_tests program.
#include "ui/testing/UiDriver.h"

PELLUMO_UI_TEST_APPLICATION();
