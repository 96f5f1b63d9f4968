#include <gtest/gtest.h>

#include <QCoreApplication>

// Tests of the GUI-free layers still need an event loop: socket notifications,
// host lookups and timers are delivered through it.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
