// The PAPR dialog Form3: the peak-to-average power ratio and the I and Q crest factors of the last AWG
// file, in dB with two decimals, with the file, link and oversampling ratio they describe and the rows the
// run left out. Modeless; "OK" hides it, and each AWG run brings it to the front again; a run that fails
// empties and hides it, so its figures never stand beside a newer file.
#pragma once

#include "form/button.h"
#include "form/element.h"
#include "form/text_field.h"

#include <array>
#include <string>
#include <vector>

namespace varnika {

// x rounded to two decimals as the dialog shows it: the whole part of (x * 100 + 0.5), divided by 100,
// written "0.00".
std::string papr_text(double x_db);

// "Left out (Walsh-code clash): F-SCH 5, F-SCH 6"; empty when no row was left out.
std::string left_out_text(const std::vector<std::string>& rows);

class PaprDialog {
public:
    PaprDialog();
    PaprDialog(const PaprDialog&) = delete;
    PaprDialog& operator=(const PaprDialog&) = delete;

    form::Dialog Form3{"Form3", "PAPR"};
    // Item 0 the PAPR, item 1 the I crest factor, item 2 the Q crest factor.
    std::array<form::TextField, 3> PAPR{form::TextField(form::ElementId("PAPR", 0)),
                                        form::TextField(form::ElementId("PAPR", 1)),
                                        form::TextField(form::ElementId("PAPR", 2))};
    std::array<form::Label, 3> captions{form::Label(form::ElementId("PAPR_Label", 0), "PAPR"),
                                        form::Label(form::ElementId("PAPR_Label", 1), "I"),
                                        form::Label(form::ElementId("PAPR_Label", 2), "Q")};
    form::Button PAPR_Command{"PAPR_Command", "OK"};
    // What the figures describe: the file, then the link and the oversampling ratio.
    form::Label file_caption{"PAPR_File_Label"};
    form::Label link_caption{"PAPR_Link_Label"};
    form::Label crest_caption{"PAPR_Crest_Label", "Crest factors:"};
    // The rows the run left out; hidden when none was.
    form::Label left_out{"PAPR_Left_Out_Label"};

    void show_values(double papr_db, double crest_i_db, double crest_q_db);
    void describe(const std::string& file, const std::string& link, int oversampling,
                  const std::vector<std::string>& left_out_rows);
    // Empties the figures and the description and hides the dialog.
    void withdraw();
    // Hides the dialog and shows it again, so that an open dialog comes to the front.
    void bring_to_front();
};

} // namespace varnika
