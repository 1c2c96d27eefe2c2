// The panel's model reads its profile (the stored clock source) under the settings root.
#include "PanelHarness.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    return RunPanelTests(argc, argv);
}
