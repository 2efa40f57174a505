// The channel "Set Default" and the nine test models of the downlink channel page.
#include "downlink/downlink_channel_page.h"

#include "form/number_text.h"
#include "link_rules/base10_log.h"

namespace varnika {

namespace {

constexpr const char* zero_db = "0.00";

void reset_powers(DlRow& row) {
    row.DL_CH_POWER_Text.set_text(zero_db);
    if (row.DL_CH_POWER2_Text) {
        row.DL_CH_POWER2_Text->set_text(zero_db);
    }
}

} // namespace

void DownlinkChannelPage::apply_channel_defaults() {
    if (!built()) {
        return;
    }
    if (!test_model_flag) {
        DL_CH_TestModel_Combo.select(0);
    }
    // Every type but the pilot off with a single instance; the pilot stays on.
    for (int type = dl_type_count - 1; type >= 1; --type) {
        if (DL_CH_Stat_Command(type).caption() == "ON") {
            DL_CH_Stat_Command(type).press();
        }
        if (DL_CH_Multi_Text(type).text() != "1") {
            DL_CH_Multi_Text(type).set_text("1");
            DL_CH_Multi_Text(type).commit();
        }
    }
    // Every reserved row, shown or not. A choice runs its change rule; a written text is not committed.
    for (DlRow& row : rows_) {
        switch (row.type()) {
        case F_PICH:
        case SYNCH:
            reset_powers(row);
            break;
        case QPCH:
            row.DL_CH_WNO_Combo->select(0);
            reset_powers(row);
            break;
        case BCCH:
        case CACH:
        case F_CCCH:
        case F_SCH:
            row.DL_CH_WLEN_Combo->select(0);
            row.write_walsh_number("1");
            reset_powers(row);
            break;
        case F_FCH:
            row.DL_CH_WLEN_Combo->select_text("64");
            row.write_walsh_number("1");
            reset_powers(row);
            row.DL_CH_MOD_Combo->select_text("BPSK");
            break;
        case F_PDCH:
            row.write_walsh_number("1");
            reset_powers(row);
            row.DL_CH_MOD_Combo->select_text("QPSK");
            break;
        default: // F-ACKCH with its second power, and the types with a fixed length
            row.write_walsh_number("1");
            reset_powers(row);
            break;
        }
    }
}

void DownlinkChannelPage::apply_test_model(int entry) {
    if (!built() || entry < 0 || entry >= static_cast<int>(test_model_items.size())) {
        return;
    }
    test_model_flag = true;
    apply_channel_defaults();
    if (entry < 6) {
        const int fch_count = entry + 1;
        for (int k = 0; k < fch_count; ++k) {
            instance(F_FCH, k).write_walsh_number(
                std::to_string(test_model_1_fch_numbers[static_cast<std::size_t>(k)]));
        }
        apply_test_model_1(fch_count);
    } else {
        apply_test_model_2(entry - 6);
    }
    test_model_flag = false;
}

void DownlinkChannelPage::apply_test_model_1(int fch_count) {
    if (!built() || fch_count < 1 || fch_count > static_cast<int>(test_model_1_fch_numbers.size())) {
        return;
    }
    const std::optional<double> log_of_count = checked_log10(fch_count, platform_);
    if (!log_of_count) {
        return;
    }
    instance(F_PICH, 0).DL_CH_POWER_Text.set_text("-7.00");
    instance(SYNCH, 0).DL_CH_POWER_Text.set_text("-13.30");
    instance(PCH, 0).DL_CH_POWER_Text.set_text("-7.30");
    // The fundamental channels share -2.48 dB between them.
    const double fch_db = -2.48 - 10.0 * *log_of_count;
    for (int k = 0; k < fch_count; ++k) {
        instance(F_FCH, k).DL_CH_POWER_Text.set_text(form::format_fixed(fch_db, 2));
    }
    DL_CH_Multi_Text(F_FCH).set_text(std::to_string(fch_count));
    for (int type : {SYNCH, PCH, F_FCH}) {
        DL_CH_Stat_Command(type).press();
    }
}

void DownlinkChannelPage::apply_test_model_2(int modulation) {
    if (!built() || modulation < 0 || modulation > 2) {
        return;
    }
    instance(F_PDCCH, 0).write_walsh_number("33");
    instance(F_FCH, 0).write_walsh_number("6");
    instance(F_PDCH, 0).write_walsh_number("2");
    instance(F_PDCH, 0).DL_CH_MOD_Combo->select(modulation);

    instance(F_PICH, 0).DL_CH_POWER_Text.set_text("-10.00");
    instance(SYNCH, 0).DL_CH_POWER_Text.set_text("-13.00");
    instance(PCH, 0).DL_CH_POWER_Text.set_text("-10.00");
    instance(F_PDCCH, 0).DL_CH_POWER_Text.set_text("-10.00");
    instance(F_FCH, 0).DL_CH_POWER_Text.set_text("-10.00");
    instance(F_PDCH, 0).DL_CH_POWER_Text.set_text("-2.60");
    for (int type : {SYNCH, PCH, F_PDCCH, F_FCH, F_PDCH}) {
        DL_CH_Stat_Command(type).press();
    }
}

} // namespace varnika
