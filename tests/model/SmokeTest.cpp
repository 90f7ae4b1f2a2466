#include <gtest/gtest.h>

#include "model/Projet.h"
#include "model/Zavo.h"

TEST(Smoke, NewSite) {
  NewDatabase("Alpha", "/tmp");
  ASSERT_TRUE(IsDatabaseLoaded());
  CloseDatabase();
}
