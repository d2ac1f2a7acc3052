#include <gtest/gtest.h>

#include "app/cli/all_users.h"

namespace nimbra::ui {
namespace {

TEST(EveryUserStatus, IsTheMostSevereOfTheirs) {
  EXPECT_EQ(mostSevere({0, 0}), 0);
  EXPECT_EQ(mostSevere({}), 0);
  EXPECT_EQ(mostSevere({0, 3, 1}), 1);
  EXPECT_EQ(mostSevere({6, 4, 0}), 4);
  EXPECT_EQ(mostSevere({6, 5, 3}), 3);
  EXPECT_EQ(mostSevere({4, 5}), 5);
  EXPECT_EQ(mostSevere({3, 2}), 2);
  EXPECT_EQ(mostSevere({0, 127}), 1);
}

}  // namespace
}  // namespace nimbra::ui
