// The panel's model needs an application object for its profile (the stored clock source).
#include "PanelHarness.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    TestApp app;
    return RUN_ALL_TESTS();
}
