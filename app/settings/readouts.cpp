#include "settings/readouts.h"

#include "form/number_text.h"

namespace varnika {

void Readouts::show(int link, int ratio) {
    model_.set_oversampling(link, ratio);
    SamplingRate_Label.set_text(form::format_fixed(model_.sampling_rate(link) / 1e6, 4) + "MHz");
    DataSize_Label.set_text(form::format_grouped(model_.data_size(link)) + "Points");
}

} // namespace varnika
