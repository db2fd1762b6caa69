// Property names and what the cascade asks of each, from the property table
// (css/properties.inc).
#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "css/stylesheet.h"

namespace ostrel::css {

namespace {

constexpr std::string_view property_names[] = {
    "",
    "",
#define OSTREL_LONGHAND(id, name, ...) name,
#define OSTREL_SHORTHAND(id, name, ...) name,
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
};

constexpr bool property_inherits[] = {
    false,
    false,
#define OSTREL_LONGHAND(id, name, inheritance, ...) std::string_view(#inheritance) == "inherited",
#define OSTREL_SHORTHAND(id, name, ...) false,
#include "css/properties.inc"
#undef OSTREL_LONGHAND
#undef OSTREL_SHORTHAND
};

static_assert(std::size(property_names) == static_cast<std::size_t>(Property::count));

struct NamedProperty {
  std::string_view name;
  Property property;
};

const std::vector<NamedProperty>& properties_by_name() {
  static const std::vector<NamedProperty> table = [] {
    std::vector<NamedProperty> out;
    for (std::size_t i = 2; i < std::size(property_names); ++i)
      out.push_back({property_names[i], static_cast<Property>(i)});
    std::sort(out.begin(), out.end(), [](const NamedProperty& a, const NamedProperty& b) { return a.name < b.name; });
    return out;
  }();
  return table;
}

}  // namespace

Property property_from_name(std::string_view lower_case_name) {
  if (lower_case_name.starts_with("--")) return Property::custom;
  const auto& table = properties_by_name();
  const auto it = std::lower_bound(table.begin(), table.end(), lower_case_name,
                                   [](const NamedProperty& p, std::string_view name) { return p.name < name; });
  return it != table.end() && it->name == lower_case_name ? it->property : Property::unknown;
}

std::string_view property_name(Property property) {
  const auto i = static_cast<std::size_t>(property);
  return i < std::size(property_names) ? property_names[i] : std::string_view();
}

bool property_inherited(Property property) {
  const auto i = static_cast<std::size_t>(property);
  return i < std::size(property_inherits) && property_inherits[i];
}

}  // namespace ostrel::css
