// snapshot_test.cpp -- "Save Snapshot.." and "Print.." in the running viewer: the file
// holds the view's own pixels (never a panel floating over it), the printed page holds
// the view scaled to fit and centred, the playback timer is stopped while a dialog or
// message is up and runs at 500 ms afterwards, and every failure ends in an "Error"
// message instead of a success.
#include <gtest/gtest.h>

#include <QImage>
#include <QOpenGLWidget>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

#include "app_harness.h"
#include "app_windows.h"
#include "camera.h"
#include "dates.h"
#include "image.h"
#include "qt_internal.h"
#include "shell.h"
#include "snapshot.h"
#include "timeline_panel.h"

namespace {

using Texts = std::vector<std::string>;

// The view's framebuffer as Qt itself reads it.
QImage grab_view()
{
    return platform_gl_view(appWindows.mainWindow)->grabFramebuffer().convertToFormat(QImage::Format_RGB888);
}

// One of our images (bottom row first) as a QImage (top row first).
QImage to_qimage(const RgbImage &image)
{
    return QImage(image.pixels, image.width, image.height, image.width * 3, QImage::Format_RGB888).mirrored();
}

// Mean difference per colour byte of two pictures of one size.
double mean_difference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::string run(const std::string &command)
{
    std::string output;
    char buffer[512];
    if (FILE *pipe = popen(command.c_str(), "r")) {
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

class Snapshot : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(start_viewer_once(), 1) << "the GL view never initialised"; }

    void SetUp() override
    {
        modalLog = ModalLog();
        show_window(appWindows.timelinePanel, SW_SHOW);
        out = sample_directory() + "/out/";
    }

    // Every dialog and message of the action saw the timer stopped; it runs at 500 ms now.
    static void expect_timer_stopped_then_restarted()
    {
        EXPECT_FALSE(modalLog.timerPeriods.empty());
        EXPECT_EQ(modalLog.timerPeriods, std::vector<uint32_t>(modalLog.timerPeriods.size(), 0u));
        EXPECT_EQ(timer_period(appWindows.mainWindow, PLAYBACK_TIMER), 500u);
    }

    std::string out;
};

TEST_F(Snapshot, FileHoldsTheViewsOwnPixelsNotThePanelOverIt)
{
    ASSERT_TRUE(platform_widget(appWindows.timelinePanel)->geometry().contains(2, 2));   // over the corner
    modalLog.fileAnswers = {out + "view", out + "upper.BMP", out + "kept.bmp"};
    for (int i = 0; i < 3; ++i) handle_menu_command(CMD_SAVE_SNAPSHOT);
    EXPECT_EQ(modalLog.messages, Texts(3, "Info: Save complete"));
    EXPECT_EQ(modalLog.messageOwners, std::vector<WindowHandle>(3, nullptr));
    EXPECT_EQ(modalLog.dialogs[0].substr(0, 9), "save .bmp");
    expect_timer_stopped_then_restarted();
    EXPECT_TRUE(exists(out + "upper.BMP.bmp"));   // the extension is compared case by case
    EXPECT_TRUE(exists(out + "kept.bmp") && !exists(out + "kept.bmp.bmp"));
    EXPECT_TRUE(is_window_visible(appWindows.timelinePanel));

    RgbImage image{};
    ASSERT_EQ(read_bmp((out + "view.bmp").c_str(), image), 1);
    const QImage saved = to_qimage(image);
    free_image(image);
    EXPECT_EQ(saved.size(), QSize(viewState.viewportWidth, viewState.viewportHeight));
    EXPECT_TRUE(saved == grab_view());
    EXPECT_EQ(saved.pixel(2, 2), qRgb(127, 127, 127));   // the clear grey, not the panel
    EXPECT_NE(saved.pixel(saved.width() / 2, saved.height() / 2), qRgb(127, 127, 127));   // the map
}

TEST_F(Snapshot, OddWidthViewIsCapturedWithoutSkew)
{
    QWidget *main = platform_widget(appWindows.mainWindow);
    const QSize before = main->size();
    main->resize(before.width() - (viewState.viewportWidth - 1001), before.height());
    for (int waited = 0; viewState.viewportWidth != 1001 && waited < 5000; waited += 10) process_events(10);
    ASSERT_EQ(viewState.viewportWidth, 1001);

    RgbImage image{};
    ASSERT_EQ(capture_view(image), 1);
    start_timer(appWindows.mainWindow, PLAYBACK_TIMER, PLAYBACK_PERIOD);
    EXPECT_EQ(image.width, 1001);
    EXPECT_TRUE(to_qimage(image) == grab_view());
    free_image(image);
    main->resize(before);
    for (int waited = 0; main->size() != before && waited < 5000; waited += 10) process_events(10);
}

TEST_F(Snapshot, CancelledDialogsShowNothingAndHiddenPanelsStayHidden)
{
    show_window(appWindows.timelinePanel, SW_HIDE);
    for (uint32_t command : {CMD_SAVE_SNAPSHOT, CMD_PRINT}) {
        modalLog = ModalLog();
        handle_menu_command(command);   // no answer queued: the dialog is cancelled
        EXPECT_TRUE(modalLog.messages.empty());
        EXPECT_EQ(modalLog.dialogs.size(), 1u);
        expect_timer_stopped_then_restarted();
    }
    process_events(50);
    EXPECT_FALSE(is_window_visible(appWindows.timelinePanel));
    EXPECT_FALSE(is_window_visible(appWindows.infoPanel));   // hidden since start-up
    EXPECT_FALSE(is_window_visible(appWindows.aboutBox));
}

// The timer stops before the capture's wait: playing forward, a tick due during the
// wait never comes, so a cancelled snapshot leaves the date where it was.
TEST_F(Snapshot, PlaybackStopsBeforeTheWaitSoTheDateStays)
{
    ctl_choose(appWindows.timelinePanel, IDC_STEP_UNIT, 0);
    ctl_click(appWindows.timelinePanel, IDC_PLAY_FORWARD);
    start_timer(appWindows.mainWindow, PLAYBACK_TIMER, PLAYBACK_PERIOD);   // next tick in 500 ms
    const PackedDate before = timeline.currentDate;
    handle_menu_command(CMD_SAVE_SNAPSHOT);   // the dialog is cancelled after the wait
    const PackedDate after = timeline.currentDate;
    ctl_click(appWindows.timelinePanel, IDC_PAUSE);
    EXPECT_EQ(modalLog.dialogs.size(), 1u);
    EXPECT_EQ(after, before);
}

TEST_F(Snapshot, EveryFailureEndsInAnErrorNeverInASuccess)
{
    // missing folders, and full disks: links named as the dialogs' answers will be
    ASSERT_EQ(symlink("/dev/full", (out + "full.bmp").c_str()), 0);
    ASSERT_EQ(symlink("/dev/full", (out + "full.pdf").c_str()), 0);
    modalLog.fileAnswers = {out + "missing/x", out + "full", out + "missing/x.pdf", out + "full.pdf", out + "wide"};
    handle_menu_command(CMD_SAVE_SNAPSHOT);
    handle_menu_command(CMD_SAVE_SNAPSHOT);
    handle_menu_command(CMD_PRINT);
    handle_menu_command(CMD_PRINT);
    const ViewState saved = viewState;
    viewState.viewportWidth = MAX_BMP_WIDTH + 1;   // wider than a bitmap row can hold
    handle_menu_command(CMD_SAVE_SNAPSHOT);
    const int16_t noImage[][2] = {{0, 700}, {1000, 0}, {32767, 32767}};   // the last needs 3 GB
    for (const auto &size : noImage) {
        viewState.viewportWidth = size[0];
        viewState.viewportHeight = size[1];
        handle_menu_command(CMD_SAVE_SNAPSHOT);
        handle_menu_command(CMD_PRINT);
    }
    viewState = saved;

    const std::string write = "Error: Can't write the snapshot file!", print = "Error: Can't print the view!";
    Texts expected = {write, write, print, print, write};
    expected.resize(11, "Error: Can't capture the view!");
    EXPECT_EQ(modalLog.messages, expected);
    WindowHandle main = appWindows.mainWindow;
    EXPECT_EQ(modalLog.messageOwners, (std::vector<WindowHandle>{nullptr, nullptr, main, main, nullptr, nullptr,
                                                                 nullptr, nullptr, nullptr, nullptr, nullptr}));
    EXPECT_EQ(modalLog.dialogs.size(), 5u);   // a failed capture asks for nothing
    EXPECT_FALSE(exists(out + "wide.bmp"));
    expect_timer_stopped_then_restarted();

    // nothing was left open: the next print goes through
    modalLog = ModalLog();
    modalLog.fileAnswers = {out + "after.pdf"};
    handle_menu_command(CMD_PRINT);
    EXPECT_EQ(modalLog.messages, Texts{"Info: Print spooled"});
}

TEST_F(Snapshot, PrintedPageShowsTheViewScaledToFitAndCentred)
{
    const std::string pdf = out + "page.pdf";
    modalLog.fileAnswers = {pdf};
    handle_menu_command(CMD_PRINT);
    EXPECT_EQ(modalLog.messages, Texts{"Info: Print spooled"});
    EXPECT_EQ(modalLog.dialogs, Texts{"print"});
    expect_timer_stopped_then_restarted();
    const std::string info = run("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           Tallymap1.0 printout\n"), std::string::npos) << info;
    // one picture: the view resampled to 1024 x 1024, not compressed lossily
    int width = 0, height = 0;
    char encoding[16] = "";
    const std::string images = run("pdfimages -list '" + pdf + "' | tail -n 1");
    ASSERT_EQ(std::sscanf(images.c_str(), "%*d %*d %*s %d %d %*s %*d %*d %15s", &width, &height, encoding), 3);
    EXPECT_EQ(width * 10000 + height, 1024 * 10000 + 1024);
    EXPECT_STRNE(encoding, "jpeg");

    // At 72 dpi a pixel is a point. The printable area leaves 10 pt all round; the
    // wide view spans its width and sits in the middle of its height.
    run("pdftoppm -r 72 -png -singlefile '" + pdf + "' '" + out + "page'");
    const QImage paper(QString::fromStdString(out + "page.png"));
    ASSERT_FALSE(paper.isNull());
    QRect inked;
    for (int y = 0; y < paper.height(); ++y)
        for (int x = 0; x < paper.width(); ++x)
            if (paper.pixel(x, y) != qRgb(255, 255, 255)) inked |= QRect(x, y, 1, 1);
    const QImage view = grab_view();
    const double band = (paper.width() - 20.0) * view.height() / view.width();
    const double top = (paper.height() - band) / 2;
    EXPECT_NEAR(inked.left(), 10, 1);
    EXPECT_NEAR(inked.right() + 1, paper.width() - 10, 1);
    EXPECT_NEAR(inked.top(), top, 1);
    EXPECT_NEAR(inked.bottom() + 1, top + band, 1);
    // the picture, upright: made small, the page's band and the view agree
    const QImage printed = paper.copy(inked).scaled(64, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage shown = view.scaled(64, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(mean_difference(printed, shown), 2.5);   // upside down it is 7
}

}   // namespace
