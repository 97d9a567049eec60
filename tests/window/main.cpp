// The one main of the window tests: a QApplication on the offscreen
// platform (unless the caller chose another), then every test. Its screen
// is 1280x1024 (offscreen.json), where the window and its panel fit: a
// smaller one would make the window scroll.
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    const char* platform = getenv("QT_QPA_PLATFORM");
    if (!platform || strcmp(platform, "offscreen") == 0)
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" QTU_OFFSCREEN_CONFIG, 1);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
