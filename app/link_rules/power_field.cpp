#include "link_rules/power_field.h"

#include "form/number_text.h"

#include <algorithm>

namespace varnika {

void apply_power(form::TextField& field) {
    double value = 0.0;
    if (const auto number = form::parse_number(field.text())) {
        value = std::clamp(*number, -power_limit_db, power_limit_db);
    }
    field.set_text(form::format_fixed(value, 2));
}

void make_power_field(form::TextField& field) {
    field.set_key_filter(form::is_decimal_key);
    field.set_spin({.step = 0.01, .decimals = 2});
    field.set_commit_rule(apply_power);
}

} // namespace varnika
