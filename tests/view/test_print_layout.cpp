// test_print_layout.cpp -- where the printed view lands on the page: the scale that
// fits it and the centring offsets. Figures worked by hand.
#include "snapshot.h"

#include <gtest/gtest.h>

TEST(PrintLayout, ViewIsScaledToFitAndCentredOnThePage)
{
    // 1000 x 700 on 5000 x 6000: across 5, down 8.57; the width decides.
    PagePlacement wide = place_on_page(5000, 6000, 1000, 700);
    EXPECT_EQ(wide.s, 5.0f);
    EXPECT_EQ(wide.x0, 0.0f);
    EXPECT_EQ(wide.y0, 1250.0f);   // (6000 - 3500) / 2
    EXPECT_EQ(wide.width, 5000.0f);
    EXPECT_EQ(wide.height, 3500.0f);

    // 300 x 600 on a landscape 1200 x 900: across 4, down 1.5; the height decides.
    PagePlacement tall = place_on_page(1200, 900, 300, 600);
    EXPECT_EQ(tall.s, 1.5f);
    EXPECT_EQ(tall.x0, 375.0f);    // (1200 - 450) / 2
    EXPECT_EQ(tall.y0, 0.0f);
    EXPECT_EQ(tall.width, 450.0f);
    EXPECT_EQ(tall.height, 900.0f);
}
