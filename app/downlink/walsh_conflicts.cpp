#include "downlink/walsh_conflicts.h"

#include "downlink/downlink_channel_page.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace varnika {

namespace {

constexpr int longest_tested = WalshPositionTable::longest;
constexpr int shortest_tested = 4;

bool conflict(const WalshPositionTable& positions, WalshCode a, WalshCode b) {
    return codes_conflict(positions, a.length, a.number, b.length, b.number);
}

std::uint64_t key_of(WalshCode code) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(code.length)) << 32) |
           static_cast<std::uint32_t>(code.number);
}

} // namespace

bool codes_conflict(const WalshPositionTable& positions, int length_a, int number_a, int length_b,
                    int number_b) {
    length_a = std::min(length_a, longest_tested);
    length_b = std::min(length_b, longest_tested);
    if (length_a == length_b) {
        return number_a == number_b;
    }
    const bool a_shorter = length_a < length_b;
    const int shorter = a_shorter ? length_a : length_b;
    const int shorter_number = a_shorter ? number_a : number_b;
    const int longer = a_shorter ? length_b : length_a;
    const int longer_number = a_shorter ? number_b : number_a;
    if (shorter <= 0 || longer < shortest_tested) {
        return false; // no Walsh code has such a length
    }
    const int ratio = longer / shorter;
    const int p = positions.position_of(shorter, shorter_number);
    const int q = positions.find(longer, longer_number);
    return q >= ratio * p && q < ratio * p + ratio;
}

bool DownlinkChannelPage::check_row_code(WalshCode code, int tested) {
    bool clash = false;
    for_each_instance_row([&](int r) {
        DlRow& other = row(r);
        if (r != tested && other.shown() && conflict(positions_, code, other.code())) {
            other.set_marked(true);
            clash = true;
        }
    });
    return clash;
}

void DownlinkChannelPage::retest_shown_codes() {
    for (DlRow& r : rows_) {
        r.set_marked(false);
    }
    // Each pair of shown rows is tested once; both rows of a clashing pair are marked.
    std::vector<int> shown;
    for_each_instance_row([&](int r) {
        if (row(r).shown()) {
            shown.push_back(r);
        }
    });
    for (std::size_t a = 0; a < shown.size(); ++a) {
        DlRow& first = row(shown[a]);
        for (std::size_t b = a + 1; b < shown.size(); ++b) {
            DlRow& second = row(shown[b]);
            if (conflict(positions_, first.code(), second.code())) {
                first.set_marked(true);
                second.set_marked(true);
            }
        }
    }
}

std::vector<int> DownlinkChannelPage::rows_clashing_with(int tested) const {
    std::vector<int> clashing;
    const WalshCode code = row(tested).code();
    for_each_instance_row([&](int r) {
        if (r != tested && row(r).shown() && conflict(positions_, code, row(r).code())) {
            clashing.push_back(r);
        }
    });
    return clashing;
}

void DownlinkChannelPage::clear_stale_warnings(WalshCode old_code, int changed) {
    if (model_.loading_flag) {
        return;
    }
    // Each marked row that clashed with the old code is tested again against every shown row: it keeps
    // its mark if anything else still clashes, and its test marks whatever clashes with it. Nothing here
    // changes a code, so for a shown row the result of that test depends only on its code: the first
    // shown row of each code does the full test (marking and counting the shown rows that clash with the
    // code, itself among them); later shown rows of the same code find every such row already marked and
    // clash exactly when the count leaves someone besides themselves. This keeps switching off hundreds
    // of clashing rows quick without changing a single mark.
    std::unordered_map<std::uint64_t, int> clashing_shown_rows;
    auto full_test = [this](WalshCode code, int tested) {
        int count = 0;
        for_each_instance_row([&](int r) {
            DlRow& other = row(r);
            if (r != tested && other.shown() && conflict(positions_, code, other.code())) {
                other.set_marked(true);
                ++count;
            }
        });
        return count;
    };

    for_each_instance_row([&](int r) {
        DlRow& candidate = row(r);
        if (r == changed || !candidate.marked()) {
            return;
        }
        const WalshCode code = candidate.code();
        if (!conflict(positions_, old_code, code)) {
            return;
        }
        int others = 0;
        if (!candidate.shown()) {
            others = full_test(code, r);
        } else if (const auto known = clashing_shown_rows.find(key_of(code));
                   known != clashing_shown_rows.end()) {
            others = known->second - 1;
        } else {
            others = full_test(code, r);
            clashing_shown_rows.emplace(key_of(code), others + 1);
        }
        if (others == 0) {
            candidate.set_marked(false);
        }
    });
}

} // namespace varnika
