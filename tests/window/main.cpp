// The one main of the window tests: a QApplication on the offscreen
// platform (unless the caller chose another), then every test.
#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
