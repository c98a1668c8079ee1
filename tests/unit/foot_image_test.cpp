#include "imagefile/foot_image.h"

#include <gtest/gtest.h>

TEST(FootBox, WholeGridBeforeAnyLoad)
{
    EXPECT_EQ(WHOLE_GRID_BOX.footWidth(), 150);
    EXPECT_EQ(WHOLE_GRID_BOX.footLength(), 360);
}
