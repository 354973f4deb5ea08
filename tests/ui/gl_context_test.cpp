// gl_context_test.cpp -- the scene's GL work runs with the GL view's own context
// current, also after a panel repainted in between: Qt then leaves its own context
// current, and GL calls on it would land in Qt's compositing.
#include <gtest/gtest.h>

#include <QOpenGLContext>
#include <QOpenGLWidget>

#include "app_harness.h"
#include "app_windows.h"
#include "qt_internal.h"
#include "timeline_panel.h"

namespace {

TEST(SceneContext, StepsRebuildWithTheViewsOwnContext)
{
    ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised";
    QOpenGLContext *view = platform_gl_view(appWindows.mainWindow)->context();
    ASSERT_NE(view, nullptr);
    process_events(200);   // the panel is on screen, so its bar repaints at once when it moves
    for (int step = 0; step < 2; ++step) {
        ctl_click(appWindows.timelinePanel, IDC_YEAR_FORWARD);   // shows the date, then rebuilds
        EXPECT_EQ(QOpenGLContext::currentContext(), view) << "step " << step;
    }
}

}   // namespace
