// The native window of the view goes away under a running render thread (Qt
// destroys native windows when their window closes): the view stops drawing
// before X destroys the window it draws into.
#include "RenderTestSupport.h"

#include "ui/testing/UiDriver.h"

#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

using namespace rendertest;
using ui::testing::Driver;

TEST(RenderViewSurface, LosingTheNativeWindowStopsTheRenderThread)
{
    MainWindowStub mainWindow;
    CImageRenderUI view;
    ASSERT_TRUE(showAt(view, 320, 240));
    ASSERT_EQ(view.attachWindow(&mainWindow), 1);
    const auto frame = uniformFrame(320, 240, sf::Color(90, 90, 90));
    ASSERT_TRUE(drawFrame(view, frame, 320, 240));

    QWindow* native = view.GetWidget()->windowHandle();
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(view.isRendering());
    native->destroy();
    EXPECT_FALSE(view.isRendering());

    // Frames keep coming; nothing is drawn any more and nothing crashes.
    const int passes = view.passesDrawn();
    for (int i = 0; i < 20; ++i) {
        view.updateFrame(320, 240, frame.data());
        Driver::processEvents();
    }
    EXPECT_EQ(view.passesDrawn(), passes);
    EXPECT_EQ(view.detachWindow(), &mainWindow);
}
