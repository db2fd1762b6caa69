#include "ui/app_context.h"

#include <gtest/gtest.h>

namespace {

using vx::ui::make_update_config;

TEST(UpdateConfig, AddressesComeFromTheServerOrigin) {
  const auto config = make_update_config("https://example.test/", "Vorlix", "ja", std::nullopt);
  EXPECT_EQ(config.init_url, "https://example.test/api.init.php");
  EXPECT_EQ(config.product_page_url, "https://example.test/vorlix");
  EXPECT_EQ(config.title, "Vorlix");
  EXPECT_EQ(config.language, "ja");
}

TEST(UpdateConfig, TheEnvironmentOverridesTheVersionUnlessBlank) {
  EXPECT_EQ(make_update_config("https://a.test", "", "en", std::nullopt).version, "4.0.1");
  EXPECT_EQ(make_update_config("https://a.test", "", "en", " \t").version, "4.0.1");
  EXPECT_EQ(make_update_config("https://a.test", "", "en", "").version, "4.0.1");
  EXPECT_EQ(make_update_config("https://a.test", "", "en", " 3.9.2\n").version, "3.9.2");
}

}  // namespace
