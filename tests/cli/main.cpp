#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    // For QProcess; this program shows nothing.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
