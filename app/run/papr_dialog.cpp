#include "run/papr_dialog.h"

#include "form/number_text.h"

#include <cmath>

namespace varnika {

std::string papr_text(double x_db) {
    return form::format_fixed(std::trunc(x_db * 100.0 + 0.5) / 100.0, 2);
}

PaprDialog::PaprDialog() {
    PAPR_Command.set_press_rule([this] { Form3.close(); });
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
