#include <gtest/gtest.h>

#include "common/datemask.h"
#include "support/local_time.h"

using kavel::formatDateMask;

using kavel::test::at;

TEST(DateMask, FillsEveryFieldWithTwoDigits) {
    auto t = at(2026, 12, 7, 21, 30, 5);
    EXPECT_EQ(formatDateMask("%dd_%mm_%yy__%hh_%ii_%ss.txt", t), "07_12_26__21_30_05.txt");
    EXPECT_EQ(formatDateMask("[%hh:%ii:%ss] ", at(2026, 1, 1, 0, 0, 9)), "[00:00:09] ");
    EXPECT_EQ(formatDateMask("%yy", at(2000, 1, 1, 0, 0, 0)), "00");
    EXPECT_EQ(formatDateMask("Fehler von [%hh:%ii:%ss]", at(2026, 12, 7, 21, 45, 3)),
              "Fehler von [21:45:03]");
}

TEST(DateMask, CopiesEverythingElse) {
    auto t = at(2026, 12, 7, 21, 30, 5);
    EXPECT_EQ(formatDateMask("%d %x %% 100%", t), "%d %x %% 100%");
    EXPECT_EQ(formatDateMask("%dd%", t), "07%");
    EXPECT_EQ(formatDateMask("", t), "");
}
