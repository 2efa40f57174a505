#include "run/papr_dialog.h"

#include "form/number_text.h"

#include <cmath>

namespace varnika {

std::string papr_text(double x_db) {
    return form::format_fixed(std::trunc(x_db * 100.0 + 0.5) / 100.0, 2);
}

std::string left_out_text(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) {
        text += (text.empty() ? "Left out (Walsh-code clash): " : ", ") + row;
    }
    return text;
}

PaprDialog::PaprDialog() {
    PAPR_Command.set_press_rule([this] { Form3.close(); });
    left_out.set_visible(false);
}

void PaprDialog::describe(const std::string& file, const std::string& link, int oversampling,
                          const std::vector<std::string>& left_out_rows) {
    file_caption.set_text("File: " + file);
    link_caption.set_text("Link: " + link + ", oversampling ratio " + std::to_string(oversampling));
    left_out.set_text(left_out_text(left_out_rows));
    left_out.set_visible(!left_out_rows.empty());
}

void PaprDialog::withdraw() {
    for (form::TextField& value : PAPR) {
        value.set_text("");
    }
    file_caption.set_text("");
    link_caption.set_text("");
    left_out.set_text("");
    left_out.set_visible(false);
    Form3.close();
}

void PaprDialog::show_values(double papr_db, double crest_i_db, double crest_q_db) {
    PAPR[0].set_text(papr_text(papr_db));
    PAPR[1].set_text(papr_text(crest_i_db));
    PAPR[2].set_text(papr_text(crest_q_db));
}

void PaprDialog::bring_to_front() {
    Form3.close();
    Form3.open();
}

} // namespace varnika
