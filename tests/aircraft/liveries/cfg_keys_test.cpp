#include <gtest/gtest.h>

#include "aircraft/liveries/cfg_keys.hpp"

TEST(CfgKeyValue, Smoke) { EXPECT_EQ(lf_cfgKeyValue(" TITLE = My Livery  ", "title"), "My Livery"); }
