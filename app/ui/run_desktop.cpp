#include "ui/run_desktop.h"

#include "run/file_naming.h"
#include "ui/binding.h"

#include <QApplication>
#include <QFileDialog>
#include <QWidget>

#include <vector>

namespace varnika::ui {

namespace {

// "AWG(*.awv)|*.awv|all files(*.*)|*.*" as Qt's name filters: "AWG (*.awv)", "all files (*)".
QStringList qt_name_filters(const std::string& filter) {
    const std::vector<std::string> parts = filter_parts(filter);
    QStringList filters;
    for (std::size_t k = 0; k + 1 < parts.size(); k += 2) {
        std::string caption = parts[k];
        // The caption names its pattern in parentheses already; Qt reads the pattern from there.
        if (const std::size_t open = caption.rfind('('); open != std::string::npos && caption.back() == ')') {
            caption.erase(open);
        }
        const std::string pattern = parts[k + 1] == "*.*" ? "*" : parts[k + 1];
        filters.push_back(qt_text(caption) + " (" + qt_text(pattern) + ")");
    }
    return filters;
}

} // namespace

SaveFileAnswer QtGenerationDesktop::ask_save_file(const SaveFileRequest& request) {
    QFileDialog dialog(main_window_, qt_text(request.title), qt_text(request.initial_folder));
    dialog.setObjectName("File_Save_Dialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirm_overwrite);
    const QStringList filters = qt_name_filters(request.filter);
    dialog.setNameFilters(filters);
    // A name typed without an extension gets the chosen type's, as the reference file's name expects.
    auto follow_filter = [&dialog, &filters, &request](const QString& chosen) {
        const int index = static_cast<int>(filters.indexOf(chosen)) + 1;
        dialog.setDefaultSuffix(qt_text(filter_extension(request.filter, index)));
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow_filter);
    if (request.filter_index >= 1 && request.filter_index <= filters.size()) {
        dialog.selectNameFilter(filters[request.filter_index - 1]);
        follow_filter(filters[request.filter_index - 1]);
    }
    if (!request.file_name.empty()) {
        dialog.selectFile(qt_text(request.file_name));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return {dialog.selectedFiles().front().toStdString(),
            static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

void QtGenerationDesktop::show_busy_pointer(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtGenerationDesktop::let_pending_messages_through() {
    QApplication::processEvents();
}

} // namespace varnika::ui
