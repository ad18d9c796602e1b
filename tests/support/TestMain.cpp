// The tests' main: starts the socket library once, then runs every test.
#include <gtest/gtest.h>

#include "platform/Socket.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (tolvi::platform::StartSocketLibrary().Failed())
        return 1;
    return RUN_ALL_TESTS();
}
